// status: the Device Information dialog's lines, "label: value" each.

#include <cstdio>

#include "cli/CliSession.h"
#include "cli/Commands.h"
#include "link/LinkChannel.h"
#include "tools/DeviceExchanges.h"
#include "tools/DeviceInfoText.h"
#include "tools/DeviceText.h"

namespace sorvane::cli {

int runStatus(CliSession& session, const std::vector<std::string>&)
{
    LinkChannel& channel = session.channel();
    DeviceStatusRecord status;
    const ExchangeStatus r = RequestDeviceStatus(channel, status);
    if (r != ExchangeStatus::Served) {
        std::fprintf(stderr, "sorvane-cli: status: %s%s\n", ExchangeStatusName(r),
                     session.timedOut() ? (" (" + session.timeoutReason() + ")").c_str() : "");
        return 1;
    }
    const LinkSlot& s = session.slot();
    const DeviceFacts facts{s.deviceName, s.width, s.height, s.depth};
    for (const InfoLine& line : DeviceInfoLines(facts, status)) {
        const std::string value = line.control == info_control::DeviceId ? EscapeDeviceText(line.value) : line.value;
        std::printf("%s: %s\n", line.label, value.c_str());
    }
    return 0;
}

} // namespace sorvane::cli
