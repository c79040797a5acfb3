#pragma once
// What the simulated device's Files screen lists. For now a fixed list kept here, in
// one place, so that a folder the agent serves can take its place later.

#include <cstdint>
#include <string>
#include <vector>

namespace sorvane::sim {

struct DeviceFile {
    std::string name;
    uint32_t size = 0; // bytes; 0 for a folder
    bool folder = false;
};

// Folders first, then files, each by name.
std::vector<DeviceFile> deviceFiles();

} // namespace sorvane::sim
