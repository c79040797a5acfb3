#pragma once
// Loading and saving the profile table and the settings, and registering the agent
// port with ActiveSync, in the configuration store.
//
// The free functions work on a RegistryStore in memory; SettingsStore adds the file
// (RegistryFile) under them. Everything runs on the user-interface thread; the file
// operations block on disk I/O.
//
// Values live under "SOFTWARE\Halvard\Sorvane", named and typed as the Settings fields
// and "ConnTypes"/"ConnData" (the raw 136-byte profile images). The settings of this
// platform live under its subkey "Platform", so the main key holds only the values
// the program has always stored there.

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/RegistryFile.h"
#include "platform/RegistryStore.h"
#include "settings/Settings.h"

namespace sorvane {

inline constexpr std::string_view kSettingsKey = "SOFTWARE\\Halvard\\Sorvane";
inline constexpr std::string_view kPlatformSettingsKey = "SOFTWARE\\Halvard\\Sorvane\\Platform";
inline constexpr std::string_view kProxyPortsKey = "SOFTWARE\\Microsoft\\Windows CE Services\\ProxyPorts";
inline constexpr std::string_view kProxyPortValueName = "Halvard";
inline constexpr uint32_t kAgentTcpPort = 1899;

// Sets every field and the profile table to their defaults, then reads what the store
// holds under the settings key, correcting out-of-range values as described in
// SettingsStore.cpp. Values are read by their bytes whatever their stored type; a
// missing value, or one too large for its field, leaves the field as it was.
void LoadSettings(const RegistryStore& store, std::string_view programDir, Settings& settings,
                  ProfileTable& profiles);
// Writes every value in the fixed save order (ConnData empty with no profiles).
void SaveSettings(RegistryStore& store, const Settings& settings, const ProfileTable& profiles);

// Defaults, then whatever the platform key holds. A discovery port outside 1..65535
// keeps its default; SshTimeoutSeconds is brought into 1..300.
void LoadPlatformSettings(const RegistryStore& store, PlatformSettings& platform);
void SavePlatformSettings(RegistryStore& store, const PlatformSettings& platform);

// The devices the profiles remember (ProfileTable::rememberedDevice), as the binary
// value "RememberedDevices" under the platform key: for each profile in table order,
// one byte with the length of the profile's name, its name, one byte with the length
// of the remembered device's name, that name. Loading gives profile i its entry only
// when the entry's profile name is profile i's: a table changed by a program that does
// not keep this list in step (a profile deleted) loses a remembered device rather than
// give it to another profile. A value that breaks off keeps the entries before it.
void LoadRememberedDevices(const RegistryStore& store, ProfileTable& profiles);
void SaveRememberedDevices(RegistryStore& store, const ProfileTable& profiles);

// The SSH gateways of the profiles (ProfileTable::sshGateway), as the binary value
// "SshGateways" under the platform key: for each profile in table order,
//
//   1 byte            n, the length of the profile's name
//   n bytes           the profile's name
//   1 byte            g, the length of the gateway's text (SshGateway::text()); 0: none
//   g bytes           the gateway: user@host, or user@host:port when the port is not 22
//   2 bytes           k, the length of the key file's path, little-endian
//   k bytes           the key file's path (empty: none)
//
// Loading gives profile i its gateway only when the entry's profile name is profile
// i's, as with the remembered devices. A value that breaks off keeps the entries
// before it; a gateway text that does not read as user@host[:port], or one a profile
// of its link kind cannot have, is dropped.
void LoadSshGateways(const RegistryStore& store, ProfileTable& profiles);
void SaveSshGateways(RegistryStore& store, const ProfileTable& profiles);

// The ActiveSync port registration: "Halvard" = 1899 (dword) under the ProxyPorts key.
void RegisterProxyPort(RegistryStore& store);
// The registered port, if the value exists and is 4 bytes long.
std::optional<uint32_t> registeredProxyPort(const RegistryStore& store);

struct SettingsLoadResult {
    // Empty, or a message for the user: the settings file was unreadable and has been
    // kept aside (keptAside), or could not even be moved aside (saving is then refused).
    std::string error;
    std::filesystem::path keptAside;

    bool problem() const { return !error.empty(); }
};

// The configuration store on disk. Owns the in-memory store and the file.
class SettingsStore {
public:
    // dir: the settings folder (defaultSettingsDir() in the program). ops: nullptr for
    // the system's file calls.
    explicit SettingsStore(std::filesystem::path dir, std::unique_ptr<FileOps> ops = nullptr);

    // Reads the file, then the three records from it. Always leaves usable values.
    SettingsLoadResult LoadSettings(std::string_view programDir, Settings& settings, ProfileTable& profiles,
                                    PlatformSettings& platform);
    // Writes the records into the store and the store to the file, atomically.
    // Returns "" or what went wrong (the previous file is then unchanged).
    std::string SaveSettings(const Settings& settings, const ProfileTable& profiles,
                             const PlatformSettings& platform);

    // Change the registration and save at once; "" or what went wrong.
    std::string RegisterProxyPort();
    std::optional<uint32_t> registeredProxyPort() const;

    RegistryStore& registry() { return store_; }
    const RegistryFile& file() const { return file_; }

private:
    RegistryStore store_;
    RegistryFile file_;
};

} // namespace sorvane
