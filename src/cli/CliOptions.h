#pragma once
// The command line of sorvane-cli:
//   sorvane-cli [connection...] [--devices FILE] COMMAND [arguments]
// Options may stand anywhere; the first word that is no option is the command, the
// words after it are its arguments. Connection options may be repeated (--host A
// --host B): each of --host, --serial, --lan, --proxy and --listen starts a connection,
// and --port, --bcast, --bport and --pick go with the connection before them (given
// before every connection, with each of them).

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace sorvane::cli {

struct CliOptions {
    std::optional<std::string> host; // --host: TCP to an agent, link kind 4
    uint16_t port = 1899;            // --port
    bool portGiven = false;
    std::optional<std::string> serial; // --serial: a serial line, link kind 1
    bool lan = false;                  // --lan: LAN discovery, link kind 5
    std::string broadcast = "255.255.255.255"; // --bcast: where discovery asks
    int broadcastPort = 1903;          // --bport
    bool broadcastGiven = false;       // --bcast or --bport given
    std::optional<std::string> pick;   // --pick: the device's name (or proxy table index)
    std::optional<std::string> proxyHost; // --proxy HOST:PORT, link kind 6
    uint32_t proxyPort = 0;
    std::optional<std::string> listenAddress; // --listen [ADDR:]PORT: inbound, as link kind 4
    int listenPort = 0;
    // --ssh USER@HOST[:PORT]: a --host or --proxy connection through that SSH gateway,
    // with --ssh-key, --ssh-known-hosts, --ssh-accept-new and --ssh-timeout.
    std::optional<std::string> ssh;
    std::string sshKey;
    std::string sshKnownHosts;  // empty: ~/.ssh/known_hosts
    bool sshAcceptNew = false;
    double sshTimeoutS = 20.0;
    bool sshOptionGiven = false; // one of the four that go with --ssh
    std::optional<std::string> password;
    int refresh = 10;       // --refresh: polls per second, 1..18
    double timeoutS = 30.0; // --timeout: bound of connecting and of each silence of the device
    bool help = false;
    bool version = false; // --version
    std::string command;
    std::vector<std::string> arguments;

    // Several devices (more than one connection, or --devices): each one's options, with
    // one connection and the common options, command and arguments copied; the fields
    // above then hold only the common options. Empty: one device, as the fields say.
    std::vector<CliOptions> devices;
    std::optional<std::string> devicesFile;         // --devices: more connections, one a line
    std::vector<std::string> sharedConnectionWords; // connection options given before any connection
};

// A device's options: the common options of `common` and the connection words (one
// connection, with what goes with it, and --password), checked as one connection is.
std::optional<CliOptions> deviceOptions(const CliOptions& common, const std::vector<std::string>& words,
                                        std::string& error);
// The connection options of o name at most one connection, and what goes with one goes with it.
bool checkConnection(const CliOptions& o, std::string& error);

// Parses argv (without the program name). On a usage error returns nullopt and puts
// the reason into error.
std::optional<CliOptions> parseOptions(const std::vector<std::string>& args, std::string& error);

// The text of --help.
std::string usageText();

} // namespace sorvane::cli
