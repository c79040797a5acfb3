#pragma once
// The blocks files travel in. A file of size bytes goes as size / 32768 + 1 blocks;
// block i stands for the bytes from i * 32768, 32768 of them except in the last
// block, which holds size mod 32768 (so a size that is a multiple of 32768, 0
// included, ends with a block of no bytes). Each block is preceded by a header:
//
//   offset  size  field
//        0     4  packet       'l' {108,FF,108,11} write a block, 'k' {107,FF,107,11} read one
//        4     4  handle       the device file handle of the open reply (echoed only)
//        8     4  blockIndex
//       12     4  wireLength   data bytes after the header
//       16     4  rawLength    file bytes the block stands for
//       20     4  crc          CRC-32 (link/Crc32.h) of the data bytes as sent
//       24     4  compressed   bit 0: the data is a zlib stream (level 1), else raw bytes
//       28     4  reserved     0
//
// All integers little-endian. Plain functions and values; no thread restrictions.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace sorvane {

inline constexpr uint32_t kTransferBlockSize = 32768;
inline constexpr size_t kBlockHeaderSize = 32;
// The most data a read-block reply may carry: a zlib stream of a whole block that did
// not shrink (zlib's compressBound(32768)), from an agent that sends such streams
// as they are. Anything longer is a bad block.
inline constexpr uint32_t kMaxWireLength = kTransferBlockSize + 23;

struct BlockHeader {
    std::array<uint8_t, 4> packet{}; // as received; BlockHeader::make fills a command packet
    uint32_t handle = 0;
    uint32_t blockIndex = 0;
    uint32_t wireLength = 0;
    uint32_t rawLength = 0;
    uint32_t crc = 0;
    uint32_t compressed = 0;
    uint32_t reserved = 0;

    static BlockHeader make(uint8_t code, uint32_t handle, uint32_t blockIndex);
    uint8_t code() const { return packet[0]; }
};

void EncodeBlockHeader(const BlockHeader& header, std::span<uint8_t, kBlockHeaderSize> out);
BlockHeader DecodeBlockHeader(std::span<const uint8_t, kBlockHeaderSize> in);

// size / 32768 + 1.
uint64_t BlockCountOf(uint64_t size);
// The raw length of block index of a file of size bytes.
uint32_t RawLengthOf(uint64_t size, uint64_t index);

// Compresses in (at most 32768 bytes) with zlib level 1 into out, which has room for
// in.size() bytes. Returns the wire length: the stream's length when it fits in that
// room, otherwise in.size() with the raw bytes copied into out unchanged (a stored
// block, still flagged compressed by the sender; the empty block is one of them).
size_t CompressBlock(std::span<const uint8_t> in, std::span<uint8_t> out);

// Inflates a zlib stream into out. True only when the stream ends properly (its
// check value included) having produced exactly out.size() bytes.
bool UncompressBlock(std::span<const uint8_t> in, std::span<uint8_t> out);

// The same two for a run of blocks: each block is still a zlib stream of its own (the
// same bytes as CompressBlock makes), but the coder's state (some 270 KB to deflate,
// 40 KB to inflate) is made once and reset between blocks instead of being allocated
// and cleared for each. One object per thread.
class BlockCoder {
public:
    BlockCoder();
    ~BlockCoder();
    BlockCoder(const BlockCoder&) = delete;
    BlockCoder& operator=(const BlockCoder&) = delete;

    size_t compress(std::span<const uint8_t> in, std::span<uint8_t> out);
    bool uncompress(std::span<const uint8_t> in, std::span<uint8_t> out);

private:
    struct Streams;
    Streams* streams_;
};

} // namespace sorvane
