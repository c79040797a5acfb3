#pragma once
// UTF-8 text, as the PC holds names, paths and texts, made safe to print in one line of
// a terminal, a log or a message box. (Its characters are read with NextUtf8 of
// platform/Windows1252.h.)

#include <cstddef>
#include <string>
#include <string_view>

namespace sorvane {

// Text (names, paths) made safe to show as one line: every printable character passes
// unchanged, the backslash included; line feed and tab become \n and \t, the other
// control characters (below 0x20, 0x7F..0x9F) \xhh by their number, the line and
// paragraph separators and the direction controls (which could move or break what
// follows) \uhhhh, and a byte that is not UTF-8 \xhh. A line can never be split or
// forged.
std::string EscapeText(std::string_view utf8);

} // namespace sorvane
