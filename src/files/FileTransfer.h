#pragma once
// Whole files between the PC and the device, block by block (files/BlockCodec.h).
//
// Sending, per file: 'i' path message -> u32 handle; then for each block a header 'l'
// with its data in one message, answered by a u32 that accepts it when it is 97
// ('a'); anything else (or no answer) is a refusal and the same block goes again,
// 1 ms after each block. 'j' + handle closes the device file (no answer). A file
// refused 20 times in a row, cancelled, or whose PC bytes cannot be read is deleted on
// the device ('m' path message, its u32 answer read and not judged); a refused file
// does not stop the transfer, a cancel does. A PC file that is no regular file (a
// folder, a FIFO, a device) is refused with the reason before anything is sent.
//
// Receiving, per file: 'h' path message -> u32 handle; for each block a 32-byte 'k'
// header asks for it (rawLength wanted, compressed 1 unless the link is USB), the
// device answers with a header and wireLength data bytes. A block is good when all its
// bytes came, rawLength is the one asked for, the CRC matches and its data gives
// exactly rawLength bytes: inflated when bit 0 of compressed is set, or, when the data
// does not inflate and wireLength equals rawLength, taken raw (a stored block, as
// CompressBlock makes for data that does not shrink); raw data must be rawLength
// bytes. A bad block is asked for again, at most 20 times in a row, then the file
// fails. The file is written into a temporary file beside the target and renamed
// over it only once complete, so a cancel or failure leaves the PC's old file as it
// was; the file put in its place keeps the old one's permission bits. The temporary's
// name is cut to fit the folder's name length limit.
//
// The functions run on the thread that reads the link (a connection job, a
// command-line run) and block in it. TransferProgress is called on that thread.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "link/LinkChannel.h"

namespace sorvane {

inline constexpr int kMaxRefusals = 20;

struct TransferFile {
    std::string pcPath;     // the PC file: the source of a send, the target of a receive
    std::string devicePath; // the device file
    uint64_t size = 0;      // receive: the size the device's listing gave; send: set when the file is opened
};

enum class FileResult {
    NotStarted,       // the transfer ended before this file (cancel, or the link failed)
    Done,
    Refused,          // send: a block refused 20 times in a row (device file deleted)
    BadBlocks,        // receive: a block bad 20 times in a row (PC file left as it was)
    PcFileUnreadable, // send: the PC file cannot be opened or read, or is no regular file (nothing sent for it)
    PcFileUnwritable, // receive: the PC file cannot be created, written or put in place
    TooLarge,         // 4 GiB or more: beyond the device's 32-bit sizes
    NoReply,          // the device did not answer the open request; the link is out of step
    Cancelled,        // cancelled during this file (partial file removed)
};
std::string_view fileResultText(FileResult result);

// What the loops report while they run, and how they learn of a cancel.
class TransferProgress {
public:
    virtual ~TransferProgress() = default;
    // File index (from 0) begins: its base name, its size and its block count.
    virtual void fileStarted(size_t index, std::string_view name, uint64_t size, uint64_t blockCount) = 0;
    // A block was moved: the next block index of the file and the raw bytes moved in
    // the whole transfer so far.
    virtual void blockMoved(uint64_t nextBlock, uint64_t bytesDone) = 0;
    // Asked before every block; true ends the transfer soon.
    virtual bool cancelled() = 0;
};

struct TransferOptions {
    bool compress = true; // false on USB links (link kind 2): every block goes raw, flagged 0
};

struct TransferReport {
    std::vector<FileResult> results; // one per file, in order
    std::vector<std::string> reasons; // where set: why the PC file was refused ("is a folder")
    bool cancelled = false;
    uint64_t bytesDone = 0;
    bool allDone() const;
    void setReason(size_t file, std::string reason);
    // What became of file: its reason, or fileResultText of its result.
    std::string text(size_t file) const;
};

TransferReport SendFiles(LinkChannel& channel, std::span<TransferFile> files, const TransferOptions& options,
                         TransferProgress& progress);
TransferReport ReceiveFiles(LinkChannel& channel, std::span<TransferFile> files, const TransferOptions& options,
                            TransferProgress& progress);

// The text after the last "/" of a PC path.
std::string_view PcBaseName(std::string_view path);

} // namespace sorvane
