#pragma once
// The program's command line:
//   sorvane [--connect HOST] [--grid] [--help] [--version]
// --connect HOST (or --connect=HOST) connects to the handheld agent at HOST over
// TCP (a WAN connection), first saving a WAN connection named HOST when none has
// that name. --grid opens the Devices window at start. Qt's own options (-platform, -display, ...) are taken out before
// this sees the arguments.
//
// Plain C++.

#include <optional>
#include <string>
#include <vector>

namespace sorvane {

struct CommandLine {
    std::optional<std::string> connectHost;
    bool grid = false;
    bool help = false;
    bool version = false; // --version: print the version and build date
    std::string error; // non-empty: the arguments were not understood
};

// `args` without the program name.
CommandLine parseCommandLine(const std::vector<std::string>& args);

// The usage text printed for --help and after an error.
std::string usageText();

} // namespace sorvane
