#pragma once
// Device file names and paths between the PC, whose text is UTF-8, and the device,
// whose names travel in Windows-1252, and the rule for the name of a file the PC
// creates on the device.
//
// Plain functions; no thread restrictions.

#include <string>
#include <string_view>

namespace sorvane {

// Device bytes as PC text: each byte as its Windows-1252 character, the five bytes the
// code page leaves undefined as the C1 control of the same number. Every device name has
// one PC spelling, and DeviceTextOfPc gives its bytes back.
std::string PcTextOfDevice(std::string_view deviceBytes);

struct DeviceName {
    std::string bytes;   // the device's spelling, when problem is empty
    std::string problem; // why there is none, naming the character: "the device cannot hold '✓' (U+2713)"
    bool ok() const { return problem.empty(); }
};

// PC text (a name or a whole device path) as device bytes: the inverse of
// PcTextOfDevice. Fails on text that is not UTF-8, on NUL and on a character that
// Windows-1252 lacks.
DeviceName DeviceTextOfPc(std::string_view pcText);

// A PC name as the name of a new device file. Beyond DeviceTextOfPc it is a name a
// Windows file system holds as given: not empty, not "." or "..", none of
// \ / : * ? " < > |, no control character (below U+0020, U+007F, U+0080..U+009F), and
// not ending in "." or " " (which the device drops, so the file would land under
// another name, perhaps over another file).
DeviceName NewDeviceFileName(std::string_view pcName);

} // namespace sorvane
