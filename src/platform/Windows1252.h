#pragma once
// Windows-1252, the device's 8-bit character set, and UTF-8, the PC's: one character
// at a time. The device's texts (clipboard, names, titles) and file names are built on
// these.
//
// Plain functions; no thread restrictions.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace sorvane {

// The byte of a character in Windows-1252, or -1 when the code page lacks it (the C1
// controls U+0080..U+009F among them).
int Windows1252Byte(char32_t c);
// The character of a byte. The five bytes the code page leaves undefined (0x81, 0x8D,
// 0x8F, 0x90, 0x9D) give the C1 control of the same number.
char32_t Windows1252Char(uint8_t b);
bool Windows1252Undefined(uint8_t b);
// A whole text, each byte as its character (as above).
std::string Windows1252ToUtf8(std::string_view bytes);

void AppendUtf8(std::string& out, char32_t c);
// The next character of a UTF-8 text at i, moving i past it. A byte that starts no
// well-formed sequence (overlong forms and surrogates included) is taken alone, with
// bad set and 0 returned.
char32_t NextUtf8(std::string_view s, size_t& i, bool& bad);

} // namespace sorvane
