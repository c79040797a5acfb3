#pragma once
// Text between the PC (Unicode, held as UTF-8) and the device, which takes and gives
// 8-bit text in Windows-1252.

#include <cstddef>
#include <string>
#include <string_view>

namespace sorvane {

struct DeviceTextResult {
    std::string bytes;      // Windows-1252
    size_t unmappable = 0;  // characters Windows-1252 lacks, each sent as '?'
};

// PC text to device text: every character Windows-1252 has becomes its byte, any
// other (and every byte that is not UTF-8) becomes '?', counted; a line feed not
// already after a carriage return becomes CR LF. The text ends at its first NUL, as
// the device takes it.
DeviceTextResult ToDeviceText(std::string_view utf8);

// Device text to UTF-8: each byte as its Windows-1252 character; the five bytes the
// code page leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) as the C1 characters of
// the same number.
std::string FromDeviceText(std::string_view bytes);

// Device text (names, titles, status texts) made safe for a terminal and for readers of
// line reports: each byte as its Windows-1252 character, escaped as EscapeText does
// (platform/Utf8Text.h); the five undefined bytes and the control bytes become \xhh, the
// backslash stays as it is. A report line can never be split or forged.
std::string EscapeDeviceText(std::string_view bytes);

} // namespace sorvane
