#include "DeviceFiles.h"

#include <algorithm>
#include <filesystem>

namespace sorvane::sim {

std::vector<DeviceFile> deviceFiles(const std::string& folder)
{
    std::vector<DeviceFile> files;
    if (folder.empty()) {
        files = {
            {"My Documents", 0, true}, {"Templates", 0, true},      {"Shopping list.txt", 412, false},
            {"Budget.csv", 2310, false}, {"Photo 001.jpg", 48213, false}, {"Meeting notes.txt", 1877, false},
            {"Readme.txt", 960, false},
        };
    } else {
        std::error_code ec;
        for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
            const bool isFolder = it->is_directory(ec);
            const uintmax_t size = isFolder ? 0 : it->file_size(ec);
            files.push_back({it->path().filename().string(), ec ? 0 : uint32_t(std::min<uintmax_t>(size, UINT32_MAX)),
                             isFolder});
            ec.clear();
        }
    }
    std::sort(files.begin(), files.end(), [](const DeviceFile& a, const DeviceFile& b) {
        return a.folder != b.folder ? a.folder : a.name < b.name;
    });
    return files;
}

} // namespace sorvane::sim
