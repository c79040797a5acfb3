#pragma once
// The light device of the file transfer benches: every block of a file encoded before
// the clock starts, and a thread that answers the program's open, write and read
// requests from them (checking each written block against the file's), so no
// device-side zlib, CRC or file work sits on the measured path.

#include <algorithm>
#include <atomic>
#include <cstring>
#include <random>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "BenchLoopback.h"
#include "files/BlockCodec.h"
#include "files/FileTransfer.h"
#include "link/CommandPacket.h"
#include "link/Crc32.h"
#include "platform/ByteOrder.h"

namespace sorvane::bench {

constexpr uint32_t kHandle = 0x1234;

// Text lines and random bytes in turns, a megabyte of each at a time.
inline std::vector<uint8_t> mixedData(size_t size)
{
    std::mt19937 rng(7);
    std::vector<uint8_t> v;
    v.reserve(size);
    for (int part = 0; v.size() < size; ++part) {
        if (part % 2) {
            for (size_t i = 0; i < (1u << 20) && v.size() < size; ++i)
                v.push_back(uint8_t(rng()));
        } else {
            for (int line = 0; v.size() < size && line < 30000; ++line) {
                std::string s = "record " + std::to_string(rng() % 100000) + " of the data set, value " +
                                std::to_string(line) + "\n";
                v.insert(v.end(), s.begin(), s.end());
            }
        }
    }
    v.resize(size);
    return v;
}

// Every block of the file as it travels: header and data, once as the program's write
// message ('l') and once as the device's reply to a read request ('k').
struct Blocks {
    std::vector<std::vector<uint8_t>> writes;
    std::vector<std::vector<uint8_t>> replies;
};

inline std::vector<uint8_t> blockMessage(uint8_t code, uint32_t index, std::span<const uint8_t> raw)
{
    std::vector<uint8_t> m(kBlockHeaderSize + raw.size());
    const size_t wire = CompressBlock(raw, std::span<uint8_t>(m.data() + kBlockHeaderSize, raw.size()));
    m.resize(kBlockHeaderSize + wire);
    BlockHeader h = BlockHeader::make(code, kHandle, index);
    h.wireLength = uint32_t(wire);
    h.rawLength = uint32_t(raw.size());
    h.crc = Crc32(std::span<const uint8_t>(m.data() + kBlockHeaderSize, wire));
    h.compressed = 1;
    EncodeBlockHeader(h, std::span<uint8_t, kBlockHeaderSize>(m.data(), kBlockHeaderSize));
    return m;
}

inline Blocks encodeBlocks(const std::vector<uint8_t>& data)
{
    Blocks b;
    for (uint64_t i = 0; i < BlockCountOf(data.size()); ++i) {
        const std::span<const uint8_t> raw(data.data() + i * kTransferBlockSize, RawLengthOf(data.size(), i));
        b.writes.push_back(blockMessage(CmdWriteBlock, uint32_t(i), raw));
        b.replies.push_back(blockMessage(CmdReadBlock, uint32_t(i), raw));
    }
    return b;
}

// The device end of the link: blocking reads and writes on its own thread.
class Device {
public:
    Device(int fd, const Blocks& blocks) : fd_(fd), blocks_(blocks), thread_([this] { run(); }) {}
    ~Device()
    {
        ::shutdown(fd_, SHUT_RDWR);
        thread_.join();
        ::close(fd_);
    }
    // Written blocks that differed from what the program had to send.
    int wrongBlocks() const { return wrong_.load(); }

private:
    bool readAll(uint8_t* p, size_t n) { return bench::readAll(fd_, p, n); }
    bool writeAll(const uint8_t* p, size_t n) { return bench::writeAll(fd_, p, n); }
    bool writeWord(uint32_t v)
    {
        uint8_t b[4];
        storeLe32(b, v);
        return writeAll(b, 4);
    }
    void run()
    {
        std::vector<uint8_t> in(kBlockHeaderSize + kMaxWireLength + 4096);
        while (readAll(in.data(), 4)) {
            const uint8_t code = in[0];
            if (code == CmdCreateWrite || code == CmdOpenRead || code == CmdDelete) {
                if (!readAll(in.data() + 4, 4))
                    return;
                const uint32_t n = loadLe32(in.data() + 4);
                if (n > in.size() - 8 || !readAll(in.data() + 8, n) || !writeWord(code == CmdDelete ? 0 : kHandle))
                    return;
            } else if (code == CmdCloseFile) {
                if (!readAll(in.data() + 4, 4))
                    return;
            } else if (code == CmdWriteBlock) {
                if (!readAll(in.data() + 4, kBlockHeaderSize - 4))
                    return;
                const uint32_t index = loadLe32(in.data() + 8), wire = loadLe32(in.data() + 12);
                if (wire > kMaxWireLength || !readAll(in.data() + kBlockHeaderSize, wire))
                    return;
                const size_t n = kBlockHeaderSize + wire;
                if (index >= blocks_.writes.size() || blocks_.writes[index].size() != n ||
                    std::memcmp(blocks_.writes[index].data(), in.data(), n) != 0)
                    ++wrong_;
                if (!writeWord(ReplyAccepted))
                    return;
            } else if (code == CmdReadBlock) {
                if (!readAll(in.data() + 4, kBlockHeaderSize - 4))
                    return;
                const uint32_t index = loadLe32(in.data() + 8);
                if (index >= blocks_.replies.size())
                    return;
                if (!writeAll(blocks_.replies[index].data(), blocks_.replies[index].size()))
                    return;
            } else {
                return;
            }
        }
    }

    int fd_;
    const Blocks& blocks_;
    std::atomic<int> wrong_{0};
    std::thread thread_;
};

struct Quiet final : TransferProgress {
    void fileStarted(size_t, std::string_view, uint64_t, uint64_t) override {}
    void blockMoved(uint64_t, uint64_t) override {}
    bool cancelled() override { return false; }
};

} // namespace sorvane::bench
