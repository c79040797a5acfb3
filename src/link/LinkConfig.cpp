#include "link/LinkConfig.h"

#include "settings/Settings.h"

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

} // namespace sorvane
