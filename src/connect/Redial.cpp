#include "connect/Redial.h"

#include "connect/PendingLink.h"
#include "connect/ProxyClient.h"

namespace sorvane {
namespace {

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

} // namespace

Redialer::Redialer(Clock& clock, LinkConfig config, TransportFactory& factory, const Profile& profile,
                   std::string deviceName, std::string password)
    : clock_(clock)
    , config_(std::move(config))
    , factory_(factory)
    , profile_(profile)
    , deviceName_(std::move(deviceName))
    , password_(std::move(password))
{
}

bool Redialer::dial(PendingLink& link, std::string& error)
{
    if (LinkKind(profile_.linkKind) == LinkKind::Proxy) {
        const ProxyTable table = FetchProxyTable(clock_, profile_, factory_, &cancel_);
        if (table.status != ProxyTableStatus::Ok) {
            error = "the proxy did not answer with its table";
            return false;
        }
        for (uint32_t i = 0; i < table.records.size(); ++i) {
            const LinkRecord& r = table.records[i];
            if (r.handle == 0 || r.deviceNameView() != deviceName_)
                continue;
            if (OpenProxyDevice(link, profile_, r, i, factory_) == ProxyOpenStatus::Passed)
                return true;
            error = "the proxy did not open the device";
            return false;
        }
        error = "the proxy does not list the device";
        return false;
    }
    if (!link.open(config_, profile_, factory_)) {
        error = "the link could not be opened";
        return false;
    }
    RememberedPassword prompt(password_);
    const ConnectOutcome outcome = link.connect(&prompt);
    if (!outcome.passed()) {
        error = prompt.asked && outcome.handshake == HandshakeStatus::PasswordCancelled
                    ? "the device asks for another password"
                    : "the device did not answer";
        return false;
    }
    return true;
}

std::optional<RelinkedLink> Redialer::attempt(std::string& error)
{
    if (cancel_.cancelled()) {
        error = "cancelled";
        return std::nullopt;
    }
    PendingLink link(clock_, &cancel_);
    if (!dial(link, error))
        return std::nullopt;
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

std::shared_ptr<Relinker> MakeRedialer(Clock& clock, const LinkConfig& config, TransportFactory& factory,
                                       const Profile& profile, PendingLink& link)
{
    const LinkSlot& s = link.slot();
    Profile dialled = profile;
    switch (LinkKind(s.linkKind)) {
    case LinkKind::Wan:
    case LinkKind::Lan:
        dialled.linkKind = s.linkKind;
        dialled.ipAddress = s.ipAddress;
        dialled.port = s.port;
        break;
    case LinkKind::Proxy:
        break; // the proxy's own address, from the profile
    default: return nullptr;
    }
    return std::make_shared<Redialer>(clock, config, factory, dialled, s.deviceName,
                                      std::string(link.passwords().password(0)));
}

} // namespace sorvane
