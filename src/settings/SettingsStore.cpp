#include "settings/SettingsStore.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/ByteOrder.h"

namespace sorvane {

namespace {

// Reads a value into a 32-bit field through a 4-byte buffer that starts as the field's
// own bytes: a shorter value replaces only its leading bytes, a longer one nothing.
void queryDword(const RegistryStore& store, std::string_view key, std::string_view name, int32_t& field)
{
    uint8_t buf[4];
    storeLe32(buf, uint32_t(field));
    size_t size = 0;
    if (store.query(key, name, buf, size) == QueryStatus::Ok)
        field = loadLe32s(buf);
}

// Reads a text value: its bytes up to the first NUL. Only a value that fits in
// bufferSize bytes together with a terminating NUL is taken; anything else leaves text
// as it was.
void queryText(const RegistryStore& store, std::string_view key, std::string_view name, std::string& text,
               size_t bufferSize)
{
    const RegValue* v = store.find(key, name);
    if (!v || v->data.size() > bufferSize)
        return;
    if (v->data.empty()) { // an empty value is the empty text (and data() may be null)
        text.clear();
        return;
    }
    const void* nul = std::memchr(v->data.data(), 0, v->data.size());
    size_t n = nul ? size_t(static_cast<const uint8_t*>(nul) - v->data.data()) : v->data.size();
    if (n >= bufferSize)
        return;
    text.assign(reinterpret_cast<const char*>(v->data.data()), n);
}

constexpr size_t kPlatformTextLimit = 4096;
constexpr size_t kAllowedListLimit = 65536;

} // namespace

// The order of the reads and corrections matters: ConnTypes decides whether ConnData
// is read before it is itself corrected, and CurrentSkin's correction also clears Skin.
void LoadSettings(const RegistryStore& store, std::string_view programDir, Settings& s, ProfileTable& profiles)
{
    s = Settings::defaults(programDir);
    profiles.clear();
    if (!store.hasKey(kSettingsKey))
        return;

    int32_t connTypes = 0;
    queryDword(store, kSettingsKey, "ConnTypes", connTypes);
    if (connTypes >= 1 && connTypes <= ProfileTable::kSlots) {
        // A shorter image fills the slots it covers; bytes beyond connTypes slots are
        // left out rather than losing every profile over them.
        const RegValue* data = store.find(kSettingsKey, "ConnData");
        std::span<const uint8_t> image;
        if (data)
            image = data->data;
        profiles.loadImage(connTypes, image);
    }
    queryDword(store, kSettingsKey, "InboundPort", s.InboundPort);
    queryDword(store, kSettingsKey, "ComPort", s.ComPort);
    queryDword(store, kSettingsKey, "AcceptInbound", s.AcceptInbound);
    queryDword(store, kSettingsKey, "ShowMouse", s.ShowMouse);
    queryDword(store, kSettingsKey, "HidePassword", s.HidePassword);
    queryDword(store, kSettingsKey, "Recording_Method", s.Recording_Method);
    queryDword(store, kSettingsKey, "Refresh", s.Refresh);
    queryDword(store, kSettingsKey, "Scale", s.Scale);
    queryDword(store, kSettingsKey, "IPAddress", s.IPAddress);
    queryDword(store, kSettingsKey, "Skin", s.Skin);
    queryDword(store, kSettingsKey, "CurrentSkin", s.CurrentSkin);
    if (s.CurrentSkin < 0 || s.CurrentSkin > 99) {
        s.CurrentSkin = 0;
        s.Skin = 0;
    }
    queryDword(store, kSettingsKey, "Capture", s.Capture);
    if (s.Capture < 0 || s.Capture > 2)
        s.Capture = 0;
    queryDword(store, kSettingsKey, "ClickFormat", s.ClickFormat);
    if (s.ClickFormat < 0 || s.ClickFormat > 3)
        s.ClickFormat = 0;
    queryDword(store, kSettingsKey, "ColorMode", s.ColorMode);
    queryDword(store, kSettingsKey, "QueueEvents", s.QueueEvents);
    // A count out of range stands for no profiles: the table was left empty above.
    queryText(store, kSettingsKey, "ScriptDir", s.ScriptDir, Settings::kScriptDirBufferSize);
}

void SaveSettings(RegistryStore& store, const Settings& s, const ProfileTable& profiles)
{
    const std::string_view key = kSettingsKey;
    store.createKey(key);
    store.setDword(key, "ConnTypes", uint32_t(profiles.ConnTypes()));
    store.setBinary(key, "ConnData", profiles.encodeUsed());
    store.setDword(key, "ComPort", uint32_t(s.ComPort));
    store.setDword(key, "InboundPort", uint32_t(s.InboundPort));
    store.setDword(key, "AcceptInbound", uint32_t(s.AcceptInbound));
    store.setDword(key, "ShowMouse", uint32_t(s.ShowMouse));
    store.setDword(key, "HidePassword", uint32_t(s.HidePassword));
    store.setDword(key, "Recording_Method", uint32_t(s.Recording_Method));
    store.setDword(key, "IPAddress", uint32_t(s.IPAddress));
    store.setDword(key, "Refresh", uint32_t(s.Refresh));
    store.setDword(key, "Scale", uint32_t(s.Scale));
    store.setDword(key, "Skin", uint32_t(s.Skin));
    store.setDword(key, "CurrentSkin", uint32_t(s.CurrentSkin));
    store.setDword(key, "Capture", uint32_t(s.Capture));
    store.setDword(key, "ClickFormat", uint32_t(s.ClickFormat));
    store.setDword(key, "ColorMode", uint32_t(s.ColorMode));
    store.setDword(key, "QueueEvents", uint32_t(s.QueueEvents));
    store.setString(key, "ScriptDir", s.ScriptDir);
}

void LoadPlatformSettings(const RegistryStore& store, PlatformSettings& p)
{
    p = PlatformSettings::defaults();
    const std::string_view key = kPlatformSettingsKey;
    queryText(store, key, "ActiveSyncAddresses", p.ActiveSyncAddresses, kPlatformTextLimit);
    queryText(store, key, "ComDevicePattern", p.ComDevicePattern, kPlatformTextLimit);
    queryText(store, key, "UsbDevicePattern", p.UsbDevicePattern, kPlatformTextLimit);
    queryText(store, key, "LanBroadcastAddress", p.LanBroadcastAddress, kPlatformTextLimit);
    int32_t port = p.LanDiscoveryPort;
    queryDword(store, key, "LanDiscoveryPort", port);
    if (port >= 1 && port <= 65535)
        p.LanDiscoveryPort = port;
    queryText(store, key, "ActiveSyncProcesses", p.ActiveSyncProcesses, kPlatformTextLimit);
    queryText(store, key, "ActiveSyncStartCommand", p.ActiveSyncStartCommand, kPlatformTextLimit);
    queryText(store, key, "InboundAllowed", p.InboundAllowed, kAllowedListLimit);
    int32_t trust = p.InboundTrustLoopback;
    queryDword(store, key, "InboundTrustLoopback", trust);
    p.InboundTrustLoopback = trust != 0 ? 1 : 0;
    queryText(store, key, "InboundListenAddress", p.InboundListenAddress, kPlatformTextLimit);
    int32_t seconds = p.InboundHandshakeSeconds;
    queryDword(store, key, "InboundHandshakeSeconds", seconds);
    if (seconds >= 1 && seconds <= 300)
        p.InboundHandshakeSeconds = seconds;
    int32_t png = 0;
    queryDword(store, key, "ClickPng", png);
    p.ClickPng = png == 1 ? 1 : 0;
    int32_t reconnect = p.ReconnectOnDrop;
    queryDword(store, key, "ReconnectOnDrop", reconnect);
    p.ReconnectOnDrop = reconnect != 0 ? 1 : 0;
    int32_t statusLine = p.StatusLine;
    queryDword(store, key, "StatusLine", statusLine);
    p.StatusLine = statusLine != 0 ? 1 : 0;
    int32_t viaClipboard = p.TypeViaClipboard;
    queryDword(store, key, "TypeViaClipboard", viaClipboard);
    p.TypeViaClipboard = viaClipboard == 1 ? 1 : 0;
    int32_t devices = 0;
    queryDword(store, key, "DevicesWindow", devices);
    p.DevicesWindow = devices == 1 ? 1 : 0;
    queryText(store, key, "DevicesWindowGeometry", p.DevicesWindowGeometry, kPlatformTextLimit);
    queryText(store, key, "SshKnownHostsFile", p.SshKnownHostsFile, kPlatformTextLimit);
    int32_t sshSeconds = p.SshTimeoutSeconds;
    queryDword(store, key, "SshTimeoutSeconds", sshSeconds);
    p.SshTimeoutSeconds = std::clamp(sshSeconds, 1, 300);
}

void SavePlatformSettings(RegistryStore& store, const PlatformSettings& p)
{
    const std::string_view key = kPlatformSettingsKey;
    store.setString(key, "ActiveSyncAddresses", p.ActiveSyncAddresses);
    store.setString(key, "ComDevicePattern", p.ComDevicePattern);
    store.setString(key, "UsbDevicePattern", p.UsbDevicePattern);
    store.setString(key, "LanBroadcastAddress", p.LanBroadcastAddress);
    store.setDword(key, "LanDiscoveryPort", uint32_t(p.LanDiscoveryPort));
    store.setString(key, "ActiveSyncProcesses", p.ActiveSyncProcesses);
    store.setString(key, "ActiveSyncStartCommand", p.ActiveSyncStartCommand);
    store.setString(key, "InboundAllowed", p.InboundAllowed);
    store.setDword(key, "InboundTrustLoopback", uint32_t(p.InboundTrustLoopback));
    store.setString(key, "InboundListenAddress", p.InboundListenAddress);
    store.setDword(key, "InboundHandshakeSeconds", uint32_t(p.InboundHandshakeSeconds));
    store.setDword(key, "ClickPng", uint32_t(p.ClickPng));
    store.setDword(key, "ReconnectOnDrop", uint32_t(p.ReconnectOnDrop));
    store.setDword(key, "StatusLine", uint32_t(p.StatusLine));
    store.setDword(key, "TypeViaClipboard", uint32_t(p.TypeViaClipboard));
    store.setDword(key, "DevicesWindow", uint32_t(p.DevicesWindow));
    store.setString(key, "DevicesWindowGeometry", p.DevicesWindowGeometry);
    store.setString(key, "SshKnownHostsFile", p.SshKnownHostsFile);
    store.setDword(key, "SshTimeoutSeconds", uint32_t(p.SshTimeoutSeconds));
}

void LoadRememberedDevices(const RegistryStore& store, ProfileTable& profiles)
{
    const RegValue* v = store.find(kPlatformSettingsKey, "RememberedDevices");
    if (!v)
        return;
    const std::vector<uint8_t>& d = v->data;
    size_t at = 0;
    // Reads one length-prefixed text; false when the value breaks off.
    auto text = [&](std::string_view& out) {
        if (at >= d.size() || d.size() - at - 1 < d[at])
            return false;
        out = std::string_view(reinterpret_cast<const char*>(d.data()) + at + 1, d[at]);
        at += 1 + size_t(d[at]);
        return true;
    };
    for (int i = 0; i < profiles.ConnTypes(); ++i) {
        std::string_view profileName, device;
        if (!text(profileName) || !text(device))
            return;
        if (profileName == profiles.get(i)->nameView())
            profiles.setRememberedDevice(i, device);
    }
}

void SaveRememberedDevices(RegistryStore& store, const ProfileTable& profiles)
{
    std::vector<uint8_t> out;
    auto text = [&](std::string_view t) {
        t = t.substr(0, 255);
        out.push_back(uint8_t(t.size()));
        out.insert(out.end(), t.begin(), t.end());
    };
    for (int i = 0; i < profiles.ConnTypes(); ++i) {
        text(profiles.get(i)->nameView());
        text(profiles.rememberedDevice(i));
    }
    store.setBinary(kPlatformSettingsKey, "RememberedDevices", out);
}

void LoadSshGateways(const RegistryStore& store, ProfileTable& profiles)
{
    const RegValue* v = store.find(kPlatformSettingsKey, "SshGateways");
    if (!v)
        return;
    const std::vector<uint8_t>& d = v->data;
    size_t at = 0;
    // Reads one text after a length of `width` bytes; false when the value breaks off.
    auto text = [&](size_t width, std::string_view& out) {
        if (d.size() - at < width)
            return false;
        const size_t n = width == 1 ? d[at] : loadLe16(d.data() + at);
        if (d.size() - at - width < n)
            return false;
        out = std::string_view(reinterpret_cast<const char*>(d.data()) + at + width, n);
        at += width + n;
        return true;
    };
    for (int i = 0; i < profiles.ConnTypes(); ++i) {
        std::string_view profileName, gatewayText, keyFile;
        if (!text(1, profileName) || !text(1, gatewayText) || !text(2, keyFile))
            return;
        if (profileName != profiles.get(i)->nameView() || gatewayText.empty())
            continue;
        std::string error;
        std::optional<SshGateway> gateway = ParseSshGateway(gatewayText, error);
        if (!gateway)
            continue;
        gateway->keyFile = std::string(keyFile);
        profiles.setSshGateway(i, std::move(gateway));
    }
}

void SaveSshGateways(RegistryStore& store, const ProfileTable& profiles)
{
    std::vector<uint8_t> out;
    auto text = [&](size_t width, std::string_view t) {
        // setSshGateway keeps every text within its length field.
        t = t.substr(0, width == 1 ? 0xFF : 0xFFFF);
        if (width == 1) {
            out.push_back(uint8_t(t.size()));
        } else {
            out.push_back(uint8_t(t.size() & 0xFF));
            out.push_back(uint8_t(t.size() >> 8));
        }
        out.insert(out.end(), t.begin(), t.end());
    };
    for (int i = 0; i < profiles.ConnTypes(); ++i) {
        const std::optional<SshGateway> gateway = profiles.sshGateway(i);
        text(1, profiles.get(i)->nameView());
        text(1, gateway ? gateway->text() : std::string());
        text(2, gateway ? std::string_view(gateway->keyFile) : std::string_view());
    }
    store.setBinary(kPlatformSettingsKey, "SshGateways", out);
}

void RegisterProxyPort(RegistryStore& store)
{
    store.setDword(kProxyPortsKey, kProxyPortValueName, kAgentTcpPort);
}

std::optional<uint32_t> registeredProxyPort(const RegistryStore& store)
{
    const RegValue* v = store.find(kProxyPortsKey, kProxyPortValueName);
    if (!v || v->data.size() != 4)
        return std::nullopt;
    return loadLe32(v->data.data());
}

SettingsStore::SettingsStore(std::filesystem::path dir, std::unique_ptr<FileOps> ops)
    : file_(std::move(dir), std::move(ops))
{
}

SettingsLoadResult SettingsStore::LoadSettings(std::string_view programDir, Settings& settings,
                                               ProfileTable& profiles, PlatformSettings& platform)
{
    RegistryLoadResult loaded = file_.load(store_);
    sorvane::LoadSettings(store_, programDir, settings, profiles);
    LoadPlatformSettings(store_, platform);
    LoadRememberedDevices(store_, profiles);
    LoadSshGateways(store_, profiles);
    SettingsLoadResult result;
    result.error = loaded.error;
    result.keptAside = loaded.keptAside;
    return result;
}

std::string SettingsStore::SaveSettings(const Settings& settings, const ProfileTable& profiles,
                                        const PlatformSettings& platform)
{
    sorvane::SaveSettings(store_, settings, profiles);
    SavePlatformSettings(store_, platform);
    SaveRememberedDevices(store_, profiles);
    SaveSshGateways(store_, profiles);
    return file_.save(store_);
}

std::string SettingsStore::RegisterProxyPort()
{
    sorvane::RegisterProxyPort(store_);
    return file_.save(store_);
}

std::optional<uint32_t> SettingsStore::registeredProxyPort() const { return sorvane::registeredProxyPort(store_); }

} // namespace sorvane
