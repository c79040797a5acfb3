#include "cli/CliSession.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstring>

#include <pthread.h>

#include <arpa/inet.h>
#include <netdb.h>

#include "cli/TerminalQuestions.h"
#include "connect/Dialer.h"
#include "connect/InboundConnections.h"
#include "connect/InboundListener.h"
#include "connect/LanDiscovery.h"
#include "tools/DeviceText.h"
#include "link/DisplayBounds.h"
#include "view/Connection.h"
#include "link/SlotLinkChannel.h"
#include "link/LinkTransport.h"
#include "program/FleetNames.h"
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

int64_t steadyMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// The connection's transport, noting when bytes arrive.
class WatchedTransport final : public Transport {
public:
    WatchedTransport(std::unique_ptr<Transport> inner, CliSession::Silence& silence)
        : inner_(std::move(inner)), silence_(silence)
    {
    }
    Family family() const override { return inner_->family(); }
    IoResult receive(std::span<uint8_t> buffer) override
    {
        IoResult r = inner_->receive(buffer);
        if (r.status == IoStatus::Ok && r.bytes > 0)
            silence_.lastByteMs = steadyMs();
        silence_.quiet = r.status == IoStatus::WouldBlock || (r.status == IoStatus::Ok && r.bytes == 0);
        return r;
    }
    IoResult send(std::span<const uint8_t> data) override { return inner_->send(data); }
    void clearError() override { inner_->clearError(); }
    bool waitReadable(uint32_t ms) override { return inner_->waitReadable(ms); }
    void shutdown() override { inner_->shutdown(); }
    bool close() override { return inner_->close(); }

private:
    std::unique_ptr<Transport> inner_;
    CliSession::Silence& silence_;
};

// The link's channel, each receive marked as a wait for the watchdog.
class WatchedChannel final : public LinkChannel {
public:
    WatchedChannel(LinkSlot& link, Clock& clock, CliSession::Silence& silence) : inner_(link, clock), silence_(silence) {}
    size_t recv(uint8_t* buffer, size_t n) override
    {
        Wait w(silence_);
        return inner_.recv(buffer, n);
    }
    void send(const uint8_t* buffer, size_t n) override { inner_.send(buffer, n); }
    uint8_t readReply() override
    {
        Wait w(silence_);
        return inner_.readReply();
    }
    void sleepMs(uint32_t ms) override { inner_.sleepMs(ms); }
    void awaitReply(uint32_t ms) override { inner_.awaitReply(ms); }
    void discardPending() override
    {
        Wait w(silence_);
        inner_.discardPending();
    }

private:
    struct Wait {
        CliSession::Silence& s;
        explicit Wait(CliSession::Silence& silence) : s(silence)
        {
            s.waitStartMs = steadyMs();
            s.waiting.fetch_add(1);
        }
        ~Wait() { s.waiting.fetch_sub(1); }
    };
    SlotLinkChannel inner_;
    CliSession::Silence& silence_;
};

std::string handshakeReason(HandshakeStatus status, const LinkSlot& s)
{
    const int32_t depth = s.depth;
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
    case HandshakeStatus::DisplayTooLarge:
        return "the device is refused: " +
               DisplayBoundsProblem(s.depth, s.width, s.height, s.altDepth, s.altWidth, s.altHeight);
    case HandshakeStatus::PasswordRequired:
        return "the device requires a password (give it with --password)";
    case HandshakeStatus::PasswordCancelled:
        return "the password is incorrect";
    case HandshakeStatus::FrameBuffersFailed:
        return "the device's screen facts are unusable";
    case HandshakeStatus::NotAdmitted:
        return "the device was refused";
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

std::unique_ptr<ScreenState> CliSession::screenState()
{
    auto screen = std::make_unique<ScreenState>();
    if (!BuildConnectionBuffers(slot(), *screen))
        return nullptr;
    screen->refreshRate = options_.refresh;
    return screen;
}

std::string CliSession::outputPath(const std::string& path) const
{
    return label_.empty() ? path : LabelledFileName(path, label_);
}

bool CliSession::timedOut()
{
    std::lock_guard lock(mutex_);
    return fired_;
}

std::string CliSession::timeoutReason() const
{
    return "no answer from the device for" + withinBound().substr(7) + " (--timeout)";
}

std::string CliSession::lostReason()
{
    if (timedOut())
        return timeoutReason();
    if (!silence_.quiet.load())
        return "the device closed the link";
    char text[48];
    std::snprintf(text, sizeof text, "%.1f", double(steadyMs() - silence_.lastByteMs.load()) / 1000);
    return "no answer from the device for " + std::string(text) + " s";
}

void CliSession::startWatchdog()
{
    const auto bound = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::duration<double>(options_.timeoutS));
    watchdog_ = std::thread([this, bound] {
        pthread_setname_np(pthread_self(), "cli-watchdog");
        std::unique_lock lock(mutex_);
        // Connecting: one bound for all of it.
        const auto connectEnd = std::chrono::steady_clock::now() + bound;
        if (wake_.wait_until(lock, connectEnd, [this] { return stop_ || watchSilence_; })) {
            // The command: a wait that has seen no byte for the bound.
            while (!wake_.wait_for(lock, std::chrono::milliseconds(20), [this] { return stop_; })) {
                if (silence_.waiting.load() == 0)
                    continue;
                const int64_t since = std::max(silence_.waitStartMs.load(), silence_.lastByteMs.load());
                if (steadyMs() - since >= bound.count())
                    break;
            }
            if (stop_)
                return;
        }
        fired_ = true;
        cancel_.cancel();
        if (open_)
            ShutdownLinkTransport(*link_);
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
    // The device closes its link as it goes; a link that never became one is closed
    // here.
    if (program_.device(slot_))
        program_.closeDevice(slot_);
    else
        CloseLinkTransport(*link_);
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
    link_ = link.take();
    open_ = true;
    if (fired_)
        slot().transport->shutdown();
}

bool CliSession::connect(std::string& error)
{
    if (!connectAny(error))
        return false;
    std::lock_guard lock(mutex_);
    // A device that went quiet in the middle (a palette that never came) may still
    // have passed the handshake's steps: its facts are not to be trusted.
    if (fired_) {
        error = "the device stopped answering during the handshake: " + timeoutReason();
        return false;
    }
    if (!program_.openLinkDevice(slot_, *link_, error))
        return false;
    LinkSlot& s = slot();
    s.transport = std::make_unique<WatchedTransport>(std::move(s.transport), silence_);
    channel_ = std::make_unique<WatchedChannel>(*link_, clock_, silence_);
    silence_.lastByteMs = steadyMs(); // the handshake's bytes came just now
    watchSilence_ = true;
    wake_.notify_all();
    return true;
}

bool CliSession::connectAny(std::string& error)
{
    Dial d;
    if (options_.lan)
        return lanTarget(d, error) && dial(d, error);
    if (options_.proxyHost)
        return proxyTarget(d, error) && dial(d, error);
    if (options_.listenAddress)
        return connectInbound(error);
    return directTarget(d, error) && dial(d, error);
}

void CliSession::routeThroughGateway(Dial& d)
{
    if (!options_.ssh)
        return;
    std::string ignored; // checked with the options
    SshRoute route;
    route.gateway = ParseSshGateway(*options_.ssh, ignored).value_or(SshGateway{});
    route.gateway.keyFile = options_.sshKey;
    route.acceptNewHostKeys = options_.sshAcceptNew;
    if (!sshQuestions_)
        sshQuestions_ = TerminalQuestions::open();
    route.questions = sshQuestions_.get();
    config_.ssh.knownHostsFile = options_.sshKnownHosts;
    config_.ssh.timeoutMs = uint32_t(options_.sshTimeoutS * 1000.0);
    d.target.ssh = std::move(route);
}

std::string CliSession::gatewayFailure(const SshReport& report)
{
    if (report.failure == SshFailure::None || !options_.ssh)
        return {};
    if (report.failure == SshFailure::Cancelled && timedOut())
        return {}; // the --timeout bound, said as for any link
    if (report.failure == SshFailure::AuthRefused && report.nobodyAsked)
        return "authentication refused: no terminal to ask on" +
               (report.detail.empty() ? std::string() : " (" + report.detail + ")");
    std::string ignored;
    SshGateway gateway = ParseSshGateway(*options_.ssh, ignored).value_or(SshGateway{});
    return SshFailureText(gateway, report, options_.sshKnownHosts);
}

bool CliSession::directTarget(Dial& d, std::string& error)
{
    Profile& profile = d.target.profile;
    if (options_.host) {
        auto address = resolveIpv4(*options_.host);
        if (!address) {
            error = "cannot resolve the host " + *options_.host;
            return false;
        }
        profile.linkKind = uint32_t(LinkKind::Wan);
        profile.ipAddress = *address;
        config_.agentPort = options_.port;
        d.label = *options_.host + ":" + std::to_string(options_.port);
        routeThroughGateway(d);
    } else if (options_.serial) {
        // The path is given whole: a pattern without a port number names it.
        profile.linkKind = uint32_t(LinkKind::Serial);
        profile.port = 1;
        config_.comDevicePattern = *options_.serial;
        d.label = *options_.serial;
    } else {
        error = "no connection given (--host or --serial)";
        return false;
    }
    d.password = true;
    return true;
}

bool CliSession::lanTarget(Dial& d, std::string& error)
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
        if (auto found = discovery.tick(kLanReplyWaitMs, &cancel_)) {
            std::optional<size_t> index = devices.append(*found);
            if (index && (!options_.pick || *options_.pick == found->name))
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
    // LAN devices are asked for their password from the discovery's table, before the
    // link; the handshake never asks.
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
    d.target.profile.linkKind = uint32_t(LinkKind::Lan);
    d.target.profile.ipAddress = device.address;
    config_.agentPort = options_.port;
    d.label = device.name + " at " + dottedAddress(device.address) + ":" + std::to_string(options_.port);
    return true;
}

bool CliSession::proxyTarget(Dial& d, std::string& error)
{
    auto address = resolveIpv4(*options_.proxyHost);
    if (!address) {
        error = "cannot resolve the host " + *options_.proxyHost;
        return false;
    }
    Profile& profile = d.target.profile;
    profile.linkKind = uint32_t(LinkKind::Proxy);
    profile.ipAddress = *address;
    profile.port = options_.proxyPort;
    d.proxy = *options_.proxyHost + ":" + std::to_string(options_.proxyPort);
    if (!validProxyPort(profile.port)) {
        error = "the proxy server's port " + std::to_string(profile.port) + " is not a port number 1..65535";
        return false;
    }
    routeThroughGateway(d);
    SshReport gateway;
    const ProxyTable table = Dialer(clock_, config_, factory_).proxyTable(d.target, &cancel_, &gateway);
    if (table.status != ProxyTableStatus::Ok && !gatewayFailure(gateway).empty()) {
        error = "Unable to connect to the proxy server " + d.proxy + ": " + gatewayFailure(gateway);
        return false;
    }
    if (table.status != ProxyTableStatus::Ok) {
        error = "Unable to connect to the proxy server " + d.proxy + ": " +
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
        error = "the proxy server " + d.proxy + " has no device \"" + *options_.pick + "\" (it lists " +
                std::to_string(rows.size()) + ")";
        return false;
    }
    d.target.proxyRow = ProxyRowPick{table.records[row->index], row->index};
    d.label = row->name;
    d.connection = row->connection;
    return true;
}

bool CliSession::dial(const Dial& d, std::string& error)
{
    std::optional<GivenPasswordPrompt> prompt;
    if (d.password && options_.password)
        prompt.emplace(*options_.password);
    const DialOutcome outcome =
        Dialer(clock_, config_, factory_).dial(d.target, &cancel_, prompt ? &*prompt : nullptr);
    if (!outcome.passed() && !gatewayFailure(outcome.ssh).empty()) {
        error = (d.proxy.empty() ? "cannot connect to " + d.label : "Unable to connect to the proxy server " + d.proxy) +
                ": " + gatewayFailure(outcome.ssh);
        return false;
    }
    const std::string bound = withinBound();
    const std::string& row = d.label;
    switch (outcome.status) {
    case DialStatus::Passed:
        adopt(*outcome.link);
        return true;
    case DialStatus::NotOpened:
        if (outcome.openError != 0 || !timedOut()) {
            const char* why = std::strerror(outcome.openError);
            error = d.target.profile.linkKind == uint32_t(LinkKind::Serial)
                        ? "cannot open the serial line " + d.label + ": " + why
                        : "cannot create a socket: " + std::string(why);
            return false;
        }
        break;
    case DialStatus::ProxyRefused:
        if (timedOut())
            error = "the proxy server " + d.proxy + " did not answer the request to open " + row + bound;
        else if (!outcome.proxy.answered)
            error = "the proxy server " + d.proxy +
                    (outcome.proxy.peerClosed ? " closed the link instead of opening " + row
                                              : " did not answer the request to open " + row + " (gave up after 20 s)");
        else
            error = "The connection attempt failed; the device may be in use (" + row + ": " + d.connection + ")";
        return false;
    case DialStatus::HandshakeFailed:
        if (timedOut())
            break;
        error = handshakeReason(outcome.handshake, outcome.link->slot()) +
                (d.proxy.empty() ? "" : " (through the proxy server)");
        return false;
    case DialStatus::NotConnected:
        if (timedOut() || !d.proxy.empty())
            break;
        error = "cannot connect to " + d.label + " (refused, or no answer within 1.5 s)";
        return false;
    default:
        break;
    }
    // The proxy could not be reached, or the device went quiet within the bound.
    if (!d.proxy.empty() && outcome.status != DialStatus::HandshakeFailed)
        error = "Unable to connect to the proxy server " + d.proxy;
    else
        error = "no answer from " + d.label + bound;
    return false;
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
    // Whoever connects gets a handshake of its own, so a port scan or a slow peer does
    // not keep the device that connects next waiting; the first that passes is taken.
    InboundPolicy policy;
    policy.allowEveryone = true; // the user asked for whatever connects here
    policy.handshakeTime = std::min<std::chrono::milliseconds>(
        std::chrono::seconds(10),
        std::chrono::milliseconds(std::max<int64_t>(1, int64_t(options_.timeoutS * 1000))));
    InboundHandshakes handshakes(clock_, listener, policy);
    int rejected = 0;
    for (;;) {
        handshakes.acceptAll();
        for (InboundResult& r : handshakes.takeEnded()) {
            if (r.end == InboundEnd::Passed) {
                adopt(*r.link);
                return true;
            }
            ++rejected;
            std::fprintf(stderr, "sorvane-cli: rejected %s\n", EscapeDeviceText(inboundEndText(r)).c_str());
        }
        while (std::optional<InboundQuestion> q = handshakes.nextQuestion()) {
            int answer = 2;
            if (q->kind == InboundQuestion::Kind::Password && options_.password)
                answer = GivenPasswordPrompt(*options_.password).askPassword(*q->passwords, 0);
            handshakes.answer(q->id, answer);
        }
        if (cancel_.waitFor(20)) {
            const std::string port = std::to_string(listener.listeningPort());
            error = rejected == 0 && handshakes.inFlight() == 0
                        ? "no device connected to port " + port + withinBound()
                        : "no device passed the handshake on port " + port + withinBound() + " (" +
                              std::to_string(rejected) + " rejected, " + std::to_string(handshakes.inFlight()) +
                              " still in their handshakes)";
            return false;
        }
    }
}

} // namespace sorvane::cli
