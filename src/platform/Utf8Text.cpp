#include "platform/Utf8Text.h"

#include <cstdint>

namespace sorvane {
namespace {

constexpr char kHex[] = "0123456789abcdef";

void appendHex(std::string& out, const char* prefix, uint32_t v, int digits)
{
    out += prefix;
    for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4)
        out += kHex[(v >> shift) & 15];
}

// Characters that lay text out rather than show: a label breaks its line at the
// separators, and the direction marks and overrides reorder what follows them.
bool layoutControl(char32_t c)
{
    return c == 0x061C || c == 0x200E || c == 0x200F || c == 0x2028 || c == 0x2029 || (c >= 0x202A && c <= 0x202E) ||
           (c >= 0x2066 && c <= 0x2069);
}

} // namespace

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

std::string EscapeText(std::string_view utf8)
{
    std::string out;
    out.reserve(utf8.size());
    size_t i = 0;
    while (i < utf8.size()) {
        const size_t at = i;
        bool bad = false;
        const char32_t c = NextUtf8(utf8, i, bad);
        if (bad)
            appendHex(out, "\\x", uint8_t(utf8[at]), 2);
        else if (c == '\n')
            out += "\\n";
        else if (c == '\t')
            out += "\\t";
        else if (c < 0x20 || (c >= 0x7F && c < 0xA0))
            appendHex(out, "\\x", uint32_t(c), 2);
        else if (layoutControl(c))
            appendHex(out, "\\u", uint32_t(c), 4);
        else
            out.append(utf8.substr(at, i - at));
    }
    return out;
}

} // namespace sorvane
