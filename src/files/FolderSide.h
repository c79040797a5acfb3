#pragma once
// One side of the file explorer, the PC's or the device's, as its pane works on it:
// the folder above, where an entry is, listing, rename, delete and new folder. The
// window holds one for each pane and never asks which side it has.
//
// Every operation ends by calling done exactly once. The PC side does its work in the
// call and calls done before it returns; the device side runs it as a job on the
// connection's thread and calls done later, on the user-interface thread. A failure
// comes as the message the user is shown.
//
// Thread: user-interface thread (the PC side: any thread; it blocks on the file system).

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "files/PcFolderListing.h"
#include "files/SortKeys.h"

namespace sorvane {

// One row of a pane, whichever side it lists.
struct PaneEntry {
    std::string name;                  // as the side spells it: PC bytes, the device's bytes, a drive's path
    std::string text;                  // as the pane shows it (UTF-8)
    PcFolderItem::Kind kind = PcFolderItem::Kind::File;
    uint64_t size = 0;                 // files
    std::string sizeText, dateText;    // the Size and Date columns
};

struct SideListing {
    std::vector<PaneEntry> entries; // in display order
    std::string note;               // why nothing is listed, shown in place of the entries; empty otherwise
    std::string warning;            // a message box to show once the entries are in, empty when none
};

// How rename, delete and new folder ended.
struct SideOutcome {
    std::string error; // the message the user is shown; empty when it was done
    std::string name;  // rename, new folder: the entry's new name as the side spells it
    bool ok() const { return error.empty(); }
};

class FolderSide {
public:
    virtual ~FolderSide() = default;

    // One level up from folder ("" is the top of the side).
    virtual std::string parentOf(std::string_view folder) const = 0;
    // Where an entry of folder is: a drive's own path, otherwise the folder and its name.
    virtual std::string pathOf(std::string_view folder, const PaneEntry& entry) const = 0;
    // A folder as the path button shows it (UTF-8), and back; nullopt when no folder of
    // this side is spelt so.
    virtual std::string folderText(std::string_view folder) const { return std::string(folder); }
    virtual std::optional<std::string> folderOfText(std::string_view text) const { return std::string(text); }
    // Whether Run... can start the entry.
    virtual bool runnable(std::string_view folder, const PaneEntry& entry) const = 0;
    // Whether Delete takes a folder with all of its contents (its question says so).
    virtual bool deletesFolderContents() const = 0;
    // Whether New Folder makes anything on this side (otherwise it does nothing).
    virtual bool makesFolders() const = 0;

    virtual void list(const std::string& folder, SortKey key, std::function<void(SideListing)> done) = 0;
    // Gives the entry of folder the name the user typed (newText, UTF-8).
    virtual void rename(const std::string& folder, const PaneEntry& entry, const std::string& newText,
                        std::function<void(SideOutcome)> done) = 0;
    // Removes the entries of folder; error when not all of them went.
    virtual void remove(const std::string& folder, std::vector<PaneEntry> entries,
                        std::function<void(SideOutcome)> done) = 0;
    // Makes the first free "New Folder", "New Folder(1)", ... in folder.
    virtual void makeFolder(const std::string& folder, std::function<void(SideOutcome)> done) = 0;
};

// The message of a Delete that left entries behind (caption "Delete File(s)").
inline constexpr std::string_view kNotAllDeleted = "Not all of the files were deleted successfully";
// The message of a rename that did not happen (the old name as the caption).
inline constexpr std::string_view kRenameFailed = "Error renaming the file; it may be in-use or marked as read-only.";

} // namespace sorvane
