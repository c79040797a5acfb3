#pragma once
// The simulated device's status record, process table and clipboard, and the faults
// of the device tools, as the command line sets them (see the "Device tools" part of
// --help).

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace sorvane::sim {

struct SimProcess {
    uint32_t id = 0;
    uint32_t window = 0; // 0: no window
    std::string name;
    std::string title;
};

struct ToolsOptions {
    // The 48-byte status record's fields.
    uint32_t osMajor = 5, osMinor = 2, osBuild = 1235;
    uint32_t programTotal = 33554432, programFree = 1572864;
    uint32_t storageTotal = 67108864, storageFree = 1048575;
    uint32_t processor = 2577;
    uint8_t battery = 87, backup = 100, charging = 0;
    uint32_t load = 45;

    std::vector<SimProcess> processes = defaultProcesses();
    std::string clipboard;                   // device bytes
    std::optional<uint32_t> clipboardLength; // fault: sent in place of the real length
    std::set<uint8_t> silent;                // fault: commands read and never answered

    static std::vector<SimProcess> defaultProcesses();
};

// Whether `name` is one of these options (all take a value).
bool isToolsOption(const std::string& name);
// Applies one option; false with a reason in `error` for a bad value.
bool parseToolsOption(const std::string& name, const std::string& value, ToolsOptions& tools, bool& processesGiven,
                      std::string& error);

} // namespace sorvane::sim
