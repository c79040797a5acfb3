#include "files/ExplorerModel.h"

#include <algorithm>
#include <cstdio>

#include "files/BlockCodec.h"
#include "files/DeviceNames.h"

namespace sorvane {

std::string DevicePathButtonText(std::string_view folder)
{
    while (!folder.empty() && folder.back() == '\\')
        folder.remove_suffix(1);
    if (folder.empty())
        return std::string(kMyDevice);
    return std::string(DeviceBaseName(folder));
}

std::vector<FolderMenuEntry> DeviceFolderMenu(std::string_view folder)
{
    std::vector<std::string> chain;
    std::string f(folder);
    while (!f.empty() && f != "\\") {
        chain.push_back(f);
        f = DeviceParent(f);
    }
    chain.push_back("");
    std::vector<FolderMenuEntry> menu;
    const size_t depth = chain.size() - 1;
    for (size_t k = 0; k < chain.size(); ++k) {
        FolderMenuEntry e;
        e.folder = chain[k];
        e.current = k == 0;
        e.text = std::string(2 * (depth - k), ' ') + (e.current ? "* " : "") + DevicePathButtonText(chain[k]);
        menu.push_back(std::move(e));
    }
    return menu;
}

std::vector<DeviceItem> DevicePaneItems(std::vector<DeviceItem> items, SortKey key)
{
    std::erase_if(items, [](const DeviceItem& i) { return i.folder && !i.name.empty() && i.name[0] == '.'; });
    std::stable_sort(items.begin(), items.end(),
                     [key](const DeviceItem& a, const DeviceItem& b) { return CompareSortKeys(a.keys, b.keys, key) < 0; });
    return items;
}

std::string NewFolderName(const std::function<bool(const std::string&)>& exists)
{
    if (!exists("New Folder"))
        return "New Folder";
    for (int n = 1; n < 10000; ++n) {
        std::string name = "New Folder(" + std::to_string(n) + ")";
        if (!exists(name))
            return name;
    }
    return "";
}

bool IsRunnableName(std::string_view name)
{
    if (name.size() < 4)
        return false;
    std::string tail(name.substr(name.size() - 4));
    for (char& c : tail)
        c = char(std::toupper(static_cast<unsigned char>(c)));
    return tail == ".EXE";
}

TransferState::TransferState(uint64_t fileCount, uint64_t bytesTotal) : fileCount_(fileCount), bytesTotal_(bytesTotal) {}

TransferState::Snapshot TransferState::snapshot() const
{
    return Snapshot{fileIndex_.load(), fileCount_.load(), blockIndex_.load(), blockCount_.load(),
                    fileSize_.load(),  bytesDone_.load(), bytesTotal_.load()};
}

std::string TransferState::fileName() const
{
    std::lock_guard lock(nameMutex_);
    return name_;
}

void TransferState::fileStarted(size_t index, std::string_view name, uint64_t size, uint64_t blockCount)
{
    {
        std::lock_guard lock(nameMutex_);
        name_ = PcTextOfDevice(name);
    }
    blockIndex_ = 0;
    blockCount_ = blockCount;
    fileSize_ = size;
    fileIndex_ = int64_t(index);
    if (onFileStarted_)
        onFileStarted_(PcTextOfDevice(name));
}

void TransferState::blockMoved(uint64_t nextBlock, uint64_t bytesDone)
{
    blockIndex_ = nextBlock;
    bytesDone_ = bytesDone;
}

TransferTexts DescribeTransfer(const TransferState::Snapshot& s, uint64_t elapsedMs)
{
    TransferTexts t;
    auto fmt = [](const char* f, unsigned long long a, unsigned long long b) {
        char buf[96];
        std::snprintf(buf, sizeof buf, f, a, b);
        return std::string(buf);
    };
    t.files = fmt("%llu of %llu Files", uint64_t(std::max<int64_t>(s.fileIndex, 0)) + 1, s.fileCount);
    t.bytes = fmt("%llu of %llu Bytes", std::min(s.blockIndex * kTransferBlockSize, s.fileSize), s.fileSize);
    t.fileBar = s.blockCount ? int(std::min<uint64_t>(s.blockIndex * 100 / s.blockCount, 100)) : 0;
    if (s.bytesTotal) {
        t.totalBar = int(std::min<uint64_t>(s.bytesDone * 100 / s.bytesTotal, 100));
        t.total = fmt("%llu of %llu Total Bytes", s.bytesDone, s.bytesTotal);
    }
    const uint64_t seconds = std::max<uint64_t>((elapsedMs + 999) / 1000, 1);
    const uint64_t rate = s.bytesDone / seconds;
    const uint64_t remaining = rate ? (s.bytesTotal > s.bytesDone ? s.bytesTotal - s.bytesDone : 0) / rate : 0;
    char buf[96];
    std::snprintf(buf, sizeof buf, "%llu Bps, %02llu:%02llu remaining", (unsigned long long)rate,
                  (unsigned long long)(remaining / 60), (unsigned long long)(remaining % 60));
    t.rate = buf;
    return t;
}

} // namespace sorvane
