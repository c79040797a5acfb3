#include "connect/ConnectContext.h"

#include <algorithm>

namespace sorvane {

SshSettings sshSettingsFrom(const PlatformSettings& settings)
{
    SshSettings ssh;
    ssh.knownHostsFile = settings.SshKnownHostsFile;
    ssh.timeoutMs = uint32_t(std::clamp(settings.SshTimeoutSeconds, 1, 300)) * 1000u;
    return ssh;
}

bool linkConfigFrom(const PlatformSettings& settings, LinkConfig& out, std::string& error)
{
    LinkConfig config = out;
    if (!parseAddressList(settings.ActiveSyncAddresses, config.activeSyncCandidates, error))
        return false;
    if (!settings.ComDevicePattern.empty())
        config.comDevicePattern = settings.ComDevicePattern;
    if (!settings.UsbDevicePattern.empty())
        config.usbDevicePattern = settings.UsbDevicePattern;
    config.ssh = sshSettingsFrom(settings);
    out = std::move(config);
    return true;
}

LinkConfig ConnectContext::linkConfig() const
{
    LinkConfig config;
    std::string error;
    if (!linkConfigFrom(platform, config, error)) {
        // A damaged address list must not send anywhere: no ActiveSync candidates.
        config = LinkConfig{};
        config.activeSyncCandidates.clear();
        config.ssh = sshSettingsFrom(platform);
    }
    return config;
}

} // namespace sorvane
