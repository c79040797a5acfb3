#pragma once
// The PC's file system as the explorer's PC pane works on it, and the PC end of a copy
// across. Folders are absolute as FolderPath.h describes; "" is the top, which lists
// the drives (places to start from, never renamed or deleted from here).
//
// Rename never goes over an existing entry (its old contents would be lost); Delete
// takes a file or link as itself (what a link points to is never touched) and a
// folder with everything in it.
//
// Thread: any; every call blocks on the file system and calls done before it returns.

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "files/FileTransfer.h"
#include "files/FolderSide.h"

namespace sorvane {

class PcSide final : public FolderSide {
public:
    explicit PcSide(std::vector<std::string> drives) : drives_(std::move(drives)) {}

    std::string parentOf(std::string_view folder) const override;
    std::string pathOf(std::string_view folder, const PaneEntry& entry) const override;
    // A regular file (or a link to one) this process may execute.
    bool runnable(std::string_view folder, const PaneEntry& entry) const override;
    bool deletesFolderContents() const override { return true; }
    bool makesFolders() const override { return true; }

    // A folder that cannot be read lists nothing.
    void list(const std::string& folder, SortKey key, std::function<void(SideListing)> done) override;
    void rename(const std::string& folder, const PaneEntry& entry, const std::string& newText,
                std::function<void(SideOutcome)> done) override;
    void remove(const std::string& folder, std::vector<PaneEntry> entries,
                std::function<void(SideOutcome)> done) override;
    // Fails at the top and where the folder cannot be made (error: the system's reason).
    void makeFolder(const std::string& folder, std::function<void(SideOutcome)> done) override;

private:
    std::vector<std::string> drives_;
};

// The files of a copy across, and the message naming those left out ("" when none).
struct CopyPlan {
    std::vector<TransferFile> files;
    std::string leftOut;
};
// PC files into deviceFolder (Copy To Device, dropped files): each must be a regular
// file whose name the device can hold as given, within the device's path length.
CopyPlan PlanSendToDevice(std::span<const std::string> pcPaths, std::string_view deviceFolder);
// Device entries of deviceFolder into pcFolder (Copy To PC): files only, each under a
// name that stays one PC path component.
CopyPlan PlanReceiveToPc(std::span<const PaneEntry> deviceEntries, std::string_view deviceFolder,
                         std::string_view pcFolder);

} // namespace sorvane
