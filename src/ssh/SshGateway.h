#pragma once
// An SSH server that WAN and proxy links of a profile go through: the link's TCP
// connection becomes a direct-tcpip channel the gateway opens to the device (or the
// proxy) on the program's behalf, so nothing of the link crosses the network in clear
// between the program and the gateway.
//
// Plain values; no libssh here (SshTunnel.h makes the channels).

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sorvane {

inline constexpr uint16_t kDefaultSshPort = 22;

struct SshGateway {
    std::string user;    // the account on the gateway; never empty in a parsed gateway
    std::string host;    // a name or an address, as the user wrote it
    uint16_t port = kDefaultSshPort;
    std::string keyFile; // a private key to offer after the agent's; empty: none

    // "user@host" or, when the port is not 22, "user@host:port" ("[::1]:2222" style
    // brackets around an IPv6 address).
    std::string text() const;
    bool operator==(const SshGateway&) const = default;
};

// Reads "user@host[:port]" (blanks around it allowed). nullopt with a reason for the
// user when the user or host is missing, the text holds a blank or a control character,
// or the port is not 1..65535. keyFile stays empty.
std::optional<SshGateway> ParseSshGateway(std::string_view text, std::string& error);

// How the program talks to gateways, from the platform settings (or the command line).
struct SshSettings {
    // The known-hosts file host keys are checked against and trusted keys are added to
    // (OpenSSH's format). Empty: ~/.ssh/known_hosts.
    std::string knownHostsFile;
    // The bound on reaching the gateway, its SSH handshake, the authentication (time
    // spent waiting for the user's answers not counted) and opening the channel.
    uint32_t timeoutMs = 20000;
    // Keys offered after the agent when the gateway names no key file of its own. Unset:
    // OpenSSH's usual ones under ~/.ssh (id_ed25519, id_ecdsa, id_rsa) that exist.
    std::optional<std::vector<std::string>> defaultKeyFiles;
    // The agent's socket. Unset: $SSH_AUTH_SOCK; empty: no agent.
    std::optional<std::string> agentSocket;

    bool operator==(const SshSettings&) const = default;
};

// An unknown gateway's key, as the user is shown it.
struct SshHostKey {
    std::string host;        // as written in the gateway
    uint16_t port = kDefaultSshPort;
    std::string type;        // "ssh-ed25519", "ecdsa-sha2-nistp256", ...
    std::string fingerprint; // "SHA256:" and the unpadded base64 of the key's SHA-256
};

enum class HostKeyAnswer {
    ConnectOnce, // use the key for this connection (and its reconnections) only
    AlwaysTrust, // add it to the known-hosts file, then connect
    Cancel,
};

enum class SshSecretKind {
    Passphrase, // of the key file
    Password,   // the account's password (password or keyboard-interactive)
};

// What a dial through a gateway asks its user. Called on the dialling thread (a
// worker), which blocks until the answer; an implementation for a window marshals the
// question to the user-interface thread. `cancelled` is polled while the answer is
// awaited; a cancelled question returns Cancel / nullopt.
class SshQuestions {
public:
    virtual ~SshQuestions() = default;
    // False: unknown host keys are not asked about (they fail), only secrets are.
    virtual bool asksAboutHostKeys() const { return true; }
    virtual HostKeyAnswer unknownHostKey(const SshHostKey& key, const std::function<bool()>& cancelled) = 0;
    // prompt: the question as the gateway or the key names it ("Password for
    // ann@gate:", "Passphrase for /home/ann/.ssh/id_ed25519:"). nullopt: not answered.
    virtual std::optional<std::string> askSecret(SshSecretKind kind, const std::string& prompt,
                                                 const std::function<bool()>& cancelled) = 0;
};

// Why a link through a gateway could not be made.
enum class SshFailure {
    None,
    Unreachable,      // the gateway's address did not resolve or its port did not accept
    NotSsh,           // the gateway did not complete an SSH handshake in time
    HostKeyUnknown,   // not in known hosts, and not accepted (no one to ask, or Cancel)
    HostKeyChanged,   // known hosts holds another key for the gateway: always refused
    AuthRefused,      // no way of authenticating was accepted (or none could be asked)
    ChannelRefused,   // the gateway would not open the channel to the device
    TimedOut,         // the bound elapsed
    Cancelled,        // the dial was cancelled
};

struct SshReport {
    SshFailure failure = SshFailure::None;
    std::string detail;      // what the gateway or libssh said, or the fingerprint; may be empty
    SshHostKey hostKey;      // HostKeyUnknown, HostKeyChanged: the key the gateway showed
    bool nobodyAsked = false; // AuthRefused with no one to ask for a passphrase or password
};

// One line for the user naming the cause: "the SSH gateway ann@gate could not be
// reached", "the host key of the SSH gateway gate has changed ...", and so on.
std::string SshFailureText(const SshGateway& gateway, const SshReport& report, const std::string& knownHostsFile);

} // namespace sorvane
