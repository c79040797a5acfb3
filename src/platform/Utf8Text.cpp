#include "platform/Utf8Text.h"

#include <cstdint>

#include "platform/Windows1252.h"

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
