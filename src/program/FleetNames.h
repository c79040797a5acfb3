#pragma once
// Names of files and folders made from devices when one command acts on many of them
// (the command line's many connections, the Devices window's fleet commands): each is
// the device's name made safe for a file name, followed by the profile name (or the
// slot) when two devices share a name, so that no two devices write the same file and
// nothing is written outside the chosen folder.

#include <string>
#include <string_view>
#include <vector>

namespace sorvane {

// `name` (UTF-8) as one component of a file name: never empty, no '/' or '\', no
// leading '.', control characters (and '%') escaped as %XX, at most 120 bytes (cut on a
// character boundary).
std::string SafeFileNamePart(std::string_view name);

struct FleetMember {
    std::string deviceName;  // as the device reports it (UTF-8)
    std::string profileName; // the profile it was opened from; empty: none
    int slot = -1;           // the device table's slot, or the command line's place
};

// One label per member, in order, each a SafeFileNamePart: the device name alone when no
// other member's safe name equals it (ignoring case), else followed by "-" and the safe
// profile name, or by "-" and the slot when that still does not tell it apart. The
// labels are distinct (ignoring case).
std::vector<std::string> UniqueDeviceLabels(const std::vector<FleetMember>& members);

// `path` with "-" and `label` put before the extension of its last component, in the same
// folder: ("out/shot.png", "Till") gives "out/shot-Till.png"; a name without an extension
// (or one whose only dot leads it, ".log") gets the label at its end.
std::string LabelledFileName(std::string_view path, std::string_view label);

} // namespace sorvane
