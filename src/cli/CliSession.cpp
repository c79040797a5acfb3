#include "cli/CliSession.h"

#include <chrono>
#include <cstring>

#include <arpa/inet.h>
#include <netdb.h>

#include "link/LinkTransport.h"
#include "settings/Profile.h"

namespace sorvane::cli {
namespace {

// The first IPv4 address of host, in host order.
std::optional<uint32_t> resolveIpv4(const std::string& host)
{
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* list = nullptr;
    if (::getaddrinfo(host.c_str(), nullptr, &hints, &list) != 0 || !list)
        return std::nullopt;
    uint32_t address = ntohl(reinterpret_cast<sockaddr_in*>(list->ai_addr)->sin_addr.s_addr);
    ::freeaddrinfo(list);
    return address;
}

std::string handshakeReason(HandshakeStatus status, int32_t depth)
{
    switch (status) {
    case HandshakeStatus::Passed:
        return "";
    case HandshakeStatus::NoLink:
        return "no link is open";
    case HandshakeStatus::HelloRefused:
        return "the device did not answer the hello";
    case HandshakeStatus::InfoShort:
        return "the device sent no complete device information";
    case HandshakeStatus::UnsupportedDepth:
        return "the device's colour depth " + std::to_string(depth) + " is not supported";
    case HandshakeStatus::PasswordRequired:
        return "the device requires a password (give it with --password)";
    case HandshakeStatus::PasswordCancelled:
        return "the password is incorrect";
    case HandshakeStatus::FrameBuffersFailed:
        return "the device's screen facts are unusable";
    }
    return "the handshake failed";
}

} // namespace

int GivenPasswordPrompt::askPassword(const PasswordTable& table, size_t record)
{
    if (passwordMatches(password_, table.password(record)))
        return 1;
    refused_ = true;
    return 2;
}

CliSession::CliSession(const CliOptions& options) : options_(options)
{
    startWatchdog();
}

CliSession::~CliSession()
{
    stopWatchdog();
    release();
}

bool CliSession::timedOut()
{
    std::lock_guard lock(mutex_);
    return fired_;
}

void CliSession::startWatchdog()
{
    auto bound = std::chrono::duration<double>(options_.timeoutS);
    watchdog_ = std::thread([this, bound] {
        std::unique_lock lock(mutex_);
        if (wake_.wait_for(lock, bound, [this] { return stop_; }))
            return;
        fired_ = true;
        ShutdownLinkTransport(links_, slot_);
    });
}

void CliSession::stopWatchdog()
{
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    if (watchdog_.joinable())
        watchdog_.join();
}

void CliSession::release()
{
    if (!open_)
        return;
    CloseLinkTransport(links_, slot_);
    slot().deviceName.clear();
    open_ = false;
}

bool CliSession::connect(std::string& error)
{
    const std::string bound = " within " + [&] {
        char text[32];
        std::snprintf(text, sizeof text, "%g", options_.timeoutS);
        return std::string(text);
    }() + " s";

    Profile profile;
    std::string target;
    if (options_.host) {
        auto address = resolveIpv4(*options_.host);
        if (!address) {
            error = "cannot resolve the host " + *options_.host;
            return false;
        }
        profile.linkKind = uint32_t(LinkKind::Wan);
        profile.ipAddress = *address;
        config_.agentPort = options_.port;
        target = *options_.host + ":" + std::to_string(options_.port);
    } else if (options_.serial) {
        // The path is given whole: a pattern without a port number names it.
        profile.linkKind = uint32_t(LinkKind::Serial);
        profile.port = 1;
        config_.comDevicePattern = *options_.serial;
        target = *options_.serial;
    } else {
        error = "no connection given (--host or --serial)";
        return false;
    }

    slot_ = links_.allocSlot();
    LinkSlot& s = slot();
    s.linkKind = profile.linkKind;
    s.port = profile.port;
    s.ipAddress = profile.ipAddress;
    auto transport = OpenLinkTransport(links_, config_, profile, factory_);
    if (!transport) {
        error = options_.serial ? "cannot open the serial line " + target + ": " + std::strerror(errno)
                                : "cannot create a socket: " + std::string(std::strerror(errno));
        return false;
    }
    {
        std::lock_guard lock(mutex_);
        s.transport = std::move(transport);
        open_ = true;
        if (fired_)
            s.transport->shutdown();
    }

    std::optional<GivenPasswordPrompt> prompt;
    if (options_.password)
        prompt.emplace(*options_.password);
    HandshakeEnv env{passwords_, prompt ? &*prompt : nullptr, nullptr, {}};

    if (options_.host) {
        ConnectOutcome outcome = ConnectLink(links_, slot_, env);
        if (outcome.passed())
            return true;
        if (timedOut())
            error = "no answer from " + target + bound;
        else if (outcome.status == LinkConnectStatus::NotConnected)
            error = "cannot connect to " + target + " (refused, or no answer within 1.5 s)";
        else
            error = handshakeReason(outcome.handshake, s.depth);
        return false;
    }
    HandshakeStatus status = DeviceHandshake(links_, slot_, env);
    if (status == HandshakeStatus::Passed)
        return true;
    error = timedOut() ? "no answer from " + target + bound : handshakeReason(status, s.depth);
    return false;
}

} // namespace sorvane::cli
