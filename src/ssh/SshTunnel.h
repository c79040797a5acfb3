#pragma once
// Links through an SSH gateway: a TransportFactory whose TCP sockets are direct-tcpip
// channels of an SSH session with the gateway (libssh). The link above sees a socket
// like any other (Transport.h): non-blocking receives, PeerClosed when the channel or
// the session ends, shutdown() from any thread.
//
// Each socket has a session of its own. connect() only records the target and reports
// InProgress; waitConnected() does the work, on the caller's thread: the TCP
// connection to the gateway, the SSH handshake, the host key check against the
// known-hosts file, the authentication (the agent, then the key file or the usual
// keys, then the password by keyboard-interactive or password) and the channel to the
// target. It is bound by SshSettings::timeoutMs, whatever bound the caller gives
// (the plain connect wait is too short for SSH across the Internet), less the time
// the user takes to answer. shutdown() from another thread stops it within
// milliseconds. Once connected, a pump thread moves the bytes between the channel and
// a local socket pair whose other end the link reads and writes.
//
// Asking: an unknown host key goes to SshQuestions::unknownHostKey; a key-file
// passphrase or the account's password to askSecret. With no questions given
// (reconnections, a command line without a terminal) nothing is asked: an unknown key
// fails (unless acceptNewHostKeys), and only the credentials already held are tried.
// A changed host key always fails. What the user typed and what worked is kept in
// credentials(), in memory only, for the reconnections of the same connection.

#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/Transport.h"
#include "ssh/SshGateway.h"

namespace sorvane {

// What the user gave for one connection through a gateway, kept for its reconnections.
struct SshCredentials {
    std::optional<std::string> passphrase; // the key file's, once it opened the key
    std::optional<std::string> password;   // the account's, once the gateway took it
    std::string acceptedOnce;              // a host key fingerprint the user let through once
};

class SshTransportFactory final : public TransportFactory {
public:
    // questions: borrowed, may be null (nothing is asked).
    SshTransportFactory(SshGateway gateway, SshSettings settings, SshQuestions* questions,
                        SshCredentials credentials = {});
    ~SshTransportFactory() override;

    // A channel through the gateway; connect(target) names where the gateway opens it to.
    // nullptr once a channel failed for a reason other than the gateway refusing it.
    std::unique_ptr<SocketTransport> openTcp() override;
    // No IrDA and no serial lines through a gateway.
    std::unique_ptr<SocketTransport> openIrda() override { return nullptr; }
    std::unique_ptr<Transport> openSerial(const std::string&, SerialSetup) override { return nullptr; }

    // Unknown host keys are added to the known-hosts file without asking (the command
    // line's --ssh-accept-new). A changed key still fails.
    void acceptNewHostKeys(bool on);

    // Why the last channel that failed failed (None: none failed yet).
    SshReport report() const;
    // What the user gave that worked, for reconnections.
    SshCredentials credentials() const;

    const SshGateway& gateway() const { return gateway_; }
    const SshSettings& settings() const { return settings_; }

    // Shared with the channels this factory made, which may outlive a call.
    struct State;

private:
    SshGateway gateway_;
    SshSettings settings_;
    std::shared_ptr<State> state_;
};

} // namespace sorvane
