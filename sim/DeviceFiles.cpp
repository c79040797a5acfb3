#include "DeviceFiles.h"

#include <algorithm>

namespace sorvane::sim {

std::vector<DeviceFile> deviceFiles()
{
    std::vector<DeviceFile> files = {
        {"My Documents", 0, true}, {"Templates", 0, true},      {"Shopping list.txt", 412, false},
        {"Budget.csv", 2310, false}, {"Photo 001.jpg", 48213, false}, {"Meeting notes.txt", 1877, false},
        {"Readme.txt", 960, false},
    };
    std::sort(files.begin(), files.end(), [](const DeviceFile& a, const DeviceFile& b) {
        return a.folder != b.folder ? a.folder : a.name < b.name;
    });
    return files;
}

} // namespace sorvane::sim
