#include "connect/RememberedDial.h"

#include <chrono>
#include <cstring>

#include "connect/ConnectMessages.h"
#include "link/DisplayBounds.h"
#include "platform/Utf8Text.h"
#include "settings/Settings.h"

namespace sorvane {

namespace {

RememberedResult failed(std::string reason)
{
    RememberedResult r;
    r.status = RememberedStatus::Failed;
    r.reason = std::move(reason);
    return r;
}

RememberedResult notThere()
{
    RememberedResult r;
    r.status = RememberedStatus::NotThere;
    return r;
}

// A dial's outcome as the result of an attempt.
RememberedResult fromDial(const Dialer& dialer, DialOutcome outcome, const DialTarget& target)
{
    RememberedResult r;
    r.target = target;
    if (outcome.passed()) {
        r.status = RememberedStatus::Passed;
        r.link = std::move(outcome.link);
        return r;
    }
    r.reason = DialFailureReason(outcome, target, dialer.config().ssh.knownHostsFile);
    return r;
}

// The device named `name` among those answering discovery, or nullopt when a few
// requests in a row bring no new device (or the search is cancelled).
std::optional<LanDevice> searchLan(LanDiscovery& discovery, const std::string& name, const LanSearchTiming& timing,
                                   CancelToken& cancel)
{
    int quiet = 0;
    while (quiet < timing.quietTicks && !cancel.cancelled()) {
        std::optional<LanDevice> d = discovery.tick(timing.replyWaitMs, &cancel);
        if (!d)
            ++quiet;
        else if (d->name == name)
            return d;
    }
    return std::nullopt;
}

RememberedResult dialLan(const Dialer& dialer, const RememberedRequest& request, CancelToken& cancel,
                         PasswordPrompt* prompt)
{
    if (request.remembered.empty())
        return notThere();
    uint32_t broadcast = 0;
    if (!parseIpv4(request.lanBroadcast, broadcast))
        return failed("the LAN broadcast address \"" + EscapeText(request.lanBroadcast) +
                      "\" is not an IPv4 address");
    LanDiscovery discovery;
    std::string error;
    if (!discovery.open(broadcast, request.lanPort, error))
        return failed(error);
    const std::optional<LanDevice> found = searchLan(discovery, request.remembered, request.lanTiming, cancel);
    discovery.close();
    if (cancel.cancelled())
        return failed("cancelled");
    if (!found)
        return notThere();

    // The device's password came with its reply; the user is asked for it here, as the
    // LAN dialog asks, since LAN handshakes never ask.
    PasswordTable table;
    DiscoveredDevices devices(table);
    const std::optional<size_t> record = devices.append(*found);
    if (record && devices.hasPassword(*record) &&
        (!prompt || prompt->askPassword(table, *record, [&cancel] { return cancel.cancelled(); }) != 1))
        return failed("the password was not given");

    DialTarget target(request.profile);
    target.profile.ipAddress = found->address; // the profile remembers the address too
    RememberedResult r = fromDial(dialer, dialer.dial(target, &cancel, nullptr), target);
    r.device = found->name;
    return r;
}

bool deviceAbsent(const DialOutcome& outcome)
{
    if (outcome.status == DialStatus::NotOpened || outcome.status == DialStatus::NotConnected)
        return true;
    return outcome.status == DialStatus::HandshakeFailed &&
           (outcome.handshake == HandshakeStatus::NoLink || outcome.handshake == HandshakeStatus::HelloRefused ||
            outcome.handshake == HandshakeStatus::InfoShort);
}

std::string handshakeReason(HandshakeStatus status, const LinkSlot& s)
{
    switch (status) {
    case HandshakeStatus::Passed: return "";
    case HandshakeStatus::NoLink: return "no link is open";
    case HandshakeStatus::HelloRefused: return "the device did not answer the hello";
    case HandshakeStatus::InfoShort: return "the device sent no complete device information";
    case HandshakeStatus::UnsupportedDepth:
        return "the device's colour depth " + std::to_string(s.depth) + " is not supported";
    case HandshakeStatus::DisplayTooLarge:
        return "the device is refused: " +
               DisplayBoundsProblem(s.depth, s.width, s.height, s.altDepth, s.altWidth, s.altHeight);
    case HandshakeStatus::PasswordRequired: return "the device asks for a password";
    case HandshakeStatus::PasswordCancelled: return "the password was not given";
    case HandshakeStatus::FrameBuffersFailed: return "the device's screen facts are unusable";
    case HandshakeStatus::NotAdmitted: return "the device was refused";
    }
    return "the handshake failed";
}

} // namespace

std::string DialFailureReason(const DialOutcome& outcome, const DialTarget& target, const std::string& knownHostsFile)
{
    using namespace connect_text;
    if (outcome.status != DialStatus::Passed && outcome.ssh.failure != SshFailure::None && target.ssh)
        return SshFailureText(target.ssh->gateway, outcome.ssh, knownHostsFile);
    const Profile& profile = target.profile;
    const auto kind = LinkKind(profile.linkKind);
    switch (outcome.status) {
    case DialStatus::Passed: return "";
    case DialStatus::NotOpened:
        if (outcome.openError != 0)
            return std::string("the link could not be opened: ") + std::strerror(outcome.openError);
        return "the link could not be opened";
    case DialStatus::NotConnected:
        if (kind == LinkKind::Proxy)
            return kProxyUnreachable;
        if (kind == LinkKind::Wan || kind == LinkKind::Lan)
            return "no answer from " + dottedAddress(profile.ipAddress) + " (refused, or no answer within 1.5 s)";
        return "the device did not answer";
    case DialStatus::HandshakeFailed:
        return outcome.link ? handshakeReason(outcome.handshake, outcome.link->slot()) : "the handshake failed";
    case DialStatus::ProxyBadPort: return kProxyBadPort;
    case DialStatus::ProxyNoTable: return kProxyUnreachable;
    case DialStatus::ProxyNotListed: return "the proxy server does not list the device";
    case DialStatus::ProxyRefused: return kProxyRefused;
    }
    return "the connection could not be made";
}

RememberedResult DialRemembered(const Dialer& dialer, const RememberedRequest& request, CancelToken& cancel,
                                PasswordPrompt* prompt)
{
    const Profile& profile = request.profile;
    switch (LinkKind(profile.linkKind)) {
    case LinkKind::Lan: return dialLan(dialer, request, cancel, prompt);
    case LinkKind::Usb: {
        if (profile.port < uint32_t(kFirstUsbPort) || profile.port > uint32_t(kLastUsbPort))
            return notThere();
        const DialTarget target(profile);
        DialOutcome outcome = dialer.dial(target, &cancel, nullptr);
        if (!outcome.passed() && deviceAbsent(outcome) && !cancel.cancelled())
            return notThere();
        return fromDial(dialer, std::move(outcome), target);
    }
    case LinkKind::Proxy: {
        if (request.remembered.empty())
            return notThere();
        DialTarget target(profile);
        target.proxyDevice = request.remembered;
        target.ssh = request.ssh;
        DialOutcome outcome = dialer.dial(target, &cancel, nullptr);
        if (outcome.status == DialStatus::ProxyNotListed)
            return notThere();
        RememberedResult r = fromDial(dialer, std::move(outcome), target);
        r.device = request.remembered;
        return r;
    }
    case LinkKind::IrDA:
    case LinkKind::Serial:
    case LinkKind::ActiveSync:
    case LinkKind::Wan: {
        DialTarget target(profile);
        target.activeSyncNext = request.activeSyncNext;
        if (LinkKind(profile.linkKind) == LinkKind::Wan)
            target.ssh = request.ssh;
        return fromDial(dialer, dialer.dial(target, &cancel, prompt), target);
    }
    }
    return failed("the profile's link kind " + std::to_string(profile.linkKind) + " is unknown");
}

int TurnTakingPrompt::askPassword(const PasswordTable& table, size_t record)
{
    return ask(table, record, {}, {});
}

int TurnTakingPrompt::askPassword(const PasswordTable& table, size_t record, const std::function<bool()>& cancelled)
{
    return ask(table, record, cancelled, {});
}

int TurnTakingPrompt::ask(const PasswordTable& table, size_t record, const std::function<bool()>& cancelled,
                          const std::function<void()>& onTurn)
{
    int answer = 2;
    inTurn(cancelled, onTurn, [&] {
        answer = cancelled ? inner_.askPassword(table, record, cancelled) : inner_.askPassword(table, record);
    });
    return answer;
}

bool TurnTakingPrompt::inTurn(const std::function<bool()>& cancelled, const std::function<void()>& onTurn,
                              const std::function<void()>& question)
{
    std::unique_lock turn(turn_, std::defer_lock);
    while (!turn.try_lock_for(std::chrono::milliseconds(20)))
        if (cancelled && cancelled())
            return false;
    if (cancelled && cancelled())
        return false;
    if (onTurn)
        onTurn();
    question();
    return true;
}

} // namespace sorvane
