#pragma once
// The devices of a run on several at once: the connections given on the command line
// (a connection option repeated) and those of a --devices file, one a line:
//
//   # the scanners of dock A
//   --host 10.0.0.21
//   --host 10.0.0.22 --port 2000 --password "dock a"
//   --proxy 10.0.0.5:1900 --pick "Scanner 7"
//
// A line holds one connection in the command line's option syntax (the connection
// options and --password); words are split at blanks, and "..." or '...' keep blanks in
// one word (a backslash takes the next character as it is, except inside '...'); a line
// that is blank or whose first word starts with '#' holds none. Connection options given
// before every connection on the command line go with each line too (a line's own
// options follow them, so they win).
//
// Checked for every run on several devices: one link kind in all (the kinds dial so
// differently that a run mixing them is taken for a mistake), each --lan connection
// with its own --pick (discovery would hand every one of them the first device to
// answer), each --listen connection on a port of its own (not 0: the port would only be
// shown once every device had connected), no connection twice, at most kMaxFleet devices, and a command that runs on
// several devices at once (RunsOnManyDevices).

#include <string>
#include <string_view>
#include <vector>

#include "cli/CliOptions.h"

namespace sorvane::cli {

inline constexpr size_t kMaxFleet = 256;
// A --devices file holds at most this many bytes.
inline constexpr uint64_t kMaxDeviceListBytes = 256 * 1024;

// Adds the --devices file's connections (if one is named) to o.devices, then checks the
// run. False with a one-line reason that names the file and line where one is at fault.
bool LoadDeviceList(CliOptions& o, std::string& error);

// The words of one line of a --devices file; false with the reason on an unclosed quote
// or a control character.
bool SplitDeviceLine(std::string_view line, std::vector<std::string>& words, std::string& error);

// info, capture, play, scenario, put, get, type, reset.
bool RunsOnManyDevices(const std::string& command);

// What a device's connection is called where nothing better is known (a failed connect)
// and what tells two devices of one name apart: the host (with its port when not the
// default), the serial line, the picked name, the inbound port.
std::string ConnectionPlace(const CliOptions& device);

} // namespace sorvane::cli
