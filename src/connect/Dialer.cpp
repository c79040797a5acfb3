#include "connect/Dialer.h"

#include <cerrno>

namespace sorvane {
namespace {

DialStatus fromProxyOpen(ProxyOpenStatus status)
{
    switch (status) {
    case ProxyOpenStatus::Passed: return DialStatus::Passed;
    case ProxyOpenStatus::BadPort: return DialStatus::ProxyBadPort;
    case ProxyOpenStatus::Unreachable: return DialStatus::NotConnected;
    case ProxyOpenStatus::Refused: return DialStatus::ProxyRefused;
    case ProxyOpenStatus::HandshakeFailed: return DialStatus::HandshakeFailed;
    }
    return DialStatus::NotConnected;
}

// Answers the password question with the password the user gave on the first connect.
class RememberedPassword final : public PasswordPrompt {
public:
    explicit RememberedPassword(const std::string& password) : password_(password) {}
    int askPassword(const PasswordTable& table, size_t record) override
    {
        asked = true;
        return passwordMatches(password_, table.password(record)) ? 1 : 2;
    }
    bool asked = false;

private:
    const std::string& password_;
};

bool throughGateway(const DialTarget& target)
{
    const auto kind = LinkKind(target.profile.linkKind);
    return target.ssh && (kind == LinkKind::Wan || kind == LinkKind::Proxy);
}

} // namespace

Dialer::Dialer(Clock& clock, LinkConfig config, TransportFactory& factory)
    : clock_(clock), config_(std::move(config)), factory_(factory)
{
}

ProxyTable Dialer::proxyTable(const Profile& proxy, CancelToken* cancel) const
{
    return FetchProxyTable(clock_, proxy, factory_, cancel);
}

ProxyTable Dialer::proxyTable(DialTarget& target, CancelToken* cancel, SshReport* ssh) const
{
    if (!throughGateway(target))
        return proxyTable(target.profile, cancel);
    SshTransportFactory gateway(target.ssh->gateway, config_.ssh, target.ssh->questions, target.ssh->credentials);
    gateway.acceptNewHostKeys(target.ssh->acceptNewHostKeys);
    ProxyTable table = FetchProxyTable(clock_, target.profile, gateway, cancel);
    if (ssh)
        *ssh = gateway.report();
    target.ssh->credentials = gateway.credentials();
    return table;
}

DialOutcome Dialer::dial(const DialTarget& target, CancelToken* cancel, PasswordPrompt* prompt) const
{
    if (!throughGateway(target))
        return dialThrough(factory_, target, cancel, prompt);
    SshTransportFactory gateway(target.ssh->gateway, config_.ssh, target.ssh->questions, target.ssh->credentials);
    gateway.acceptNewHostKeys(target.ssh->acceptNewHostKeys);
    DialOutcome out = dialThrough(gateway, target, cancel, prompt);
    out.ssh = gateway.report();
    out.link->sshCredentials() = gateway.credentials();
    return out;
}

DialOutcome Dialer::dialThrough(TransportFactory& factory, const DialTarget& target, CancelToken* cancel,
                                PasswordPrompt* prompt) const
{
    DialOutcome out;
    out.link = std::make_shared<PendingLink>(clock_, cancel);
    PendingLink& link = *out.link;
    const Profile& profile = target.profile;
    const auto kind = LinkKind(profile.linkKind);
    link.describe(profile);

    if (kind == LinkKind::Proxy) {
        if (!validProxyPort(profile.port)) {
            out.status = DialStatus::ProxyBadPort;
            return out;
        }
        std::optional<ProxyRowPick> row = target.proxyRow;
        if (!row) {
            const ProxyTable table = FetchProxyTable(clock_, profile, factory, cancel);
            out.table = table.status;
            if (table.status != ProxyTableStatus::Ok) {
                out.status = DialStatus::ProxyNoTable;
                return out;
            }
            for (uint32_t i = 0; i < table.records.size() && !row; ++i) {
                const LinkRecord& r = table.records[i];
                if (r.handle != 0 && r.deviceNameView() == target.proxyDevice)
                    row = ProxyRowPick{r, i};
            }
            if (!row) {
                out.status = DialStatus::ProxyNotListed;
                return out;
            }
        }
        // Proxy links never ask for a password.
        out.status = fromProxyOpen(OpenProxyDevice(link, profile, row->record, row->index, factory, &out.proxy));
        out.handshake = out.proxy.handshake;
        return out;
    }

    if (kind == LinkKind::Usb && (profile.port < uint32_t(kFirstUsbPort) || profile.port > uint32_t(kLastUsbPort)))
        return out;
    link.target().activeSyncNext = target.activeSyncNext;
    errno = 0;
    if (!link.open(config_, profile, factory)) {
        out.openError = errno;
        return out;
    }
    if (kind == LinkKind::Serial || kind == LinkKind::Usb) {
        out.handshake = link.handshake(prompt);
        out.status = out.handshake == HandshakeStatus::Passed ? DialStatus::Passed : DialStatus::HandshakeFailed;
    } else {
        const ConnectOutcome c = link.connect(prompt);
        out.handshake = c.handshake;
        out.status = c.passed()                                     ? DialStatus::Passed
                     : c.status == LinkConnectStatus::NotConnected ? DialStatus::NotConnected
                                                                   : DialStatus::HandshakeFailed;
    }
    if (!out.passed())
        link.close();
    return out;
}

std::shared_ptr<Relinker> Dialer::relinker(const DialTarget& target, PendingLink& link) const
{
    switch (LinkKind(target.profile.linkKind)) {
    case LinkKind::Wan:
    case LinkKind::Lan:
    case LinkKind::Proxy: {
        // A redial asks nothing: it tries what the user gave the first time.
        std::optional<SshRoute> ssh;
        if (throughGateway(target))
            ssh = SshRoute{target.ssh->gateway, nullptr, false, link.sshCredentials()};
        return std::make_shared<Redialer>(clock_, config_, factory_, target.profile, link.slot().deviceName,
                                          std::string(link.passwords().password(0)), std::move(ssh));
    }
    default: return nullptr;
    }
}

Redialer::Redialer(Clock& clock, LinkConfig config, TransportFactory& factory, const Profile& profile,
                   std::string deviceName, std::string password, std::optional<SshRoute> ssh)
    : dialer_(clock, std::move(config), factory)
    , profile_(profile)
    , deviceName_(std::move(deviceName))
    , password_(std::move(password))
    , ssh_(std::move(ssh))
{
}

std::optional<RelinkedLink> Redialer::attempt(std::string& error)
{
    if (cancel_.cancelled()) {
        error = "cancelled";
        return std::nullopt;
    }
    DialTarget target(profile_);
    target.proxyDevice = deviceName_;
    target.ssh = ssh_;
    RememberedPassword prompt(password_);
    const DialOutcome dialled = dialer_.dial(target, &cancel_, &prompt);
    if (!dialled.passed()) {
        if (dialled.ssh.failure != SshFailure::None)
            error = SshFailureText(ssh_->gateway, dialled.ssh, dialer_.config().ssh.knownHostsFile);
        else if (LinkKind(profile_.linkKind) == LinkKind::Proxy)
            error = dialled.status == DialStatus::ProxyNoTable || dialled.status == DialStatus::ProxyBadPort
                        ? "the proxy did not answer with its table"
                    : dialled.status == DialStatus::ProxyNotListed ? "the proxy does not list the device"
                                                                   : "the proxy did not open the device";
        else if (dialled.status == DialStatus::NotOpened)
            error = "the link could not be opened";
        else
            error = prompt.asked && dialled.handshake == HandshakeStatus::PasswordCancelled
                        ? "the device asks for another password"
                        : "the device did not answer";
        return std::nullopt;
    }
    PendingLink& link = *dialled.link;
    if (link.slot().deviceName != deviceName_) {
        error = "another device answered";
        return std::nullopt;
    }
    RelinkedLink fresh;
    fresh.record = link.slot().record();
    fresh.palette = link.slot().palette;
    fresh.transport = link.release();
    if (!fresh.transport) {
        error = "the link was lost";
        return std::nullopt;
    }
    return fresh;
}

} // namespace sorvane
