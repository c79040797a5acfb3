#pragma once
// The texts and captions the connect flows show, in one place.

#include <cctype>
#include <string>

namespace sorvane::connect_text {

// A reason ("the SSH gateway ... could not be reached") as a message box shows it.
inline std::string Sentence(std::string reason)
{
    if (!reason.empty())
        reason[0] = char(std::toupper(static_cast<unsigned char>(reason[0])));
    return reason;
}

inline constexpr const char* kNoUsbDevices = "No available USB devices found";
inline constexpr const char* kUsbDiscoveryCaption = "USB Auto Discovery";
inline constexpr const char* kSelectDevice = "Please select a device to connect to";
inline constexpr const char* kUsbConnectionCaption = "USB Connection";
inline constexpr const char* kLanConnectionCaption = "LAN Connection";
inline constexpr const char* kUnableToConnect = "Unable to connect to device";
inline constexpr const char* kConnectionFailedCaption = "Connection Failed";
inline constexpr const char* kProxyUnreachable = "Unable to connect to the proxy server";
inline constexpr const char* kProxyRefused = "The connection attempt failed; the device may be in use";
inline constexpr const char* kErrorCaption = "Error";
// A proxy port of the profile that TCP cannot use (the profile dialog takes 0..65536).
inline constexpr const char* kProxyBadPort = "The proxy server's port must be a number from 1 to 65535";
inline constexpr const char* kAvailable = "Available";
inline constexpr const char* kConnectCaption = "Connect";

inline constexpr const char* kUsbTitle = "USB (Auto Discovery)";
inline constexpr const char* kLanTitle = "LAN (Auto Discovery)";
inline constexpr const char* kProxyTitle = "Proxy Server";

} // namespace sorvane::connect_text
