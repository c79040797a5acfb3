#pragma once
// What the simulated device's Files screen lists: the top of the folder the agent
// serves as the device's file system (--files), or a fixed list when there is none.

#include <cstdint>
#include <string>
#include <vector>

namespace sorvane::sim {

struct DeviceFile {
    std::string name;
    uint32_t size = 0; // bytes; 0 for a folder
    bool folder = false;
};

// Folders first, then files, each by name. `folder` empty: the fixed list; a folder that
// cannot be read lists nothing.
std::vector<DeviceFile> deviceFiles(const std::string& folder = {});

} // namespace sorvane::sim
