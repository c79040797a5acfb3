#include "files/DeviceNames.h"

#include <cstdio>

#include "platform/Windows1252.h"

namespace sorvane {
namespace {

bool isControl(char32_t c) { return c < 0x20 || (c >= 0x7F && c < 0xA0); }

// 'é' (U+00E9), '\', or the control character U+000A.
std::string describe(char32_t c)
{
    char code[16];
    std::snprintf(code, sizeof code, "U+%04X", unsigned(c));
    if (isControl(c))
        return std::string("the control character ") + code;
    std::string s = "'";
    AppendUtf8(s, c);
    s += "'";
    if (c >= 0x80)
        s += std::string(" (") + code + ")";
    return s;
}

// The device's spelling of text; with fileName, a character a file name cannot hold is
// refused as well.
DeviceName convert(std::string_view text, bool fileName)
{
    DeviceName out;
    out.bytes.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        bool bad = false;
        const size_t at = i;
        const char32_t c = NextUtf8(text, i, bad);
        if (bad) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02x", unsigned(uint8_t(text[at])));
            return DeviceName{{}, std::string("the name is not UTF-8 (the byte ") + hex + ")"};
        }
        const bool forbidden = isControl(c) || std::u32string_view(U"\\/:*?\"<>|").find(c) != std::u32string_view::npos;
        if (c == 0 || (fileName && forbidden)) {
            return DeviceName{{}, "a device file name cannot hold " + describe(c)};
        }
        int b = Windows1252Byte(c);
        if (b < 0 && c < 0x100 && Windows1252Undefined(uint8_t(c)))
            b = int(c); // the spelling PcTextOfDevice gives the undefined bytes
        if (b < 0) {
            return DeviceName{{}, "the device cannot hold " + describe(c)};
        }
        out.bytes += char(b);
    }
    return out;
}

} // namespace

std::string PcTextOfDevice(std::string_view deviceBytes) { return Windows1252ToUtf8(deviceBytes); }

DeviceName DeviceTextOfPc(std::string_view pcText) { return convert(pcText, false); }

DeviceName NewDeviceFileName(std::string_view pcName)
{
    DeviceName out = convert(pcName, true);
    if (!out.ok())
        return out;
    if (pcName.empty() || pcName == "." || pcName == "..")
        out.problem = "a device file name cannot be '" + std::string(pcName) + "'";
    else if (pcName.back() == '.' || pcName.back() == ' ')
        out.problem = std::string("a device file name cannot end in ") + (pcName.back() == '.' ? "'.'" : "a space");
    if (!out.ok())
        out.bytes.clear();
    return out;
}

} // namespace sorvane
