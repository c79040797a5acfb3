#pragma once
// UTF-8 text, as the PC holds names, paths and texts: reading and writing characters,
// and making a text safe to print in one line of a terminal, a log or a message box.

#include <cstddef>
#include <string>
#include <string_view>

namespace sorvane {

// The next character of a UTF-8 text at s[i], moving i past it. A byte that starts no
// well-formed sequence (overlong forms, surrogates and cut sequences included) is taken
// alone: `bad` is set and 0 returned.
char32_t NextUtf8(std::string_view s, size_t& i, bool& bad);
void AppendUtf8(std::string& out, char32_t c);

// Text (names, paths) made safe to show as one line: every printable character passes
// unchanged, the backslash included; line feed and tab become \n and \t, the other
// control characters (below 0x20, 0x7F..0x9F) \xhh by their number, the line and
// paragraph separators and the direction controls (which could move or break what
// follows) \uhhhh, and a byte that is not UTF-8 \xhh. A line can never be split or
// forged.
std::string EscapeText(std::string_view utf8);

} // namespace sorvane
