#include "connect/ConnectContext.h"

namespace sorvane {

bool linkConfigFrom(const PlatformSettings& settings, LinkConfig& out, std::string& error)
{
    LinkConfig config = out;
    if (!parseAddressList(settings.ActiveSyncAddresses, config.activeSyncCandidates, error))
        return false;
    if (!settings.ComDevicePattern.empty())
        config.comDevicePattern = settings.ComDevicePattern;
    if (!settings.UsbDevicePattern.empty())
        config.usbDevicePattern = settings.UsbDevicePattern;
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
    }
    return config;
}

} // namespace sorvane
