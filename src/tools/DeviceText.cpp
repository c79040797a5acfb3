#include "tools/DeviceText.h"

#include <cstdint>

#include "platform/Windows1252.h"

namespace sorvane {

DeviceTextResult ToDeviceText(std::string_view utf8)
{
    DeviceTextResult r;
    r.bytes.reserve(utf8.size() + utf8.size() / 16);
    size_t i = 0;
    while (i < utf8.size()) {
        bool bad = false;
        const char32_t c = NextUtf8(utf8, i, bad);
        if (bad) {
            r.bytes += '?';
            ++r.unmappable;
            continue;
        }
        if (c == 0)
            break;
        if (c == '\n' && (r.bytes.empty() || r.bytes.back() != '\r'))
            r.bytes += '\r';
        const int b = Windows1252Byte(c);
        if (b < 0) {
            r.bytes += '?';
            ++r.unmappable;
        } else {
            r.bytes += char(b);
        }
    }
    return r;
}

std::string FromDeviceText(std::string_view bytes) { return Windows1252ToUtf8(bytes); }

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
        else if (b < 0x20 || b == 0x7F || Windows1252Undefined(b)) {
            out += "\\x";
            out += kHex[b >> 4];
            out += kHex[b & 15];
        } else {
            AppendUtf8(out, Windows1252Char(b));
        }
    }
    return out;
}

} // namespace sorvane
