#include "platform/Windows1252.h"

namespace sorvane {
namespace {

// Characters of the bytes 0x80..0x9F; 0 where the code page has none.
constexpr char32_t kHigh[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

} // namespace

int Windows1252Byte(char32_t c)
{
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF))
        return int(c);
    for (int k = 0; k < 32; ++k)
        if (kHigh[k] != 0 && kHigh[k] == c)
            return 0x80 + k;
    return -1;
}

bool Windows1252Undefined(uint8_t b) { return b >= 0x80 && b < 0xA0 && kHigh[b - 0x80] == 0; }

char32_t Windows1252Char(uint8_t b)
{
    if (b >= 0x80 && b < 0xA0 && kHigh[b - 0x80] != 0)
        return kHigh[b - 0x80];
    return b;
}

std::string Windows1252ToUtf8(std::string_view bytes)
{
    std::string out;
    out.reserve(bytes.size());
    for (char ch : bytes)
        AppendUtf8(out, Windows1252Char(uint8_t(ch)));
    return out;
}

void AppendUtf8(std::string& out, char32_t c)
{
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | (c >> 6));
        out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += char(0xE0 | (c >> 12));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xF0 | (c >> 18));
        out += char(0x80 | ((c >> 12) & 0x3F));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
}

char32_t NextUtf8(std::string_view s, size_t& i, bool& bad)
{
    const uint8_t b = uint8_t(s[i]);
    bad = false;
    if (b < 0x80) {
        ++i;
        return b;
    }
    const int extra = b >= 0xC2 && b <= 0xDF ? 1 : b >= 0xE0 && b <= 0xEF ? 2 : b >= 0xF0 && b <= 0xF4 ? 3 : -1;
    if (extra < 0 || s.size() - i <= size_t(extra)) {
        bad = true;
        ++i;
        return 0;
    }
    char32_t c = b & (0x3F >> extra);
    for (int k = 1; k <= extra; ++k) {
        const uint8_t t = uint8_t(s[i + size_t(k)]);
        if ((t & 0xC0) != 0x80) {
            bad = true;
            ++i;
            return 0;
        }
        c = (c << 6) | (t & 0x3F);
    }
    const char32_t least = extra == 1 ? 0x80 : extra == 2 ? 0x800 : 0x10000;
    if (c < least || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
        bad = true;
        ++i;
        return 0;
    }
    i += size_t(extra) + 1;
    return c;
}

} // namespace sorvane
