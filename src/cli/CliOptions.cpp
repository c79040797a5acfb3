#include "cli/CliOptions.h"

#include <charconv>
#include <cmath>
#include <cstdlib>

#include "cli/Commands.h"
#include "platform/HelpText.h"
#include "ssh/SshGateway.h"

namespace sorvane::cli {
namespace {

enum class Took { No, Yes, Error };

bool parseInt(const std::string& s, long lo, long hi, long& out)
{
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), out);
    return ec == std::errc() && end == s.data() + s.size() && out >= lo && out <= hi;
}

bool parseSeconds(const std::string& s, double& out)
{
    if (s.empty())
        return false;
    char* end = nullptr;
    out = std::strtod(s.c_str(), &end);
    return end && *end == '\0' && std::isfinite(out) && out > 0 && out <= 86400;
}


// One connection option (or one that goes with a connection) at args[i], into o; i moves
// past its value. No: args[i] is not one of them.
Took connectionOption(const std::vector<std::string>& args, size_t& i, CliOptions& o, std::string& error)
{
    const std::string& a = args[i];
    std::string v;
    long n = 0;
    auto value = [&] {
        if (i + 1 >= args.size()) {
            error = a + " needs a value";
            return false;
        }
        v = args[++i];
        return true;
    };
    if (a == "--host") {
        if (!value())
            return Took::Error;
        o.host = v;
    } else if (a == "--port") {
        if (!value())
            return Took::Error;
        if (!parseInt(v, 0, 65535, n)) {
            error = "--port wants a number 0..65535, not \"" + v + "\"";
            return Took::Error;
        }
        o.port = uint16_t(n);
        o.portGiven = true;
    } else if (a == "--serial") {
        if (!value())
            return Took::Error;
        o.serial = v;
    } else if (a == "--lan") {
        o.lan = true;
    } else if (a == "--bcast") {
        if (!value())
            return Took::Error;
        o.broadcast = v;
        o.broadcastGiven = true;
    } else if (a == "--bport") {
        if (!value())
            return Took::Error;
        if (!parseInt(v, 1, 65535, n)) {
            error = "--bport wants a number 1..65535, not \"" + v + "\"";
            return Took::Error;
        }
        o.broadcastPort = int(n);
        o.broadcastGiven = true;
    } else if (a == "--pick") {
        if (!value())
            return Took::Error;
        o.pick = v;
    } else if (a == "--proxy") {
        if (!value())
            return Took::Error;
        size_t colon = v.rfind(':');
        // The port is checked for 1..65535 when connecting, with the reason the
        // program gives.
        if (colon == std::string::npos || colon == 0 || !parseInt(v.substr(colon + 1), 0, 4294967295L, n)) {
            error = "--proxy wants HOST:PORT, not \"" + v + "\"";
            return Took::Error;
        }
        o.proxyHost = v.substr(0, colon);
        o.proxyPort = uint32_t(n);
    } else if (a == "--ssh") {
        if (!value())
            return Took::Error;
        std::string why;
        if (!ParseSshGateway(v, why)) {
            error = "--ssh wants USER@HOST[:PORT], not \"" + v + "\": " + why;
            return Took::Error;
        }
        o.ssh = v;
    } else if (a == "--ssh-key" || a == "--ssh-known-hosts") {
        if (!value())
            return Took::Error;
        if (v.empty()) {
            error = a + " wants a file";
            return Took::Error;
        }
        (a == "--ssh-key" ? o.sshKey : o.sshKnownHosts) = v;
        o.sshOptionGiven = true;
    } else if (a == "--ssh-accept-new") {
        o.sshAcceptNew = true;
        o.sshOptionGiven = true;
    } else if (a == "--ssh-timeout") {
        if (!value())
            return Took::Error;
        if (!parseSeconds(v, o.sshTimeoutS)) {
            error = "--ssh-timeout wants a number of seconds above 0, not \"" + v + "\"";
            return Took::Error;
        }
        o.sshOptionGiven = true;
    } else if (a == "--listen") {
        if (!value())
            return Took::Error;
        size_t colon = v.rfind(':');
        std::string address = colon == std::string::npos ? "0.0.0.0" : v.substr(0, colon);
        std::string port = colon == std::string::npos ? v : v.substr(colon + 1);
        if (!parseInt(port, 0, 65535, n) || address.empty()) {
            error = "--listen wants [ADDRESS:]PORT with a port 0..65535, not \"" + v + "\"";
            return Took::Error;
        }
        o.listenAddress = address;
        o.listenPort = int(n);
    } else {
        return Took::No;
    }
    return Took::Yes;
}

bool startsConnection(const std::string& a)
{
    return a == "--host" || a == "--serial" || a == "--lan" || a == "--proxy" || a == "--listen";
}

} // namespace

bool checkConnection(const CliOptions& o, std::string& error)
{
    const int connections = int(o.host.has_value()) + int(o.serial.has_value()) + int(o.lan) +
                            int(o.proxyHost.has_value()) + int(o.listenAddress.has_value());
    if (connections > 1) {
        error = "give one connection: --host, --serial, --lan, --proxy or --listen";
        return false;
    }
    if (o.portGiven && !o.host && !o.lan) {
        error = "--port goes with --host or --lan";
        return false;
    }
    if (o.broadcastGiven && !o.lan) {
        error = "--bcast and --bport go with --lan";
        return false;
    }
    if (o.pick && !o.lan && !o.proxyHost) {
        error = "--pick goes with --lan or --proxy";
        return false;
    }
    if (o.proxyHost && !o.pick) {
        error = "--proxy needs --pick NAME or --pick INDEX";
        return false;
    }
    if (o.ssh && !o.host && !o.proxyHost) {
        error = "--ssh goes with --host or --proxy";
        return false;
    }
    if (o.sshOptionGiven && !o.ssh) {
        error = "--ssh-key, --ssh-known-hosts, --ssh-accept-new and --ssh-timeout go with --ssh";
        return false;
    }
    return true;
}

std::optional<CliOptions> deviceOptions(const CliOptions& common, const std::vector<std::string>& words,
                                        std::string& error)
{
    CliOptions d;
    d.password = common.password;
    d.refresh = common.refresh;
    d.timeoutS = common.timeoutS;
    d.command = common.command;
    d.arguments = common.arguments;
    for (size_t i = 0; i < words.size(); ++i) {
        if (words[i] == "--password" && i + 1 < words.size()) {
            d.password = words[++i];
            continue;
        }
        const Took took = connectionOption(words, i, d, error);
        if (took == Took::Error)
            return std::nullopt;
        if (took == Took::No) {
            error = words[i] == "--password" ? "--password needs a value" : "unknown connection option " + words[i];
            return std::nullopt;
        }
    }
    if (!checkConnection(d, error))
        return std::nullopt;
    if (!d.host && !d.serial && !d.lan && !d.proxyHost && !d.listenAddress) {
        error = "no connection given (--host, --serial, --lan, --proxy or --listen)";
        return std::nullopt;
    }
    return d;
}

std::optional<CliOptions> parseOptions(const std::vector<std::string>& args, std::string& error)
{
    CliOptions o;
    bool haveCommand = false;
    // The connection options in the order given: those before the first connection go
    // with every connection; each connection takes the ones that follow it.
    std::vector<std::string> shared;
    std::vector<std::vector<std::string>> connections;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        std::string v;
        long n = 0;
        auto value = [&](std::string& out) {
            if (i + 1 >= args.size()) {
                error = a + " needs a value";
                return false;
            }
            out = args[++i];
            return true;
        };
        const size_t at = i;
        const Took took = connectionOption(args, i, o, error);
        if (took == Took::Error)
            return std::nullopt;
        if (took == Took::Yes) {
            if (startsConnection(a))
                connections.emplace_back();
            std::vector<std::string>& into = connections.empty() ? shared : connections.back();
            into.insert(into.end(), args.begin() + long(at), args.begin() + long(i) + 1);
        } else if (a == "--help" || a == "-h") {
            o.help = true;
        } else if (a == "--version") {
            o.version = true;
        } else if (a == "--devices") {
            if (!value(v))
                return std::nullopt;
            o.devicesFile = v;
        } else if (a == "--password") {
            if (!value(v))
                return std::nullopt;
            o.password = v;
        } else if (a == "--refresh") {
            if (!value(v))
                return std::nullopt;
            if (!parseInt(v, 1, 18, n)) {
                error = "--refresh wants a number 1..18, not \"" + v + "\"";
                return std::nullopt;
            }
            o.refresh = int(n);
        } else if (a == "--timeout") {
            if (!value(v))
                return std::nullopt;
            if (!parseSeconds(v, o.timeoutS)) {
                error = "--timeout wants a number of seconds above 0, not \"" + v + "\"";
                return std::nullopt;
            }
        } else if (haveCommand) {
            o.arguments.push_back(a); // the command's own words and options
        } else if (a.size() > 1 && a[0] == '-') {
            error = "unknown option " + a;
            return std::nullopt;
        } else {
            o.command = a;
            haveCommand = true;
        }
    }
    if (o.help || o.version)
        return o;
    if (!haveCommand) {
        error = "no command given";
        return std::nullopt;
    }
    if (!findCommand(o.command)) {
        error = "unknown command " + o.command;
        return std::nullopt;
    }
    if (connections.size() > 1 || o.devicesFile) {
        // Several devices: each connection on its own, with the shared options first.
        o.sharedConnectionWords = shared;
        for (const std::vector<std::string>& c : connections) {
            std::vector<std::string> words = shared;
            words.insert(words.end(), c.begin(), c.end());
            std::optional<CliOptions> d = deviceOptions(o, words, error);
            if (!d)
                return std::nullopt;
            o.devices.push_back(std::move(*d));
        }
        return o;
    }
    if (!checkConnection(o, error))
        return std::nullopt;
    return o;
}

std::string usageText()
{
    std::string text =
        "usage: sorvane-cli [connection...] [--devices FILE] COMMAND [arguments]\n"
        "\n"
        "connection (one of; repeated, or with --devices, for several devices):\n"
        "  --host HOST [--port N]   TCP to a device agent, as a WAN link (port default 1899)\n"
        "  --serial PATH            a serial line (a device path such as /dev/ttyUSB0, or a\n"
        "                           pseudo-terminal), as a COM link\n"
        "  --lan [--bcast ADDR] [--bport N] [--pick NAME] [--port N]\n"
        "                           find devices by LAN discovery (requests to ADDR, default\n"
        "                           255.255.255.255, UDP port N, default 1903, every 3 s) and\n"
        "                           connect to the device called NAME (default: the first to\n"
        "                           answer), as a LAN link to its agent port (default 1899)\n"
        "  --proxy HOST:PORT --pick NAME|INDEX\n"
        "                           through a proxy server: the device of its table called\n"
        "                           NAME, or the record at INDEX (from 0)\n"
        "  --listen [ADDR:]PORT     wait for a device agent to connect in (on ADDR, default\n"
        "                           every interface; PORT 0: one the system picks); prints\n"
        "                           \"listening PORT\" on standard error once it listens, and\n"
        "                           a \"rejected\" line for each peer that fails its handshake;\n"
        "                           the first device that passes is used\n"
        "\n"
        "through an SSH gateway (with --host or --proxy):\n"
        "  --ssh USER@HOST[:PORT]   the link goes in an SSH channel that the server HOST (port\n"
        "                           default 22) opens to the device or proxy; nothing of it\n"
        "                           crosses the network in clear. Authentication: the SSH\n"
        "                           agent, then the key file (or ~/.ssh/id_ed25519, id_ecdsa,\n"
        "                           id_rsa), then the password; a passphrase or password is\n"
        "                           asked on the terminal, never stored\n"
        "  --ssh-key FILE           the private key to offer after the agent's\n"
        "  --ssh-known-hosts FILE   the known-hosts file the server's key is checked against\n"
        "                           (default ~/.ssh/known_hosts); an unknown key fails, its\n"
        "                           fingerprint on standard error; a changed key always fails\n"
        "  --ssh-accept-new         an unknown server key is added to the known-hosts file\n"
        "  --ssh-timeout SECONDS    bound of reaching the server, its handshake, the\n"
        "                           authentication and the channel (default 20)\n"
        "\n"
        "common options:\n"
        "  --password PW            the device's password, when it asks for one\n"
        "  --refresh N              screen polls per second, 1..18 (default 10)\n"
        "  --timeout SECONDS        give up when connecting takes longer, or when the device\n"
        "                           stays silent that long while a command waits for it,\n"
        "                           or capture and record get no usable screen update for that\n"
        "                           long (default 30); long commands run as long as they need\n"
        "  --help                   this text\n"
        "  --version                the version and the build date\n"
        "\n"
        "several devices at once:\n"
        "  --host A --host B ...    a connection option repeated: one connection each, --port,\n"
        "                           --pick, --bcast and --bport going with the connection they\n"
        "                           follow (given before every connection, with each of them)\n"
        "  --devices FILE           more connections, one a line in the same syntax (with\n"
        "                           --password too; \"...\" keeps blanks in a word; blank lines\n"
        "                           and lines starting with # are skipped); a regular file of\n"
        "                           at most 256 KiB\n"
        "  info, capture, play, scenario, put, get, type and reset then run on every device in\n"
        "  parallel, one process each, once every device has connected or failed to. Each\n"
        "  device has a label: its name made safe for a file name (/ \\ % and control characters\n"
        "  as %XX, no leading dot); where two devices share a name (ignoring case), followed by\n"
        "  -HOST (-HOST-PORT, the serial line, the picked name), or by -N, its place in the list,\n"
        "  where that does not tell them apart. Every output line starts \"LABEL: \", each failed\n"
        "  device gets a line \"LABEL: failed (...)\", and the last line is \"N passed, M failed\".\n"
        "  Files get the label before their extension: capture OUT.png writes OUT-LABEL.png,\n"
        "  play --log and a scenario's results log FILE-LABEL.txt, SNAPSHOT pictures\n"
        "  NAME-LABEL.png; get into a folder writes FOLDER/LABEL/NAME, get to a file PATH-LABEL.\n"
        "  All connections are of one kind; each --lan one needs its own --pick, each --listen\n"
        "  its own port. Exit status 0 only when every device passed, else 1.\n"
        "\n"
        "commands:\n";
    for (const CliCommand& c : commandTable())
        text += "  " + std::string(c.synopsis) + "\n      " + c.summary + "\n";
    text += "\n"
            "exit status: 0 success, 1 the connection, handshake or command failed (the reason\n"
            "on standard error), 2 usage.\n";
    return FitHelpText(text);
}

} // namespace sorvane::cli
