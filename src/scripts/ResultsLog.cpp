#include "scripts/ResultsLog.h"

#include <fcntl.h>

#include <cstdio>
#include <filesystem>

#include "platform/RegularFile.h"
#include "platform/Utf8Text.h"

namespace fs = std::filesystem;

namespace sorvane {

std::string ResultsLogPathProblem(std::string_view path, std::string_view scriptDir)
{
    static const char* const kProblem =
        "a results log must be a .txt or .log file, not hidden and not in a hidden folder";
    const fs::path log = fs::path(path).lexically_normal();
    const std::string name = log.filename().string();
    std::string ending = name.size() >= 4 ? name.substr(name.size() - 4) : std::string();
    for (char& c : ending)
        c = char(c >= 'A' && c <= 'Z' ? c + 32 : c);
    if (name.empty() || name[0] == '.' || (ending != ".txt" && ending != ".log"))
        return kProblem;
    // Folders whose every file a shell reads (~/.bashrc.d) are hidden ones. The script
    // folder is the program's own, wherever it lies (~/.local/share): only what is below
    // it counts.
    fs::path folders = log.parent_path();
    fs::path own = fs::path(scriptDir).lexically_normal();
    if (own.filename().empty())
        own = own.parent_path();
    if (const fs::path below = folders.lexically_relative(own); !scriptDir.empty() && !below.empty() &&
                                                                   *below.begin() != "..")
        folders = below;
    for (const fs::path& part : folders) {
        const std::string p = part.string();
        if (p.size() > 1 && p[0] == '.' && p != "..")
            return kProblem;
    }
    return {};
}

std::string DropRefusedResultsLog(Scenario& scenario, std::string_view scriptDir)
{
    if (!scenario.logResults || scenario.logFile.empty())
        return {};
    std::string problem = ResultsLogPathProblem(scenario.logFile, scriptDir);
    if (!problem.empty())
        scenario.logResults = 0;
    return problem;
}

std::string FormatLogLine(const std::tm& when, std::string_view text1, std::string_view text2)
{
    char stamp[64];
    std::snprintf(stamp, sizeof stamp, "%02d/%02d/%04d,%02d:%02d:%02d, ", when.tm_mon + 1, when.tm_mday,
                  when.tm_year + 1900, when.tm_hour, when.tm_min, when.tm_sec);
    std::string line = stamp;
    line += EscapeText(text1);
    line += ", ";
    line += EscapeText(text2);
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
    // A FIFO or device named as the log is never written nor waited on.
    const RegularFile f = RegularFile::open(path, UINT64_MAX, O_WRONLY | O_APPEND | O_CREAT);
    if (!f)
        return false;
    return WriteAll(f.fd(), line.data(), line.size());
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
