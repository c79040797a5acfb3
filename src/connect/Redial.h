#pragma once
// Dialling a dropped link again the way the program first made it: a WAN or LAN
// link connects to the same address and port, a proxy link asks the proxy for its
// table again and opens the row of the same device. The handshake runs as on the
// first connect; a device that asks for a password is answered with the password it
// asked for then (the user typed it once already), and one that asks for another
// password, or a different device answering, fails the attempt.
//
// Threads: attempt() on the connection thread of the link; cancel() from any thread.

#include <memory>
#include <string>

#include "connect/CancelToken.h"
#include "link/LinkConfig.h"
#include "platform/Clock.h"
#include "platform/Transport.h"
#include "settings/Profile.h"
#include "view/Relink.h"

namespace sorvane {

class PendingLink;

class Redialer final : public Relinker {
public:
    // profile: the profile as the link was dialled (for a proxy link, the proxy's
    // address); deviceName and password: what the first handshake found.
    Redialer(Clock& clock, LinkConfig config, TransportFactory& factory, const Profile& profile,
             std::string deviceName, std::string password);

    std::optional<RelinkedLink> attempt(std::string& error) override;
    void cancel() override { cancel_.cancel(); }

private:
    bool dial(PendingLink& link, std::string& error);

    Clock& clock_;
    LinkConfig config_;
    TransportFactory& factory_;
    Profile profile_;
    std::string deviceName_;
    std::string password_;
    CancelToken cancel_;
};

// The redialer of a link that passed its handshake on `link`, dialled from `profile`
// (for LAN links, the address found by discovery is the one the link holds); nullptr
// for link kinds that are not dialled again (serial, USB, IrDA, ActiveSync).
std::shared_ptr<Relinker> MakeRedialer(Clock& clock, const LinkConfig& config, TransportFactory& factory,
                                       const Profile& profile, PendingLink& link);

} // namespace sorvane
