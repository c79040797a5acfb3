#include "cli/DeviceText.h"

#include <cstdint>

namespace sorvane::cli {
namespace {

// Windows-1252 0x80..0x9F; 0 where the code page defines no character.
constexpr char16_t kHigh[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

void appendUtf8(std::string& out, char16_t c)
{
    if (c < 0x800) {
        out += char(0xC0 | (c >> 6));
        out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xE0 | (c >> 12));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
}

void appendHex(std::string& out, uint8_t b)
{
    static const char digits[] = "0123456789abcdef";
    out += "\\x";
    out += digits[b >> 4];
    out += digits[b & 15];
}

} // namespace

std::string PrintableDeviceText(std::string_view bytes)
{
    std::string out;
    out.reserve(bytes.size());
    for (char ch : bytes) {
        const uint8_t b = uint8_t(ch);
        if (b == '\\')
            out += "\\\\";
        else if (b == '\n')
            out += "\\n";
        else if (b == '\t')
            out += "\\t";
        else if (b < 0x20 || b == 0x7F)
            appendHex(out, b);
        else if (b < 0x80)
            out += ch;
        else if (b >= 0xA0)
            appendUtf8(out, char16_t(b));
        else if (char16_t c = kHigh[b - 0x80])
            appendUtf8(out, c);
        else
            appendHex(out, b);
    }
    return out;
}

} // namespace sorvane::cli
