#include "app/ConnectOption.h"

#include <cstring>

#include <arpa/inet.h>
#include <netdb.h>
#include <sys/socket.h>

namespace sorvane {

Profile newProfileDefaults(const Settings& settings, int skinCount)
{
    Profile p;
    p.setName("New Connection");
    p.linkKind = uint32_t(LinkKind::IrDA);
    p.clickFormat = settings.ClickFormat;
    p.scale = settings.Scale;
    p.refreshRate = settings.Refresh;
    p.skinIndex = skinCount > 0 ? settings.CurrentSkin : 0;
    p.recordingMethod = settings.Recording_Method;
    p.showMouseCursor = settings.Recording_Method != 0 ? settings.ShowMouse : 0;
    p.captureMode = settings.Capture;
    p.backgroundColor = 0;
    return p;
}

std::optional<uint32_t> resolveIpv4(const std::string& host)
{
    uint32_t address = 0;
    if (parseIpv4(host, address))
        return address;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || !found)
        return std::nullopt;
    std::optional<uint32_t> result;
    for (addrinfo* a = found; a && !result; a = a->ai_next) {
        if (a->ai_family == AF_INET && a->ai_addrlen >= sizeof(sockaddr_in)) {
            sockaddr_in in{};
            std::memcpy(&in, a->ai_addr, sizeof in);
            result = ntohl(in.sin_addr.s_addr);
        }
    }
    freeaddrinfo(found);
    return result;
}

WanProfileResult ensureWanProfile(ProfileTable& profiles, const Settings& settings, int skinCount,
                                  const std::string& host, const Ipv4Resolver& resolve)
{
    WanProfileResult result;
    for (int i = 0; i < profiles.ConnTypes(); ++i) {
        if (profiles.get(i)->nameView() == host) {
            result.index = i;
            return result;
        }
    }
    if (host.size() > Profile::kNameSize - 1) {
        result.error = "The host name " + host + " is longer than a connection name may be (63 characters).";
        return result;
    }
    if (profiles.ConnTypes() >= ProfileTable::kSlots) {
        result.error = "There is no room for another connection (33 are saved). Delete one and try again.";
        return result;
    }
    const std::optional<uint32_t> address = resolve(host);
    if (!address) {
        result.error = "The address of " + host + " could not be found.";
        return result;
    }
    Profile p = newProfileDefaults(settings, skinCount);
    p.setName(host);
    p.linkKind = uint32_t(LinkKind::Wan);
    p.ipAddress = *address;
    profiles.AddProfile(p);
    result.index = profiles.ConnTypes() - 1;
    result.created = true;
    return result;
}

} // namespace sorvane
