#pragma once
// Text that a device supplies (its name, process names, file names, status texts),
// made safe for a terminal and for line-oriented readers of sorvane-cli's reports.
//
// Bytes below 0x20, 0x7F and the backslash are escaped: \n, \t, \\ and \xHH for
// the rest; bytes above 0x7F are the device's 8-bit text (Windows-1252) and are
// written as UTF-8, except the five codes that page leaves undefined, which are
// escaped as \xHH. A report line can thus never be split or forged, and no escape
// sequence reaches the terminal.

#include <string>
#include <string_view>

namespace sorvane::cli {

std::string PrintableDeviceText(std::string_view bytes);

} // namespace sorvane::cli
