#include "files/PcSide.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include "files/DeviceFolder.h"
#include "files/DeviceNames.h"
#include "files/ExplorerModel.h"
#include "files/FolderPath.h"

namespace sorvane {

std::string PcSide::parentOf(std::string_view folder) const { return ParentFolder(folder); }

std::string PcSide::pathOf(std::string_view folder, const PaneEntry& entry) const
{
    return entry.kind == PcFolderItem::Kind::Drive ? entry.name : ChildFolder(folder, entry.name);
}

bool PcSide::runnable(std::string_view folder, const PaneEntry& entry) const
{
    const std::string path = pathOf(folder, entry);
    struct stat st {};
    return entry.kind == PcFolderItem::Kind::File && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
           ::access(path.c_str(), X_OK) == 0;
}

void PcSide::list(const std::string& folder, SortKey key, std::function<void(SideListing)> done)
{
    SideListing out;
    for (PcFolderItem& item : ListPcFolder(folder, false, drives_, key).items) {
        PaneEntry e;
        e.text = item.name;
        e.name = std::move(item.name);
        e.kind = item.kind;
        e.size = item.size;
        e.sizeText = std::move(item.sizeText);
        e.dateText = std::move(item.dateText);
        out.entries.push_back(std::move(e));
    }
    done(std::move(out));
}

void PcSide::rename(const std::string& folder, const PaneEntry& entry, const std::string& newText,
                    std::function<void(SideOutcome)> done)
{
    const bool badName = newText.empty() || newText.find('/') != std::string::npos ||
                         newText.find('\0') != std::string::npos;
    const std::string from = pathOf(folder, entry), to = ChildFolder(folder, newText);
    if (entry.kind == PcFolderItem::Kind::Drive || badName ||
        ::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) != 0) {
        done(SideOutcome{std::string(kRenameFailed), {}});
        return;
    }
    done(SideOutcome{{}, newText});
}

void PcSide::remove(const std::string& folder, std::vector<PaneEntry> entries, std::function<void(SideOutcome)> done)
{
    size_t removed = 0;
    for (const PaneEntry& e : entries) {
        // A drive is where the user's things are, never something to delete from here.
        if (e.kind == PcFolderItem::Kind::Drive)
            continue;
        const std::string path = pathOf(folder, e);
        std::error_code ec;
        if (e.kind == PcFolderItem::Kind::File ? ::unlink(path.c_str()) == 0
                                               : std::filesystem::remove_all(path, ec) > 0 && !ec)
            ++removed;
    }
    done(removed < entries.size() ? SideOutcome{std::string(kNotAllDeleted), {}} : SideOutcome{});
}

void PcSide::makeFolder(const std::string& folder, std::function<void(SideOutcome)> done)
{
    if (folder.empty()) {
        done(SideOutcome{"the drives hold no folders of their own", {}});
        return;
    }
    const std::string name = NewFolderName([&folder](const std::string& n) {
        struct stat st {};
        return ::lstat(ChildFolder(folder, n).c_str(), &st) == 0;
    });
    if (name.empty()) {
        done(SideOutcome{"every new folder name is taken", {}});
        return;
    }
    if (::mkdir(ChildFolder(folder, name).c_str(), 0777) != 0) {
        done(SideOutcome{std::strerror(errno), {}});
        return;
    }
    done(SideOutcome{{}, name});
}

CopyPlan PlanSendToDevice(std::span<const std::string> pcPaths, std::string_view deviceFolder)
{
    CopyPlan plan;
    std::string skipped;
    for (const std::string& path : pcPaths) {
        // A name the device cannot hold as given never reaches it (it could lead out of the folder).
        const DeviceName name = NewDeviceFileName(PcBaseName(path));
        if (!name.ok()) {
            skipped += "\n" + path + ": " + name.problem;
            continue;
        }
        const std::string device = DeviceChild(deviceFolder, name.bytes);
        struct stat st {};
        if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || device.size() > kMaxDevicePath) {
            skipped += "\n" + path;
            continue;
        }
        plan.files.push_back(TransferFile{path, device, uint64_t(st.st_size)});
    }
    if (!skipped.empty())
        plan.leftOut = "These are not files that can be sent, and were left out:" + skipped;
    return plan;
}

CopyPlan PlanReceiveToPc(std::span<const PaneEntry> deviceEntries, std::string_view deviceFolder,
                         std::string_view pcFolder)
{
    CopyPlan plan;
    std::string skipped;
    for (const PaneEntry& e : deviceEntries) {
        if (e.kind != PcFolderItem::Kind::File)
            continue;
        if (!IsSafePcName(e.text)) {
            skipped += "\n" + e.text;
            continue;
        }
        plan.files.push_back(TransferFile{ChildFolder(pcFolder, e.text), DeviceChild(deviceFolder, e.name), e.size});
    }
    if (!skipped.empty())
        plan.leftOut = "These device names cannot be PC file names, and were left out:" + skipped;
    return plan;
}

} // namespace sorvane
