// A script's text, as far as ParseScript takes it in. Whatever the text holds, every
// check line it reads is written back by CheckLine as a line that reads as the same
// check, and every event refers to a check that exists.

#include <string>

#include "scripts/ScriptText.h"

using namespace sorvane;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    LoadedScript script;
    std::string error;
    if (!ParseScript(std::string_view(reinterpret_cast<const char*>(data), size), script, error))
        return 0;
    for (const RecordedEvent& e : script.events)
        if (e.code() == event_code::Check && e.arg() >= script.checks.size())
            __builtin_trap();
    for (const ScriptCheck& check : script.checks) {
        const std::string line = CheckLine(check);
        LoadedScript again;
        if (!ParseScript(line, again, error) || again.checks.size() != 1)
            __builtin_trap();
        const ScriptCheck& read = again.checks[0];
        if (CheckLine(read) != line || read.file != check.file || read.text != check.text ||
            read.percent != check.percent || read.timeoutMs != check.timeoutMs || read.hasRegion != check.hasRegion)
            __builtin_trap();
    }
    return 0;
}
