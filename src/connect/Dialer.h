#pragma once
// The one way the program dials a device, for every link kind: the connect dialogs,
// sorvane-cli and the reconnection of a dropped link all come here.
//
//   WAN, LAN, IrDA   a socket connected to the profile's address (LAN: the address
//                    discovery found) on the agent's port, then the handshake
//   ActiveSync       the same, to the candidate address whose turn it is
//   serial, USB      the serial line of the profile's port (USB: 1..32), then the
//                    handshake
//   proxy            a socket to the proxy server, the open request for one row of
//                    its table (given, or found by the device's name), then the
//                    handshake on the same socket
//
// A WAN or proxy target with an SSH route makes each of its sockets a channel through
// the gateway (SshTunnel.h) instead: the same exchanges, nothing sent in clear
// between here and the gateway. The route's redial goes through the gateway again.
//
// What comes before a dial (LAN discovery, USB probing, asking the proxy for its
// table, asking a LAN device's password) is the caller's; the handshake's password
// question goes to the prompt given. A dialled WAN, LAN or proxy link gets a Redialer
// on its way in: when it drops, the connection dials it again through the same code.
//
// Threads: dial() blocks (connect waits, the handshake's receives) and runs on an
// attempt's worker thread, the command line's thread or a connection thread; cancel
// through the token given. A Dialer holds no state of an attempt: one may dial from
// several threads at once.

#include <memory>
#include <optional>
#include <string>

#include "connect/CancelToken.h"
#include "connect/PendingLink.h"
#include "connect/ProxyClient.h"
#include "link/Handshake.h"
#include "link/LinkConfig.h"
#include "link/LinkRecord.h"
#include "platform/Clock.h"
#include "platform/Transport.h"
#include "settings/Profile.h"
#include "ssh/SshTunnel.h"
#include "view/Relink.h"

namespace sorvane {

// The USB serial channels a USB link may use.
inline constexpr int kFirstUsbPort = 1;
inline constexpr int kLastUsbPort = 32;

// The row of a proxy server's table to open.
struct ProxyRowPick {
    LinkRecord record;  // as the table gave it (its screen facts go into the link)
    uint32_t index = 0; // its index in the table
};

// The SSH gateway a WAN or proxy link goes through.
struct SshRoute {
    SshGateway gateway;
    // Asked about unknown host keys and secrets; borrowed, may be null (nothing asked).
    SshQuestions* questions = nullptr;
    // Unknown host keys are recorded without asking (sorvane-cli --ssh-accept-new).
    bool acceptNewHostKeys = false;
    // What the user gave on an earlier dial of the same connection (a redial's).
    SshCredentials credentials;
};

// What to dial.
struct DialTarget {
    DialTarget() = default;
    explicit DialTarget(const Profile& p, std::optional<ProxyRowPick> row = std::nullopt)
        : profile(p), proxyRow(std::move(row))
    {
    }

    // Link kind, address and port (proxy: the proxy server's address and port).
    Profile profile;
    // Proxy: the row to open; unset: the table is fetched and the row listing
    // `proxyDevice` is opened.
    std::optional<ProxyRowPick> proxyRow;
    std::string proxyDevice;
    // ActiveSync: the index of the candidate address whose turn it is.
    unsigned activeSyncNext = 0;
    // WAN, proxy: through this SSH gateway (other link kinds ignore it).
    std::optional<SshRoute> ssh;
};

enum class DialStatus {
    Passed,          // the handshake passed: the link is ready to install
    NotOpened,       // no transport could be opened (openError), or cancelled before
    NotConnected,    // the socket did not connect (refused, no answer in time)
    HandshakeFailed, // `handshake` says why
    ProxyBadPort,    // the proxy's port is not 1..65535
    ProxyNoTable,    // the proxy did not give its table (`table` says why)
    ProxyNotListed,  // the table lists no row for `proxyDevice`
    ProxyRefused,    // the proxy did not grant the open request (`proxy` says more)
};

struct DialOutcome {
    DialStatus status = DialStatus::NotOpened;
    HandshakeStatus handshake = HandshakeStatus::NoLink;
    ProxyTableStatus table = ProxyTableStatus::Ok;
    ProxyOpenDetail proxy;
    int openError = 0; // errno of a transport that could not be opened
    // Through an SSH gateway: why a channel failed (failure None when none did).
    SshReport ssh;
    // The link dialled: holds the transport when passed, else closed; its slot keeps
    // the device facts the handshake got as far as (for the reason of a refusal).
    std::shared_ptr<PendingLink> link;
    bool passed() const { return status == DialStatus::Passed; }
};

class Dialer {
public:
    // clock: the program's clock (the link's pauses); config: the link settings.
    Dialer(Clock& clock, LinkConfig config, TransportFactory& factory);

    // Dials target on a new PendingLink whose transports `cancel` (may be null) shuts.
    // prompt: asked when the device wants a password; null answers "none".
    DialOutcome dial(const DialTarget& target, CancelToken* cancel, PasswordPrompt* prompt) const;

    // The proxy server's device table (a proxy dial's first step when the user picks
    // the row), through target's SSH route when it has one: why that failed goes to
    // *ssh, what the user gave to target.ssh->credentials for the dial that follows.
    ProxyTable proxyTable(DialTarget& target, CancelToken* cancel, SshReport* ssh = nullptr) const;
    ProxyTable proxyTable(const Profile& proxy, CancelToken* cancel) const;

    // How to dial `link`, which passed its handshake dialled from target, again should
    // it drop: the same address (a proxy: the row of the same device), the same device
    // and the password it asked for then. nullptr for link kinds that are not dialled
    // again (serial, USB, IrDA, ActiveSync).
    std::shared_ptr<Relinker> relinker(const DialTarget& target, PendingLink& link) const;

    Clock& clock() const { return clock_; }
    const LinkConfig& config() const { return config_; }

private:
    DialOutcome dialThrough(TransportFactory& factory, const DialTarget& target, CancelToken* cancel,
                            PasswordPrompt* prompt) const;

    Clock& clock_;
    LinkConfig config_;
    TransportFactory& factory_;
};

// Dialling a dropped link again the way it was first made: a WAN or LAN link
// connects to the same address, a proxy link asks the proxy for its table again and
// opens the row of the same device. A device that asks for a password is answered
// with the password it asked for then (the user typed it once already); one that asks
// for another password, or a different device answering, fails the attempt.
//
// Threads: attempt() on the connection thread of the link; cancel() from any thread.
class Redialer final : public Relinker {
public:
    // profile: the profile as the link was dialled (for a proxy link, the proxy's
    // address); deviceName and password: what the first handshake found.
    Redialer(Clock& clock, LinkConfig config, TransportFactory& factory, const Profile& profile,
             std::string deviceName, std::string password, std::optional<SshRoute> ssh = std::nullopt);

    std::optional<RelinkedLink> attempt(std::string& error) override;
    void cancel() override { cancel_.cancel(); }

private:
    Dialer dialer_;
    Profile profile_;
    std::string deviceName_;
    std::string password_;
    std::optional<SshRoute> ssh_; // asks nothing: questions null
    CancelToken cancel_;
};

} // namespace sorvane
