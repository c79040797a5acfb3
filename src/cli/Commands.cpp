#include "cli/Commands.h"

namespace sorvane::cli {
namespace {

const CliCommand kCommands[] = {
    {"info", "info",
     "the device facts, one \"name: value\" line each (depth, width, height, orientation,\n"
     "      altDepth, altWidth, altHeight, altOrientation, name)",
     0, runInfo},
};

} // namespace

std::span<const CliCommand> commandTable() { return kCommands; }

const CliCommand* findCommand(const std::string& name)
{
    for (const CliCommand& c : kCommands)
        if (name == c.name)
            return &c;
    return nullptr;
}

} // namespace sorvane::cli
