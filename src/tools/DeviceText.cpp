#include "tools/DeviceText.h"

#include <cstdint>

namespace sorvane {
namespace {

// Characters of the bytes 0x80..0x9F; 0 where the code page has none.
constexpr char32_t kHigh[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

void appendUtf8(std::string& out, char32_t c)
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

// The next character of a UTF-8 text; a byte that starts no well-formed sequence
// (overlong forms and surrogates included) is taken alone as `bad`.
char32_t nextUtf8(std::string_view s, size_t& i, bool& bad)
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

int toWindows1252(char32_t c)
{
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF))
        return int(c);
    for (int k = 0; k < 32; ++k)
        if (kHigh[k] != 0 && kHigh[k] == c)
            return 0x80 + k;
    return -1;
}

bool undefinedByte(uint8_t b) { return b >= 0x80 && b < 0xA0 && kHigh[b - 0x80] == 0; }

char32_t fromWindows1252(uint8_t b)
{
    if (b >= 0x80 && b < 0xA0 && kHigh[b - 0x80] != 0)
        return kHigh[b - 0x80];
    return b;
}

} // namespace

DeviceTextResult ToDeviceText(std::string_view utf8)
{
    DeviceTextResult r;
    r.bytes.reserve(utf8.size() + utf8.size() / 16);
    size_t i = 0;
    while (i < utf8.size()) {
        bool bad = false;
        const char32_t c = nextUtf8(utf8, i, bad);
        if (bad) {
            r.bytes += '?';
            ++r.unmappable;
            continue;
        }
        if (c == 0)
            break;
        if (c == '\n' && (r.bytes.empty() || r.bytes.back() != '\r'))
            r.bytes += '\r';
        const int b = toWindows1252(c);
        if (b < 0) {
            r.bytes += '?';
            ++r.unmappable;
        } else {
            r.bytes += char(b);
        }
    }
    return r;
}

std::string FromDeviceText(std::string_view bytes)
{
    std::string out;
    out.reserve(bytes.size());
    for (char ch : bytes)
        appendUtf8(out, fromWindows1252(uint8_t(ch)));
    return out;
}

std::string EscapeDeviceText(std::string_view bytes)
{
    static const char kHex[] = "0123456789abcdef";
    std::string out;
    out.reserve(bytes.size());
    for (char ch : bytes) {
        const uint8_t b = uint8_t(ch);
        if (b == '\n')
            out += "\\n";
        else if (b == '\t')
            out += "\\t";
        else if (b == '\\')
            out += "\\\\";
        else if (b < 0x20 || b == 0x7F || undefinedByte(b)) {
            out += "\\x";
            out += kHex[b >> 4];
            out += kHex[b & 15];
        } else {
            appendUtf8(out, fromWindows1252(b));
        }
    }
    return out;
}

} // namespace sorvane
