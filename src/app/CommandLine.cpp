#include "app/CommandLine.h"

namespace sorvane {

CommandLine parseCommandLine(const std::vector<std::string>& args)
{
    CommandLine line;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        std::optional<std::string> host;
        if (a == "--connect") {
            if (i + 1 >= args.size()) {
                line.error = "--connect needs a host";
                return line;
            }
            host = args[++i];
        } else if (a.rfind("--connect=", 0) == 0) {
            host = a.substr(10);
        } else if (a == "--grid") {
            line.grid = true;
            continue;
        } else if (a == "--help" || a == "-h") {
            line.help = true;
            continue;
        } else if (a == "--version") {
            line.version = true;
            continue;
        } else {
            line.error = "unknown argument: " + a;
            return line;
        }
        if (host->empty()) {
            line.error = "--connect needs a host";
            return line;
        }
        if (line.connectHost) {
            line.error = "--connect given twice";
            return line;
        }
        line.connectHost = std::move(*host);
    }
    return line;
}

std::string usageText()
{
    return "usage: sorvane [--connect HOST] [--grid] [--help] [--version]\n"
           "  --connect HOST  connect to the handheld agent at HOST (a WAN / Internet\n"
           "                  connection), saving a WAN connection named HOST if there is\n"
           "                  none with that name\n"
           "  --grid          open the Devices window (every connected device in one grid)\n"
           "  --help          this text\n"
           "  --version       the version and the build date\n";
}

} // namespace sorvane
