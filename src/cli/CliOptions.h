#pragma once
// The command line of sorvane-cli:
//   sorvane-cli [connection] COMMAND [arguments]
// Options may stand anywhere; the first word that is no option is the command, the
// words after it are its arguments.

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
    std::optional<std::string> pick;   // --pick: the device's name (or proxy table index)
    std::optional<std::string> proxyHost; // --proxy HOST:PORT, link kind 6
    uint32_t proxyPort = 0;
    std::optional<std::string> listenAddress; // --listen [ADDR:]PORT: inbound, as link kind 4
    int listenPort = 0;
    std::optional<std::string> password;
    int refresh = 10;       // --refresh: polls per second, 1..18
    double timeoutS = 30.0; // --timeout: bound of connecting and of each silence of the device
    bool help = false;
    bool version = false; // --version
    std::string command;
    std::vector<std::string> arguments;
};

// Parses argv (without the program name). On a usage error returns nullopt and puts
// the reason into error.
std::optional<CliOptions> parseOptions(const std::vector<std::string>& args, std::string& error);

// The text of --help.
std::string usageText();

} // namespace sorvane::cli
