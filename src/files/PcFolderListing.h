#pragma once
// The listing of one PC folder as the folder browsers show it: the Select Directory
// dialog (folders only) and the PC pane of the file explorer (folders, then files).
// The top of the tree (the empty folder, "My Computer") lists the drives, which on
// this system are places to start from: the root "/" and the user's home folder.
//
// Thread: any; blocks on the file system.

#include <cstdint>
#include <ctime>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "files/SortKeys.h"

namespace sorvane {

struct PcFolderItem {
    enum class Kind { Drive, Folder, File };

    std::string name;     // the entry's name; a drive's full path
    Kind kind = Kind::File;
    uint64_t size = 0;    // files only
    std::time_t modified = 0;
    std::string sizeText; // files: FormatSize(size); empty otherwise
    std::string dateText; // files: "MM/DD/YY"; empty otherwise
    SortKeyRecord keys;

    bool isFolderLike() const { return kind != Kind::File; }
};

struct PcFolderListing {
    std::vector<PcFolderItem> items; // in display order
    std::string error;               // the folder could not be read (items then empty)
};

// "/" and $HOME when it is set and is another folder.
std::vector<std::string> defaultPcDrives();

// Lists folder (an absolute folder as FolderPath.h describes, or "" for the drives).
// Folders whose name begins with "." are left out; files are left out with
// foldersOnly. Entries come in name order, folders first, and are then sorted by
// key, equal keys keeping that order.
PcFolderListing ListPcFolder(std::string_view folder, bool foldersOnly, std::span<const std::string> drives,
                             SortKey key);

// Sorts items by key, equal keys keeping their order.
void SortPcListing(std::vector<PcFolderItem>& items, SortKey key);

} // namespace sorvane
