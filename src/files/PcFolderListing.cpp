#include "files/PcFolderListing.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <sys/stat.h>

#include "files/FolderPath.h"
#include "files/ListingText.h"

namespace sorvane {

namespace {

uint32_t dateKeyOf(std::time_t t)
{
    if (t < 0)
        return 0;
    return uint64_t(t) > 0xFFFFFFFFu ? 0xFFFFFFFFu : uint32_t(t);
}

bool nameLess(const PcFolderItem& a, const PcFolderItem& b)
{
    // Case-blind first, so "b" and "B" sit together; bytes decide ties, so the
    // order never depends on the order the system hands the entries out.
    int c = strcasecmp(a.name.c_str(), b.name.c_str());
    return c != 0 ? c < 0 : a.name < b.name;
}

} // namespace

std::vector<std::string> defaultPcDrives()
{
    std::vector<std::string> drives{"/"};
    if (const char* home = std::getenv("HOME")) {
        std::string h = NormalizePcFolder(home);
        if (!h.empty() && h != "/")
            drives.push_back(h);
    }
    return drives;
}

void SortPcListing(std::vector<PcFolderItem>& items, SortKey key)
{
    std::stable_sort(items.begin(), items.end(), [key](const PcFolderItem& a, const PcFolderItem& b) {
        return CompareSortKeys(a.keys, b.keys, key) < 0;
    });
}

PcFolderListing ListPcFolder(std::string_view folder, bool foldersOnly, std::span<const std::string> drives,
                             SortKey key)
{
    PcFolderListing out;
    if (folder.empty()) {
        uint32_t number = 0;
        for (const std::string& d : drives) {
            PcFolderItem item;
            item.name = d;
            item.kind = PcFolderItem::Kind::Drive;
            item.keys = DriveKeys(number++);
            out.items.push_back(std::move(item));
        }
        SortPcListing(out.items, key);
        return out;
    }

    const std::string dirPath(folder);
    DIR* dir = opendir(dirPath.c_str());
    if (!dir) {
        out.error = std::strerror(errno);
        return out;
    }
    std::vector<PcFolderItem> folders, files;
    while (dirent* e = readdir(dir)) {
        std::string name = e->d_name;
        if (name == "." || name == "..")
            continue;
        const std::string full = ChildFolder(dirPath, name);
        struct stat st{};
        if (stat(full.c_str(), &st) != 0 && lstat(full.c_str(), &st) != 0)
            continue; // vanished while listing
        PcFolderItem item;
        item.name = std::move(name);
        item.modified = st.st_mtime;
        if (S_ISDIR(st.st_mode)) {
            if (item.name.front() == '.')
                continue;
            item.kind = PcFolderItem::Kind::Folder;
            item.keys = EntryKeys(item.name, true, EntrySide::Pc, 0, dateKeyOf(st.st_mtime));
            folders.push_back(std::move(item));
        } else if (!foldersOnly) {
            item.kind = PcFolderItem::Kind::File;
            item.size = S_ISREG(st.st_mode) && st.st_size > 0 ? uint64_t(st.st_size) : 0;
            item.sizeText = FormatSize(item.size);
            item.dateText = FormatPcDate(st.st_mtime);
            item.keys = EntryKeys(item.name, false, EntrySide::Pc, item.size, dateKeyOf(st.st_mtime));
            files.push_back(std::move(item));
        }
    }
    closedir(dir);
    std::sort(folders.begin(), folders.end(), nameLess);
    std::sort(files.begin(), files.end(), nameLess);
    out.items = std::move(folders);
    std::move(files.begin(), files.end(), std::back_inserter(out.items));
    SortPcListing(out.items, key);
    return out;
}

} // namespace sorvane
