// clip: the device clipboard's text as UTF-8 on standard output, as it is.
// type TEXT: TEXT typed on the device's keyboard.

#include <cstdio>

#include "cli/CliSession.h"
#include "cli/Commands.h"
#include "link/LinkChannel.h"
#include "tools/DeviceExchanges.h"
#include "platform/Utf8Text.h"
#include "tools/DeviceText.h"
#include "tools/TypeText.h"

namespace sorvane::cli {

int sendDeviceMessage(CliSession& session, const char* command, const std::vector<uint8_t>& message);

int runClip(CliSession& session, const std::vector<std::string>&)
{
    LinkChannel& channel = session.channel();
    std::string text;
    const ExchangeStatus r = ReadDeviceClipboard(channel, text);
    if (r == ExchangeStatus::BadReply) {
        std::fprintf(stderr, "sorvane-cli: clip: the device announced more than %u bytes of clipboard text\n",
                     kClipboardTextLimit);
        return 1;
    }
    if (r != ExchangeStatus::Served) {
        std::fprintf(stderr, "sorvane-cli: clip: %s%s\n", ExchangeStatusName(r),
                     session.timedOut() ? (" (" + session.timeoutReason() + ")").c_str() : "");
        return 1;
    }
    const std::string utf8 = FromDeviceText(text);
    std::fwrite(utf8.data(), 1, utf8.size(), stdout);
    return 0;
}

int runType(CliSession& session, const std::vector<std::string>& args)
{
    const bool viaClipboard = !args.empty() && args[0] == "--via-clipboard";
    if (args.size() != (viaClipboard ? 2u : 1u)) {
        std::fprintf(stderr, "sorvane-cli: type wants one TEXT\n");
        return 2;
    }
    const TypedText typed = TypeTextPackets(args.back(), viaClipboard);
    if (!typed.missing.empty()) {
        std::fprintf(stderr, "sorvane-cli: type: %s %s; nothing was sent\n",
                     viaClipboard ? "neither a key nor Windows-1252 has" : "no key types",
                     EscapeText(typed.missing).c_str());
        return 1;
    }
    if (typed.packets.empty())
        return 0;
    return sendDeviceMessage(session, "type", TypedTextMessage(typed));
}

} // namespace sorvane::cli
