#include "scripts/ResultsLog.h"

#include <cstdio>

namespace sorvane {

std::string FormatLogLine(const std::tm& when, std::string_view text1, std::string_view text2)
{
    char stamp[64];
    std::snprintf(stamp, sizeof stamp, "%02d/%02d/%04d,%02d:%02d:%02d, ", when.tm_mon + 1, when.tm_mday,
                  when.tm_year + 1900, when.tm_hour, when.tm_min, when.tm_sec);
    std::string line = stamp;
    line.append(text1);
    line += ", ";
    line.append(text2);
    line += "\r\n";
    return line;
}

bool LogLine(const std::string& path, std::string_view text1, std::string_view text2)
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    if (!localtime_r(&now, &local))
        return false;
    const std::string line = FormatLogLine(local, text1, text2);
    std::FILE* f = std::fopen(path.c_str(), "ab");
    if (!f)
        return false;
    const bool ok = std::fwrite(line.data(), 1, line.size(), f) == line.size();
    return std::fclose(f) == 0 && ok;
}

void EventLogTexts(const LoadedScript& script, const RecordedEvent& e, std::string& text1, std::string& text2)
{
    if (e.code() == event_code::Launch) {
        text1 = "LAUNCH";
        text2 = std::string(script.launchPath(e));
        return;
    }
    text1 = EventKeyword(e.code());
    text2 = std::to_string(e.x()) + "," + std::to_string(e.y());
}

bool LogEvent(const std::string& path, const LoadedScript& script, const RecordedEvent& e)
{
    std::string t1, t2;
    EventLogTexts(script, e, t1, t2);
    return LogLine(path, t1, t2);
}

} // namespace sorvane
