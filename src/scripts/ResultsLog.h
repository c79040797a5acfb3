#pragma once
// The results log of a scenario: one line per fact, appended as it happens:
//   "MM/DD/YYYY,HH:MM:SS, text1, text2" with CR LF, in local time.
// A log that cannot be opened is left alone (playback goes on without it). Every text is
// written escaped (EscapeText): a name with a line break in it cannot add a line.

#include <ctime>
#include <string>
#include <string_view>

#include "scripts/Scenario.h"
#include "scripts/ScriptText.h"

namespace sorvane {

// Why a scenario's results log path is not used, or empty when it may be. A path read
// from a scenario file could name a file that something runs, such as a shell's
// start-up file, where even one appended line is a command: so the log is a ".txt" or
// ".log" file (in any case) whose name does not start with '.', in no hidden folder
// (one whose name starts with '.') other than those of the script folder's own path.
std::string ResultsLogPathProblem(std::string_view path, std::string_view scriptDir);
// For a scenario about to play from scriptDir: when it logs to a path that is not to be
// used, its logging is turned off and the problem returned; otherwise empty.
std::string DropRefusedResultsLog(Scenario& scenario, std::string_view scriptDir);

// One line at the moment `when` (local time fields), CR LF included.
std::string FormatLogLine(const std::tm& when, std::string_view text1, std::string_view text2);
// Appends one line with the current local time; false when the file cannot be written.
bool LogLine(const std::string& path, std::string_view text1, std::string_view text2);
// The two texts of a sent event: LAUNCH with its path; otherwise the keyword and
// "x,y" (key events: the key code and 0).
void EventLogTexts(const LoadedScript& script, const RecordedEvent& e, std::string& text1, std::string& text2);
bool LogEvent(const std::string& path, const LoadedScript& script, const RecordedEvent& e);

} // namespace sorvane
