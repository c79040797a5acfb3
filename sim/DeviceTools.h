#pragma once
// The agent's device tools on one connection: answers 'o' (the 48-byte status
// record), 'x' (a count and 256-byte process records) and 'q' (a length and the
// clipboard text); takes 'd' (paste: the clipboard text), 'p' (activate), 'w' (kill:
// the process leaves the table), 't' (soft reset) and 'u' (suspend), none answered.
// Log lines, besides the agent's "command <code>":
//   paste <n> <hex bytes>       the text of a 'd'
//   activate <handle>           the window handle of a 'p' (decimal)
//   kill <id> found|unknown     the process id of a 'w' (decimal)
//   softreset / suspend
//   processes <count>           an 'x' answered with count records
//   silent <code>               a request left unanswered (--silent)
//   badlength <n>               a 'd' whose length is beyond the limit (not consumed)
// Runs on the connection's thread.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "ToolsOptions.h"

namespace sorvane::sim {

class ByteLink;
class EventLog;

class DeviceTools {
public:
    enum class Outcome {
        Answered, // a request answered (counts towards --close-after)
        Taken,    // a message read, or a request left silent
        LinkEnded,
    };

    DeviceTools(const ToolsOptions& options, ByteLink& link, EventLog& log);
    // Serves `code` when it is a device tools code; nullopt for any other.
    std::optional<Outcome> handle(uint8_t code);

private:
    Outcome status();
    Outcome processes();
    Outcome clipboard();
    Outcome paste();
    Outcome word(uint8_t code);

    const ToolsOptions& options_;
    ByteLink& link_;
    EventLog& log_;
    std::vector<SimProcess> processes_;
    std::string clipboard_;
};

} // namespace sorvane::sim
