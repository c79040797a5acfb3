// ps, kill PID, activate HANDLE: the Process Info dialog's list and its two buttons.

#include <charconv>
#include <cstdio>

#include "cli/CliSession.h"
#include "cli/Commands.h"
#include "link/LinkTransport.h"
#include "link/LinkChannel.h"
#include "tools/DeviceExchanges.h"
#include "tools/DeviceText.h"

namespace sorvane::cli {
int sendDeviceMessage(CliSession& session, const char* command, const std::vector<uint8_t>& message);

namespace {

// A 32-bit number: decimal, or hexadecimal after 0x.
bool parseWord(const std::string& s, uint32_t& out)
{
    const bool hex = s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X');
    const char* first = s.data() + (hex ? 2 : 0);
    const char* last = s.data() + s.size();
    if (first == last)
        return false;
    auto [p, ec] = std::from_chars(first, last, out, hex ? 16 : 10);
    return ec == std::errc() && p == last;
}

int sendWordMessage(CliSession& session, const std::vector<std::string>& args, const char* command,
                    const char* what, std::vector<uint8_t> (*build)(uint32_t))
{
    uint32_t word = 0;
    if (args.size() != 1 || !parseWord(args[0], word)) {
        std::fprintf(stderr, "sorvane-cli: %s wants one %s (decimal, or hexadecimal as 0x...)\n", command, what);
        return 2;
    }
    return sendDeviceMessage(session, command, build(word));
}

} // namespace

// Sends a whole message that expects no reply; 0 once it is sent.
int sendDeviceMessage(CliSession& session, const char* command, const std::vector<uint8_t>& message)
{
    if (LinkSend(session.slot(), session.clock(), message) != message.size()) {
        std::fprintf(stderr, "sorvane-cli: %s: the message could not be sent\n", command);
        return 1;
    }
    return 0;
}

int runProcesses(CliSession& session, const std::vector<std::string>&)
{
    LinkChannel& channel = session.channel();
    ProcessList list;
    const ExchangeStatus r = RequestProcessList(channel, list);
    if (r != ExchangeStatus::Served) {
        std::fprintf(stderr, "sorvane-cli: ps: %s%s\n", ExchangeStatusName(r),
                     session.timedOut() ? (" (" + session.timeoutReason() + ")").c_str() : "");
        return 1;
    }
    for (const ProcessRecord& p : list.records) {
        const std::string title = p.windowHandle ? EscapeDeviceText(p.title) : std::string("<none>");
        std::printf("%u\t0x%08X\t%s\t%s\n", p.processId, p.windowHandle, EscapeDeviceText(p.name).c_str(),
                    title.c_str());
    }
    if (list.reportedCount > list.records.size())
        std::fprintf(stderr, "sorvane-cli: ps: the device reported %u processes; the first %zu are listed\n",
                     list.reportedCount, list.records.size());
    return 0;
}

int runKill(CliSession& session, const std::vector<std::string>& args)
{
    return sendWordMessage(session, args, "kill", "process id", KillMessage);
}

int runActivate(CliSession& session, const std::vector<std::string>& args)
{
    return sendWordMessage(session, args, "activate", "window handle", ActivateMessage);
}

} // namespace sorvane::cli
