#pragma once
// The program-wide settings, the table of saved connections, and the settings that
// exist only on this platform (device paths, addresses, ActiveSync adapter).
//
// Plain values owned by the Program object; changed only on the user-interface
// thread. Connection threads read ScriptDir and copies of profile fields.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "settings/Profile.h"
#include "ssh/SshGateway.h"

namespace sorvane {

// One field per stored value, named after it. ConnTypes and ConnData live in ProfileTable.
struct Settings {
    // ScriptDir is stored with its NUL in at most this many bytes.
    static constexpr size_t kScriptDirBufferSize = 256;

    int32_t InboundPort = 1901;
    int32_t ComPort = 1;       // kept and stored only
    int32_t AcceptInbound = 1;
    int32_t ShowMouse = 1;     // default showMouseCursor of new profiles
    int32_t HidePassword = 0;
    int32_t Recording_Method = 0;
    int32_t Refresh = 10;
    int32_t Scale = 1;
    int32_t IPAddress = 0;     // kept and stored only
    int32_t Skin = 0;
    int32_t CurrentSkin = 0;   // default skinIndex of new profiles
    int32_t Capture = 0;
    int32_t ClickFormat = 0;
    int32_t ColorMode = 0;
    int32_t QueueEvents = 0;
    std::string ScriptDir;     // no trailing '/'

    // All defaults; programDir ends with '/' (the folder with the skins, help and scripts).
    static Settings defaults(std::string_view programDir);

    bool operator==(const Settings&) const = default;
};

// The saved connections: 33 slots, the first ConnTypes in use in list order, no holes.
// Slots past the count are all zero.
//
// Beside each profile's 136 bytes the table keeps the device the profile remembers
// beyond them: for a LAN profile the name its device gave in discovery, for a proxy
// profile the name of the proxy row it opened (empty: none). It moves with its profile
// (a clone copies it, a delete removes it, a new profile has none) and is forgotten
// when an edit changes the link kind. SettingsStore keeps it under the platform key.
//
// A WAN or proxy profile may also name the SSH gateway its links go through (with the
// key file to offer). It moves with its profile the same way, and is dropped when an
// edit makes the profile one of another link kind (WAN and proxy keep it between them).
class ProfileTable {
public:
    static constexpr int kSlots = 33;
    // What the stored form of a gateway holds at most: its text (user@host[:port]) and
    // its key file's path, in bytes.
    static constexpr size_t kSshGatewayTextMax = 255;
    static constexpr size_t kSshKeyFileMax = 65535;

    int32_t ConnTypes() const { return count_; }
    // nullptr unless 0 <= i < ConnTypes().
    const Profile* get(int i) const;

    // Appends p at slot ConnTypes; false (and nothing changes) when all 33 are used.
    bool AddProfile(const Profile& p);
    // Appends a copy of all 136 bytes of slot i; false when full or i is not in use.
    bool CloneProfile(int i);
    // Moves the later slots down by one; false when i is not in use.
    bool DeleteProfile(int i);
    // Replaces slot i in place; false when i is not in use.
    bool EditProfile(int i, const Profile& p);
    void clear();

    // The device profile i remembers ("" for none or a slot not in use).
    std::string_view rememberedDevice(int i) const;
    // Sets it (cut to 63 bytes, as device names are); false when i is not in use.
    bool setRememberedDevice(int i, std::string_view name);

    // The SSH gateway profile i's links go through (nullopt: none, or a slot not in use).
    std::optional<SshGateway> sshGateway(int i) const;
    // Sets or clears it. False (and nothing changes) when i is not in use, or a gateway is
    // given for a profile that is neither WAN nor proxy, or one that cannot be stored.
    bool setSshGateway(int i, std::optional<SshGateway> gateway);
    // Whether gateway's stored form holds it: its text and key file fit their lengths,
    // and its text reads back as the same gateway.
    static bool canStoreSshGateway(const SshGateway& gateway);

    // The used slots back to back, slot 0 first: ConnTypes × 136 bytes.
    std::vector<uint8_t> encodeUsed() const;
    // Sets the count (clamped to 0..33) and fills the slots from image, which may be
    // shorter than count × 136 bytes: bytes not covered stay zero. Extra bytes are ignored.
    void loadImage(int32_t count, std::span<const uint8_t> image);

    bool operator==(const ProfileTable&) const = default;

private:
    std::array<Profile, kSlots> slots_{};
    std::array<std::string, kSlots> remembered_{};
    std::array<std::optional<SshGateway>, kSlots> gateways_{};
    int32_t count_ = 0;
};

// Settings of this platform's adapters, stored beside the others under their own key.
// Port numbers n in the device patterns: "{n}" is n, "{n-1}" is n minus one.
struct PlatformSettings {
    std::string ActiveSyncAddresses;   // comma-separated IPv4 addresses tried in turn
    std::string ComDevicePattern;      // serial port n → device path
    std::string UsbDevicePattern;      // USB serial channel n → device path
    std::string LanBroadcastAddress;   // where LAN discovery broadcasts
    int32_t LanDiscoveryPort = 1903;
    std::string ActiveSyncProcesses;   // comma-separated names of processes that mean ActiveSync runs
    std::string ActiveSyncStartCommand; // run to start ActiveSync; empty: cannot start
    // Inbound connections: addresses whose devices connect without being asked about
    // (comma-separated IPv4, "Always allow" adds to it); whether 127.0.0.0/8 counts as
    // allowed; the address the listener binds (0.0.0.0: every interface); and how long
    // an inbound handshake's exchange with the device may take, in seconds (1..300).
    std::string InboundAllowed;
    int32_t InboundTrustLoopback = 1;
    std::string InboundListenAddress;
    int32_t InboundHandshakeSeconds = 10;
    // 1: one-click captures are written as PNG files whatever the connection's
    // ClickFormat (which stays 0..3 as the profiles store it).
    int32_t ClickPng = 0;
    // "Reconnect when a link drops": 1 (the default): a WAN, LAN or proxy link the
    // device dropped is dialled again and its window stays open meanwhile.
    int32_t ReconnectOnDrop = 1;
    // The device windows' status line: 1 (the default) shown, 0 hidden.
    int32_t StatusLine = 1;
    // Type text: 1 sends the characters without a key through the device's clipboard.
    int32_t TypeViaClipboard = 0;
    // The Devices window: 1 when it was open as the program last ended (it opens at
    // start), and its placement (the window system's own, base64; empty: none).
    int32_t DevicesWindow = 0;
    std::string DevicesWindowGeometry;
    // Links through SSH gateways: the known-hosts file host keys are checked against and
    // trusted keys added to (empty: ~/.ssh/known_hosts), and the bound on reaching a
    // gateway and opening its channel, in seconds (1..300).
    std::string SshKnownHostsFile;
    int32_t SshTimeoutSeconds = 20;

    static PlatformSettings defaults();

    bool operator==(const PlatformSettings&) const = default;
};

// Parses "a.b.c.d" into a number with a in the most significant byte.
bool parseIpv4(std::string_view text, uint32_t& out);
// Parses a comma-separated list of IPv4 addresses (blanks around entries allowed).
// On a bad or empty entry returns false with error naming it.
bool parseAddressList(std::string_view text, std::vector<uint32_t>& out, std::string& error);
// Splits a comma-separated list into its trimmed, non-empty entries.
std::vector<std::string> splitList(std::string_view text);

} // namespace sorvane
