#include "cli/CliSession.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstring>

#include <arpa/inet.h>
#include <netdb.h>

#include "connect/InboundConnections.h"
#include "connect/InboundListener.h"
#include "connect/LanDiscovery.h"
#include "connect/ProxyClient.h"
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

bool parseIndex(const std::string& s, long& out)
{
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), out);
    return ec == std::errc() && end == s.data() + s.size() && out >= 0;
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
        cancel_.cancel();
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

std::string CliSession::withinBound() const
{
    char text[32];
    std::snprintf(text, sizeof text, "%g", options_.timeoutS);
    return " within " + std::string(text) + " s";
}

void CliSession::adopt(PendingLink& link)
{
    std::lock_guard lock(mutex_);
    slot_ = links_.allocSlot();
    link.moveTo(links_, slot_);
    open_ = true;
    if (fired_)
        slot().transport->shutdown();
}

bool CliSession::connect(std::string& error)
{
    if (options_.lan)
        return connectLan(error);
    if (options_.proxyHost)
        return connectProxy(error);
    if (options_.listenAddress)
        return connectInbound(error);
    return connectDirect(error);
}

bool CliSession::connectLan(std::string& error)
{
    uint32_t broadcast = 0;
    if (!parseIpv4(options_.broadcast, broadcast)) {
        error = "--bcast wants an IPv4 address, not " + options_.broadcast;
        return false;
    }
    LanDiscovery discovery;
    if (!discovery.open(broadcast, options_.broadcastPort, error))
        return false;
    DiscoveredDevices devices(passwords_);
    std::optional<size_t> chosen;
    // The first request goes out at once, the next ones every 3 s as in the dialog.
    while (!chosen) {
        const uint32_t start = clock_.tickCount();
        if (auto d = discovery.tick(kLanReplyWaitMs, &cancel_)) {
            std::optional<size_t> index = devices.append(*d);
            if (index && (!options_.pick || *options_.pick == d->name))
                chosen = index;
            continue; // one new device per tick; the next tick follows at once
        }
        if (cancel_.cancelled() || cancel_.waitFor(kLanTickMs - std::min(kLanTickMs, clock_.tickCount() - start))) {
            error = (options_.pick ? "no device called \"" + *options_.pick + "\" answered" : "no device answered") +
                    std::string(" the LAN discovery to ") + options_.broadcast + " port " +
                    std::to_string(options_.broadcastPort) + withinBound();
            if (discovery.lastSendFailed())
                error += " (the request could not be sent: " + std::string(std::strerror(errno)) + ")";
            return false;
        }
    }
    const LanDevice device = devices.device(*chosen);
    if (devices.hasPassword(*chosen)) {
        if (!options_.password) {
            error = "the device requires a password (give it with --password)";
            return false;
        }
        GivenPasswordPrompt prompt(*options_.password);
        if (prompt.askPassword(passwords_, *chosen) != 1) {
            error = "the password is incorrect";
            return false;
        }
    }
    Profile profile;
    profile.linkKind = uint32_t(LinkKind::Lan);
    profile.ipAddress = device.address;
    config_.agentPort = options_.port;
    const std::string target = dottedAddress(device.address) + ":" + std::to_string(options_.port);
    PendingLink link(clock_, &cancel_);
    if (!link.open(config_, profile, factory_)) {
        error = "cannot create a socket: " + std::string(std::strerror(errno));
        return false;
    }
    ConnectOutcome outcome = link.connect(nullptr);
    if (!outcome.passed()) {
        if (timedOut())
            error = "no answer from " + device.name + " at " + target + withinBound();
        else if (outcome.status == LinkConnectStatus::NotConnected)
            error = "cannot connect to " + device.name + " at " + target + " (refused, or no answer within 1.5 s)";
        else
            error = handshakeReason(outcome.handshake, link.slot().depth);
        return false;
    }
    adopt(link);
    return true;
}

bool CliSession::connectProxy(std::string& error)
{
    auto address = resolveIpv4(*options_.proxyHost);
    if (!address) {
        error = "cannot resolve the host " + *options_.proxyHost;
        return false;
    }
    Profile profile;
    profile.linkKind = uint32_t(LinkKind::Proxy);
    profile.ipAddress = *address;
    profile.port = options_.proxyPort;
    const std::string proxy = *options_.proxyHost + ":" + std::to_string(options_.proxyPort);
    if (!validProxyPort(profile.port)) {
        error = "the proxy server's port " + std::to_string(profile.port) + " is not a port number 1..65535";
        return false;
    }
    ProxyTable table = FetchProxyTable(clock_, profile, factory_, &cancel_);
    if (table.status != ProxyTableStatus::Ok) {
        error = "Unable to connect to the proxy server " + proxy + ": " +
                (timedOut() ? "no answer" + withinBound()
                 : table.status == ProxyTableStatus::Unreachable ? std::string("no connection in 3 attempts")
                 : table.status == ProxyTableStatus::BadCount    ? std::string("its device count is not 1..33")
                                                                 : std::string("its device table broke off"));
        return false;
    }
    const std::vector<ProxyRow> rows = proxyRows(table.records);
    const ProxyRow* row = nullptr;
    for (const ProxyRow& r : rows)
        if (r.name == *options_.pick)
            row = &r;
    long index = -1;
    if (!row && parseIndex(*options_.pick, index))
        for (const ProxyRow& r : rows)
            if (long(r.index) == index)
                row = &r;
    if (!row) {
        error = "the proxy server " + proxy + " has no device \"" + *options_.pick + "\" (it lists " +
                std::to_string(rows.size()) + ")";
        return false;
    }
    PendingLink link(clock_, &cancel_);
    switch (OpenProxyDevice(link, profile, table.records[row->index], row->index, factory_)) {
    case ProxyOpenStatus::Passed:
        adopt(link);
        return true;
    case ProxyOpenStatus::Refused:
        error = "The connection attempt failed; the device may be in use (" + row->name + ": " + row->connection + ")";
        return false;
    case ProxyOpenStatus::HandshakeFailed:
        error = timedOut() ? "no answer from " + row->name + withinBound()
                           : handshakeReason(HandshakeStatus::HelloRefused, 0) + " (through the proxy server)";
        return false;
    default:
        error = "Unable to connect to the proxy server " + proxy;
        return false;
    }
}

bool CliSession::connectInbound(std::string& error)
{
    uint32_t address = 0;
    if (*options_.listenAddress != "0.0.0.0" && !parseIpv4(*options_.listenAddress, address)) {
        error = "--listen wants an IPv4 address, not " + *options_.listenAddress;
        return false;
    }
    InboundListener listener(address);
    if (listener.StartInboundListener(options_.listenPort) != InboundListener::StartResult::Listening) {
        error = "Unable to create inbound socket; port may be in use (" + *options_.listenAddress + ":" +
                std::to_string(options_.listenPort) + ": " + std::strerror(errno) + ")";
        return false;
    }
    std::fprintf(stderr, "listening %d\n", listener.listeningPort());
    std::fflush(stderr);
    std::optional<AcceptedSocket> accepted;
    while (!(accepted = listener.acceptPending())) {
        if (cancel_.waitFor(20)) {
            error = "no device connected to port " + std::to_string(listener.listeningPort()) + withinBound();
            return false;
        }
    }
    PendingLink link(clock_, &cancel_);
    if (!AdoptInbound(link, std::move(*accepted))) {
        error = "cannot use the accepted connection: " + std::string(std::strerror(errno));
        return false;
    }
    std::optional<GivenPasswordPrompt> prompt;
    if (options_.password)
        prompt.emplace(*options_.password);
    HandshakeStatus status = link.handshake(prompt ? &*prompt : nullptr);
    if (status != HandshakeStatus::Passed) {
        error = timedOut() ? "no answer from the device that connected" + withinBound()
                           : handshakeReason(status, link.slot().depth);
        return false;
    }
    adopt(link);
    return true;
}

bool CliSession::connectDirect(std::string& error)
{
    const std::string bound = withinBound();

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
    auto transport = OpenLinkTransport(links_, config_, profile.target(), factory_);
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
