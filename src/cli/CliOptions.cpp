#include "cli/CliOptions.h"

#include <charconv>
#include <cmath>
#include <cstdlib>

#include "cli/Commands.h"
#include "platform/HelpText.h"

namespace sorvane::cli {
namespace {

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

} // namespace

std::optional<CliOptions> parseOptions(const std::vector<std::string>& args, std::string& error)
{
    CliOptions o;
    bool haveCommand = false;
    bool bcastGiven = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= args.size()) {
                error = a + " needs a value";
                return false;
            }
            out = args[++i];
            return true;
        };
        std::string v;
        long n = 0;
        if (a == "--help" || a == "-h") {
            o.help = true;
        } else if (a == "--version") {
            o.version = true;
        } else if (a == "--host") {
            if (!value(v))
                return std::nullopt;
            o.host = v;
        } else if (a == "--port") {
            if (!value(v))
                return std::nullopt;
            if (!parseInt(v, 0, 65535, n)) {
                error = "--port wants a number 0..65535, not \"" + v + "\"";
                return std::nullopt;
            }
            o.port = uint16_t(n);
            o.portGiven = true;
        } else if (a == "--serial") {
            if (!value(v))
                return std::nullopt;
            o.serial = v;
        } else if (a == "--lan") {
            o.lan = true;
        } else if (a == "--bcast") {
            if (!value(v))
                return std::nullopt;
            o.broadcast = v;
            bcastGiven = true;
        } else if (a == "--bport") {
            if (!value(v))
                return std::nullopt;
            if (!parseInt(v, 1, 65535, n)) {
                error = "--bport wants a number 1..65535, not \"" + v + "\"";
                return std::nullopt;
            }
            o.broadcastPort = int(n);
            bcastGiven = true;
        } else if (a == "--pick") {
            if (!value(v))
                return std::nullopt;
            o.pick = v;
        } else if (a == "--proxy") {
            if (!value(v))
                return std::nullopt;
            size_t colon = v.rfind(':');
            // The port is checked for 1..65535 when connecting, with the reason the
            // program gives.
            if (colon == std::string::npos || colon == 0 || !parseInt(v.substr(colon + 1), 0, 4294967295L, n)) {
                error = "--proxy wants HOST:PORT, not \"" + v + "\"";
                return std::nullopt;
            }
            o.proxyHost = v.substr(0, colon);
            o.proxyPort = uint32_t(n);
        } else if (a == "--listen") {
            if (!value(v))
                return std::nullopt;
            size_t colon = v.rfind(':');
            std::string address = colon == std::string::npos ? "0.0.0.0" : v.substr(0, colon);
            std::string port = colon == std::string::npos ? v : v.substr(colon + 1);
            if (!parseInt(port, 0, 65535, n) || address.empty()) {
                error = "--listen wants [ADDRESS:]PORT with a port 0..65535, not \"" + v + "\"";
                return std::nullopt;
            }
            o.listenAddress = address;
            o.listenPort = int(n);
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
    const int connections = int(o.host.has_value()) + int(o.serial.has_value()) + int(o.lan) +
                            int(o.proxyHost.has_value()) + int(o.listenAddress.has_value());
    if (connections > 1) {
        error = "give one connection: --host, --serial, --lan, --proxy or --listen";
        return std::nullopt;
    }
    if (o.portGiven && !o.host && !o.lan) {
        error = "--port goes with --host or --lan";
        return std::nullopt;
    }
    if (bcastGiven && !o.lan) {
        error = "--bcast and --bport go with --lan";
        return std::nullopt;
    }
    if (o.pick && !o.lan && !o.proxyHost) {
        error = "--pick goes with --lan or --proxy";
        return std::nullopt;
    }
    if (o.proxyHost && !o.pick) {
        error = "--proxy needs --pick NAME or --pick INDEX";
        return std::nullopt;
    }
    if (!haveCommand) {
        error = "no command given";
        return std::nullopt;
    }
    if (!findCommand(o.command)) {
        error = "unknown command " + o.command;
        return std::nullopt;
    }
    return o;
}

std::string usageText()
{
    std::string text =
        "usage: sorvane-cli [connection] COMMAND [arguments]\n"
        "\n"
        "connection (one of):\n"
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
        "commands:\n";
    for (const CliCommand& c : commandTable())
        text += "  " + std::string(c.synopsis) + "\n      " + c.summary + "\n";
    text += "\n"
            "exit status: 0 success, 1 the connection, handshake or command failed (the reason\n"
            "on standard error), 2 usage.\n";
    return FitHelpText(text);
}

} // namespace sorvane::cli
