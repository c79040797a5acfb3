#pragma once
// The results log of a scenario: one line per fact, appended as it happens:
//   "MM/DD/YYYY,HH:MM:SS, text1, text2" with CR LF, in local time.
// A log that cannot be opened is left alone (playback goes on without it).

#include <ctime>
#include <string>
#include <string_view>

#include "scripts/ScriptText.h"

namespace sorvane {

// One line at the moment `when` (local time fields), CR LF included.
std::string FormatLogLine(const std::tm& when, std::string_view text1, std::string_view text2);
// Appends one line with the current local time; false when the file cannot be written.
bool LogLine(const std::string& path, std::string_view text1, std::string_view text2);
// The two texts of a sent event: LAUNCH with its path; otherwise the keyword and
// "x,y" (key events: the key code and 0).
void EventLogTexts(const LoadedScript& script, const RecordedEvent& e, std::string& text1, std::string& text2);
bool LogEvent(const std::string& path, const LoadedScript& script, const RecordedEvent& e);

} // namespace sorvane
