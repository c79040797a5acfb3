#pragma once
// What `sorvane --connect HOST` does to the profile table before connecting: the
// WAN connection named HOST is used when there is one; otherwise one is added
// with the defaults a new connection gets, the address of HOST, and the name HOST.
//
// Plain C++. resolveIpv4 may block on the system's name lookup.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "settings/Profile.h"
#include "settings/Settings.h"

namespace sorvane {

// A profile as the New Connection dialog starts one: the program-wide defaults
// (scale, refresh rate, one-click format, capture mode, recording method and,
// for video recording, the mouse cursor), the default skin when `skinCount` is
// not 0, name "New Connection", link kind 0, colour black, the four options off.
Profile newProfileDefaults(const Settings& settings, int skinCount);

// The first-octet-high address of `host`: a dotted IPv4 address as it is, a name
// through the system's resolver (its first IPv4 address). nullopt when there is
// none.
std::optional<uint32_t> resolveIpv4(const std::string& host);

struct WanProfileResult {
    int index = -1;       // the profile to connect; -1 on failure
    bool created = false; // added now (the caller saves the settings)
    std::string error;    // for the user when index is -1
};

using Ipv4Resolver = std::function<std::optional<uint32_t>(const std::string&)>;

// Finds the profile named `host`, or adds a WAN profile for it at the address
// `resolve` gives (asked only when a profile is to be added).
WanProfileResult ensureWanProfile(ProfileTable& profiles, const Settings& settings, int skinCount,
                                  const std::string& host, const Ipv4Resolver& resolve);

} // namespace sorvane
