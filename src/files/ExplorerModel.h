#pragma once
// What the file explorer shows and decides, apart from its widgets: the device pane's
// items and path button, the name of a new PC folder, the progress texts of a
// transfer and the shared transfer state the loops fill and the dialog reads.
//
// Plain functions; TransferState is shared between the thread that runs a transfer
// and the user-interface thread (atomics, the name under a mutex).

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "files/DeviceFolder.h"
#include "files/FileTransfer.h"
#include "files/FolderPath.h"
#include "files/SortKeys.h"

namespace sorvane {

inline constexpr std::string_view kMyDevice = "My Device";

// "My Device" for the root (""), otherwise the last component of the folder.
std::string DevicePathButtonText(std::string_view folder);
// The folder (marked "* "), each ancestor, then the root "My Device"; indented two
// spaces per level below the root.
std::vector<FolderMenuEntry> DeviceFolderMenu(std::string_view folder);

// The device pane's items: folders whose name begins with "." left out (such files
// stay), ordered by key with equal keys in reply order.
std::vector<DeviceItem> DevicePaneItems(std::vector<DeviceItem> items, SortKey key);

// The first of "New Folder", "New Folder(1)", "New Folder(2)", ... for which exists
// is false; empty when the first 10000 are all taken.
std::string NewFolderName(const std::function<bool(const std::string&)>& exists);

// True when name ends in ".EXE" (compared in upper case): the only files "Run..." takes.
bool IsRunnableName(std::string_view name);

// The transfer as the loops leave it and the "File Xfer Status" dialog reads it.
class TransferState final : public TransferProgress {
public:
    struct Snapshot {
        int64_t fileIndex = -1;
        uint64_t fileCount = 0, blockIndex = 0, blockCount = 0, fileSize = 0, bytesDone = 0, bytesTotal = 0;
    };

    TransferState(uint64_t fileCount, uint64_t bytesTotal);

    // Called on the transfer's thread with the base name of each file as it begins, as PC text.
    void setOnFileStarted(std::function<void(const std::string&)> f) { onFileStarted_ = std::move(f); }
    void cancel() { cancel_ = true; }
    bool isCancelled() const { return cancel_; }
    Snapshot snapshot() const;
    std::string fileName() const;

    void fileStarted(size_t index, std::string_view name, uint64_t size, uint64_t blockCount) override;
    void blockMoved(uint64_t nextBlock, uint64_t bytesDone) override;
    bool cancelled() override { return cancel_; }

private:
    std::atomic<int64_t> fileIndex_{-1};
    std::atomic<uint64_t> fileCount_, blockIndex_{0}, blockCount_{0}, fileSize_{0}, bytesDone_{0}, bytesTotal_;
    std::atomic<bool> cancel_{false};
    mutable std::mutex nameMutex_;
    std::string name_;
    std::function<void(const std::string&)> onFileStarted_;
};

struct TransferTexts {
    std::string files;  // "%d of %d Files"
    std::string bytes;  // "%d of %d Bytes"
    std::string total;  // "%d of %d Total Bytes" (empty while bytesTotal is 0)
    std::string rate;   // "%d Bps, %02d:%02d remaining"
    int fileBar = 0;    // 0..100
    int totalBar = 0;   // 0..100
};
// elapsedMs: since the dialog opened. Bytes of the current file are shown as the
// blocks done times 32768, at most the file's size.
TransferTexts DescribeTransfer(const TransferState::Snapshot& s, uint64_t elapsedMs);

} // namespace sorvane
