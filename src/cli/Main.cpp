// sorvane-cli: a headless client on the Sorvane core. See CliOptions.h and --help.

#include <cstdio>
#include <string>
#include <vector>

#include "cli/CliOptions.h"
#include "cli/CliSession.h"
#include "cli/Commands.h"
#include "cli/DeviceList.h"
#include "cli/FleetRun.h"
#include "platform/Utf8Text.h"

#include <SorvaneVersion.h>

using namespace sorvane::cli;

int main(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    std::string error;
    auto options = parseOptions(args, error);
    if (!options) {
        std::fprintf(stderr, "sorvane-cli: %s\n(sorvane-cli --help lists the options)\n", error.c_str());
        return 2;
    }
    if (options->version) {
        std::fputs("sorvane-cli " SORVANE_VERSION " (built " SORVANE_BUILD_DAY ")\n", stdout);
        return FlushedOutput(0);
    }
    if (options->help) {
        std::fputs(usageText().c_str(), stdout);
        return FlushedOutput(0);
    }
    const CliCommand* command = findCommand(options->command);
    if (command->maxArguments >= 0 && options->arguments.size() > size_t(command->maxArguments)) {
        std::fprintf(stderr, "sorvane-cli: too many arguments for %s\n", command->name);
        return 2;
    }
    if (!options->devices.empty() || options->devicesFile) {
        if (!LoadDeviceList(*options, error)) {
            std::fprintf(stderr, "sorvane-cli: %s\n", sorvane::EscapeText(error).c_str());
            return 2;
        }
        return RunFleet(*options, *command);
    }
    if (!options->host && !options->serial && !options->lan && !options->proxyHost && !options->listenAddress) {
        std::fprintf(stderr, "sorvane-cli: no connection given (--host, --serial, --lan, --proxy or --listen)\n");
        return 2;
    }

    CliSession session(*options);
    if (!session.connect(error)) {
        std::fprintf(stderr, "sorvane-cli: %s\n", error.c_str());
        return 1;
    }
    return FlushedOutput(command->run(session, options->arguments));
}
