#include "tools/DeviceText.h"

#include <cstdint>

#include "platform/Utf8Text.h"

namespace sorvane {
namespace {

// Characters of the bytes 0x80..0x9F; 0 where the code page has none.
constexpr char32_t kHigh[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

int toWindows1252(char32_t c)
{
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF))
        return int(c);
    for (int k = 0; k < 32; ++k)
        if (kHigh[k] != 0 && kHigh[k] == c)
            return 0x80 + k;
    return -1;
}

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
        AppendUtf8(out, fromWindows1252(uint8_t(ch)));
    return out;
}

std::string EscapeDeviceText(std::string_view bytes)
{
    // The five undefined bytes read as the C1 characters of their number, which the
    // escaping shows as \xhh: the byte the device gave.
    return EscapeText(FromDeviceText(bytes));
}

} // namespace sorvane
