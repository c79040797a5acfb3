#include "cli/Commands.h"

namespace sorvane::cli {
namespace {

const CliCommand kCommands[] = {
    {"info", "info",
     "the device facts, one \"name: value\" line each (depth, width, height, orientation,\n"
     "      altDepth, altWidth, altHeight, altOrientation, name)",
     0, runInfo},
    {"capture", "capture OUT [--polls N] [--display main|second] [--low-color] [--tap X,Y]\n"
     "      [--drag X1,Y1,X2,Y2] [--type TEXT] [--key CODE]",
     "send the input options in order (taps, a drag, typed text with Shift as a US keyboard\n"
     "      needs it, a virtual key by code) as one queued message, then poll N updates (default:\n"
     "      until an update with an empty payload) and write the picture as shown (no rotation or\n"
     "      scale); OUT's extension chooses the format: .ppm (binary P6), .bmp (the picture's own\n"
     "      depth), .gif (8 bits) or .jpg (24 bits)",
     -1, runCapture},
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
