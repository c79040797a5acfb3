#include "files/FileTransfer.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>
#include <cstdio>
#include <random>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/prctl.h>
#endif

#include "files/BlockCodec.h"
#include "files/DeviceFolder.h"
#include "link/CommandPacket.h"
#include "link/Crc32.h"
#include "platform/ByteOrder.h"
#include "platform/RegularFile.h"

namespace sorvane {
namespace {

class Fd {
public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    ~Fd() { reset(); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }
    bool ok() const { return fd_ >= 0; }
    bool close()
    {
        int fd = fd_;
        fd_ = -1;
        return fd < 0 || ::close(fd) == 0;
    }
    void reset() { close(); }

private:
    int fd_;
};

bool readAt(int fd, uint8_t* out, size_t n, uint64_t offset)
{
    while (n > 0) {
        ssize_t r = ::pread(fd, out, n, off_t(offset));
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
            return false;
        out += r;
        n -= size_t(r);
        offset += uint64_t(r);
    }
    return true;
}

bool writeAt(int fd, const uint8_t* in, size_t n, uint64_t offset)
{
    while (n > 0) {
        ssize_t r = ::pwrite(fd, in, n, off_t(offset));
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
            return false;
        in += r;
        n -= size_t(r);
        offset += uint64_t(r);
    }
    return true;
}

// Opens a new file beside target: "<folder>/.<name>.part-<n>", created exclusively
// with the ordinary file permissions (the umask applies). The name is cut (at a
// character's start) so that the whole stays within the folder's name length limit:
// a target whose name is already near the limit still gets a temporary beside it.
Fd openTempBeside(const std::string& target, std::string& tempPath)
{
    const size_t slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : target.substr(0, slash + 1);
    std::string name(PcBaseName(target));
    const long limit = ::pathconf(folder.empty() ? "." : folder.c_str(), _PC_NAME_MAX);
    const size_t nameMax = limit > 0 ? size_t(limit) : size_t(NAME_MAX);
    constexpr size_t kSuffix = 14; // ".part-" and eight hex digits
    if (1 + name.size() + kSuffix > nameMax) {
        size_t keep = nameMax > 1 + kSuffix ? nameMax - 1 - kSuffix : 0;
        while (keep > 0 && (uint8_t(name[keep]) & 0xC0) == 0x80)
            --keep;
        name.resize(keep);
    }
    std::random_device rd;
    for (int attempt = 0; attempt < 16; ++attempt) {
        char suffix[32];
        std::snprintf(suffix, sizeof suffix, ".part-%08x", unsigned(rd()));
        tempPath = folder + "." + name + suffix;
        int fd = ::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0)
            return Fd(fd);
        if (errno != EEXIST)
            break;
    }
    tempPath.clear();
    return Fd();
}

// A file replaced keeps its permissions (a private file stays private); the set-id
// bits are not carried over to content from the device.
bool keepModeOf(const std::string& target, int fd)
{
    struct stat st {};
    if (::stat(target.c_str(), &st) != 0)
        return errno == ENOENT; // a new file: the umask's permissions
    return ::fchmod(fd, st.st_mode & 0777) == 0;
}

void sendPathMessage(LinkChannel& channel, uint8_t code, std::string_view path)
{
    auto m = BuildPathMessage(code, path);
    channel.send(m.data(), m.size());
}

bool readHandle(LinkChannel& channel, uint32_t& handle)
{
    uint8_t h[4];
    if (channel.recv(h, 4) != 4) {
        channel.discardPending();
        return false;
    }
    handle = loadLe32(h);
    return true;
}

void closeDeviceFile(LinkChannel& channel, uint32_t handle)
{
    uint8_t m[8];
    BuildCommand(std::span<uint8_t, 4>(m, 4), CmdCloseFile);
    storeLe32(m + 4, handle);
    channel.send(m, sizeof m);
}

void deleteDeviceFile(LinkChannel& channel, std::string_view path)
{
    sendPathMessage(channel, CmdDelete, path);
    uint8_t r[4];
    if (channel.recv(r, 4) != 4)
        channel.discardPending();
}

// The pause after each sent block is 1 ms, and the kernel's timer slack (50 us by
// default) would lengthen every one of them by half as much again on top of the wake-up.
// The calling thread's slack is narrowed while the blocks go and restored afterwards.
class TightPauses {
public:
#ifdef __linux__
    TightPauses() : old_(::prctl(PR_GET_TIMERSLACK, 0, 0, 0, 0))
    {
        if (old_ > 1)
            ::prctl(PR_SET_TIMERSLACK, 1UL, 0, 0, 0);
    }
    ~TightPauses()
    {
        if (old_ > 1)
            ::prctl(PR_SET_TIMERSLACK, static_cast<unsigned long>(old_), 0, 0, 0);
    }
    TightPauses(const TightPauses&) = delete;
    TightPauses& operator=(const TightPauses&) = delete;

private:
    long old_;
#endif
};

void endRemaining(TransferReport& report, size_t from, FileResult why)
{
    for (size_t i = from; i < report.results.size(); ++i)
        report.results[i] = why;
}

} // namespace

std::string_view fileResultText(FileResult result)
{
    switch (result) {
    case FileResult::NotStarted: return "not moved";
    case FileResult::Done: return "done";
    case FileResult::Refused: return "the device refused a block 20 times in a row";
    case FileResult::BadBlocks: return "a block from the device was bad 20 times in a row";
    case FileResult::PcFileUnreadable: return "the PC file cannot be read";
    case FileResult::PcFileUnwritable: return "the PC file cannot be written";
    case FileResult::TooLarge: return "the file is 4 GiB or larger";
    case FileResult::NoReply: return "the device did not answer";
    case FileResult::Cancelled: return "cancelled";
    }
    return "unknown";
}

void TransferReport::setReason(size_t file, std::string reason)
{
    if (reasons.size() < results.size())
        reasons.resize(results.size());
    reasons[file] = std::move(reason);
}

std::string TransferReport::text(size_t file) const
{
    if (file < reasons.size() && !reasons[file].empty())
        return reasons[file];
    return std::string(fileResultText(file < results.size() ? results[file] : FileResult::NotStarted));
}

bool TransferReport::allDone() const
{
    return !cancelled && std::all_of(results.begin(), results.end(), [](FileResult r) { return r == FileResult::Done; });
}

std::string_view PcBaseName(std::string_view path)
{
    size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

TransferReport SendFiles(LinkChannel& channel, std::span<TransferFile> files, const TransferOptions& options,
                         TransferProgress& progress)
{
    TransferReport report;
    report.results.assign(files.size(), FileResult::NotStarted);
    std::vector<uint8_t> packet(kBlockHeaderSize + kTransferBlockSize, 0);
    std::vector<uint8_t> raw(kTransferBlockSize);
    BlockCoder coder;
    TightPauses pauses;

    for (size_t f = 0; f < files.size(); ++f) {
        if (progress.cancelled()) {
            report.cancelled = true;
            break;
        }
        TransferFile& file = files[f];
        // The PC file first: a file that cannot be read is not created on the device.
        // Regular files only: a FIFO or device named here is refused, not waited on or read.
        RegularFile opened = RegularFile::open(file.pcPath, 0xFFFFFFFFull);
        if (!opened) {
            const bool tooLarge = opened.openErrno() == 0 && opened.error().starts_with("is larger");
            report.results[f] = tooLarge ? FileResult::TooLarge : FileResult::PcFileUnreadable;
            if (!tooLarge)
                report.setReason(f, opened.error());
            continue;
        }
        file.size = opened.size();
        Fd pc(opened.release());
        const uint64_t blockCount = BlockCountOf(file.size);
        progress.fileStarted(f, DeviceBaseName(file.devicePath), file.size, blockCount);

        sendPathMessage(channel, CmdCreateWrite, file.devicePath);
        uint32_t handle = 0;
        if (!readHandle(channel, handle)) {
            endRemaining(report, f, FileResult::NotStarted);
            report.results[f] = FileResult::NoReply;
            return report;
        }

        uint64_t block = 0;
        int refusals = 0;
        FileResult result = FileResult::Done;
        while (block < blockCount) {
            if (progress.cancelled()) {
                result = FileResult::Cancelled;
                break;
            }
            if (refusals >= kMaxRefusals) {
                result = FileResult::Refused;
                break;
            }
            const uint32_t rawLength = RawLengthOf(file.size, block);
            uint8_t* data = packet.data() + kBlockHeaderSize;
            // Raw blocks are read straight into the message; others go through the coder.
            uint8_t* readInto = options.compress ? raw.data() : data;
            if (rawLength && !readAt(pc.get(), readInto, rawLength, block * kTransferBlockSize)) {
                result = FileResult::PcFileUnreadable; // shrank or failed while being sent
                break;
            }
            size_t wireLength = rawLength;
            if (options.compress)
                wireLength = coder.compress(std::span<const uint8_t>(raw.data(), rawLength),
                                            std::span<uint8_t>(data, kTransferBlockSize));
            BlockHeader h = BlockHeader::make(CmdWriteBlock, handle, uint32_t(block));
            h.wireLength = uint32_t(wireLength);
            h.rawLength = rawLength;
            h.crc = Crc32(std::span<const uint8_t>(data, wireLength));
            h.compressed = options.compress ? 1 : 0;
            EncodeBlockHeader(h, std::span<uint8_t, kBlockHeaderSize>(packet.data(), kBlockHeaderSize));
            channel.send(packet.data(), kBlockHeaderSize + wireLength);

            uint8_t ack[4];
            const size_t got = channel.recv(ack, 4);
            if (got == 4 && loadLe32(ack) == ReplyAccepted) {
                report.bytesDone += rawLength;
                ++block;
                refusals = 0;
                progress.blockMoved(block, report.bytesDone);
            } else {
                if (got != 4)
                    channel.discardPending();
                ++refusals;
            }
            channel.sleepMs(1);
        }
        closeDeviceFile(channel, handle);
        pc.close();
        report.results[f] = result;
        if (result != FileResult::Done)
            deleteDeviceFile(channel, file.devicePath);
        if (result == FileResult::Cancelled) {
            report.cancelled = true;
            break;
        }
    }
    return report;
}

namespace {

// One attempt at block `block`: true with the block's raw bytes in `good`, which then
// points into out (inflated) or into wire (a raw block, not copied again).
bool fetchBlock(LinkChannel& channel, BlockCoder& coder, uint32_t handle, uint64_t block, uint32_t rawLength,
                bool compress, std::vector<uint8_t>& wire, std::vector<uint8_t>& out, const uint8_t*& good)
{
    uint8_t header[kBlockHeaderSize];
    BlockHeader request = BlockHeader::make(CmdReadBlock, handle, uint32_t(block));
    request.rawLength = rawLength;
    request.compressed = compress ? 1 : 0;
    EncodeBlockHeader(request, header);
    channel.send(header, kBlockHeaderSize);

    if (channel.recv(header, kBlockHeaderSize) != kBlockHeaderSize) {
        channel.discardPending();
        return false;
    }
    const BlockHeader reply = DecodeBlockHeader(header);
    if (reply.wireLength > kMaxWireLength) {
        channel.discardPending(); // more than any block can need: not read into memory
        return false;
    }
    if (reply.wireLength && channel.recv(wire.data(), reply.wireLength) != reply.wireLength) {
        channel.discardPending();
        return false;
    }
    const std::span<const uint8_t> data(wire.data(), reply.wireLength);
    if (reply.rawLength != rawLength || Crc32(data) != reply.crc)
        return false;
    const std::span<uint8_t> raw(out.data(), rawLength);
    if ((reply.compressed & 1) && coder.uncompress(data, raw)) {
        good = out.data();
        return true;
    }
    // Raw data, or a stored block flagged compressed: only exactly rawLength bytes will do.
    if (reply.wireLength != rawLength)
        return false;
    good = wire.data();
    return true;
}

} // namespace

TransferReport ReceiveFiles(LinkChannel& channel, std::span<TransferFile> files, const TransferOptions& options,
                            TransferProgress& progress)
{
    TransferReport report;
    report.results.assign(files.size(), FileResult::NotStarted);
    std::vector<uint8_t> wire(kMaxWireLength);
    std::vector<uint8_t> out(kTransferBlockSize);
    BlockCoder coder;

    for (size_t f = 0; f < files.size(); ++f) {
        if (progress.cancelled()) {
            report.cancelled = true;
            break;
        }
        const TransferFile& file = files[f];
        if (file.size > 0xFFFFFFFFull) {
            report.results[f] = FileResult::TooLarge;
            continue;
        }
        std::string tempPath;
        Fd pc = openTempBeside(file.pcPath, tempPath);
        if (!pc.ok()) {
            report.results[f] = FileResult::PcFileUnwritable;
            continue;
        }
        const uint64_t blockCount = BlockCountOf(file.size);
        progress.fileStarted(f, DeviceBaseName(file.devicePath), file.size, blockCount);

        sendPathMessage(channel, CmdOpenRead, file.devicePath);
        uint32_t handle = 0;
        if (!readHandle(channel, handle)) {
            pc.close();
            ::unlink(tempPath.c_str());
            endRemaining(report, f, FileResult::NotStarted);
            report.results[f] = FileResult::NoReply;
            return report;
        }

        uint64_t block = 0;
        int attempts = 0;
        FileResult result = FileResult::Done;
        while (block < blockCount) {
            if (progress.cancelled()) {
                result = FileResult::Cancelled;
                break;
            }
            if (attempts >= kMaxRefusals) {
                result = FileResult::BadBlocks;
                break;
            }
            const uint32_t rawLength = RawLengthOf(file.size, block);
            const uint8_t* good = nullptr;
            if (!fetchBlock(channel, coder, handle, block, rawLength, options.compress, wire, out, good)) {
                ++attempts;
                continue;
            }
            if (rawLength && !writeAt(pc.get(), good, rawLength, block * kTransferBlockSize)) {
                result = FileResult::PcFileUnwritable;
                break;
            }
            attempts = 0;
            report.bytesDone += rawLength;
            ++block;
            progress.blockMoved(block, report.bytesDone);
        }
        closeDeviceFile(channel, handle);
        if (result == FileResult::Done) {
            // Complete: make it durable, then put it in place of the old file in one step.
            if (::ftruncate(pc.get(), off_t(file.size)) != 0 || !keepModeOf(file.pcPath, pc.get()) ||
                ::fsync(pc.get()) != 0 || !pc.close() ||
                ::rename(tempPath.c_str(), file.pcPath.c_str()) != 0)
                result = FileResult::PcFileUnwritable;
        }
        if (result != FileResult::Done) {
            pc.close();
            ::unlink(tempPath.c_str());
        }
        report.results[f] = result;
        if (result == FileResult::Cancelled) {
            report.cancelled = true;
            break;
        }
    }
    return report;
}

} // namespace sorvane
