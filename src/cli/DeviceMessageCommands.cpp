// paste TEXT, reset, suspend: messages the agent answers with nothing.

#include <cstdio>

#include "cli/CliSession.h"
#include "cli/Commands.h"
#include "tools/DeviceExchanges.h"
#include "tools/DeviceText.h"

namespace sorvane::cli {

int sendDeviceMessage(CliSession& session, const char* command, const std::vector<uint8_t>& message);

int runPaste(CliSession& session, const std::vector<std::string>& args)
{
    if (args.size() != 1) {
        std::fprintf(stderr, "sorvane-cli: paste wants one TEXT\n");
        return 2;
    }
    const DeviceTextResult text = ToDeviceText(args[0]);
    if (text.bytes.size() > kPasteTextLimit) {
        std::fprintf(stderr, "sorvane-cli: paste: the text is too long (%zu bytes; at most %u)\n", text.bytes.size(),
                     kPasteTextLimit);
        return 1;
    }
    if (text.unmappable)
        std::fprintf(stderr, "sorvane-cli: paste: %zu character%s the device cannot show sent as '?'\n",
                     text.unmappable, text.unmappable == 1 ? "" : "s");
    return sendDeviceMessage(session, "paste", PasteMessage(text.bytes));
}

int runReset(CliSession& session, const std::vector<std::string>&)
{
    return sendDeviceMessage(session, "reset", SoftResetMessage());
}

int runSuspend(CliSession& session, const std::vector<std::string>&)
{
    return sendDeviceMessage(session, "suspend", SuspendMessage());
}

} // namespace sorvane::cli
