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
    return "usage: sorvane [--connect HOST] [--grid]\n"
           "  --connect HOST  connect to the handheld agent at HOST (a WAN / Internet connection),\n"
           "                  saving a WAN connection named HOST if there is none with that name\n"
           "  --grid          open the Devices window (every connected device in one grid)\n";
}

} // namespace sorvane
