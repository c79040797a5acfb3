#include "tools/DeviceText.h"

#include <cstdint>

#include "platform/Utf8Text.h"
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
    // The five undefined bytes read as the C1 characters of their number, which the
    // escaping shows as \xhh: the byte the device gave.
    return EscapeText(FromDeviceText(bytes));
}

} // namespace sorvane
