#pragma once
// Names on the simulated device. Its file system (the sandbox folder) holds them as
// characters, in UTF-8 as the PC does; the agent's wire carries them in Windows-1252, as
// a real agent converts its Unicode names. Kept apart from the client's conversion so
// that each checks the other.

#include <string>
#include <string_view>

namespace sorvane::sim {

// Each wire byte as its character; the five bytes the code page leaves undefined as the
// C1 control of the same number.
std::string wireToDisk(std::string_view wire);
// Each character as its wire byte; '?' for one the code page lacks and for a byte that
// is not UTF-8, as the device's own conversion does.
std::string diskToWire(std::string_view disk);

// A name part a Windows file system holds: none of : * ? " < > | and no control
// character (the backslash and "/" never reach a part).
bool windowsNamePart(std::string_view wire);

} // namespace sorvane::sim
