#include <cstdio>

#include "cli/CliSession.h"
#include "cli/Commands.h"
#include "tools/DeviceText.h"

namespace sorvane::cli {

int runInfo(CliSession& session, const std::vector<std::string>&)
{
    const LinkSlot& s = session.slot();
    std::printf("depth: %d\nwidth: %d\nheight: %d\norientation: %d\n", s.depth, s.width, s.height, s.orientation);
    std::printf("altDepth: %d\naltWidth: %d\naltHeight: %d\naltOrientation: %d\n", s.altDepth, s.altWidth,
                s.altHeight, s.altOrientation);
    std::printf("name: %s\n", EscapeDeviceText(s.deviceName).c_str());
    return 0;
}

} // namespace sorvane::cli
