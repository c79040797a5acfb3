// File transfers end to end against sorvane-sim serving a
// sandbox folder, over loopback TCP and over pseudo-terminals (COM and USB kinds), the
// link seen through a channel that records the block headers; blocks checked against
// Python's zlib.

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <random>
#include <stdexcept>

#include "files/BlockCodec.h"
#include "files/DeviceFolder.h"
#include "files/FileTransfer.h"
#include "link/CommandPacket.h"
#include "link/Handshake.h"
#include "link/LinkConfig.h"
#include "link/LinkTransport.h"
#include "link/SlotLinkChannel.h"
#include "platform/ByteOrder.h"
#include "platform/PosixTransports.h"
#include "support/SimProcess.h"
#include "support/TempDir.h"

using namespace sorvane;
using namespace sorvane::test;
namespace fs = std::filesystem;

namespace {

// Records the block headers we send and the read-block reply headers we get.
class RecordingChannel final : public LinkChannel {
public:
    explicit RecordingChannel(LinkChannel& inner) : inner_(inner) {}
    std::vector<BlockHeader> sent, replies;
    size_t recv(uint8_t* b, size_t n) override
    {
        size_t got = inner_.recv(b, n);
        if (awaitingReply_ && n == kBlockHeaderSize && got == n)
            replies.push_back(DecodeBlockHeader(std::span<const uint8_t, kBlockHeaderSize>(b, n)));
        awaitingReply_ = false;
        return got;
    }
    void send(const uint8_t* b, size_t n) override
    {
        if (n >= kBlockHeaderSize && (b[0] == CmdWriteBlock || b[0] == CmdReadBlock) && b[1] == 0xFF) {
            sent.push_back(DecodeBlockHeader(std::span<const uint8_t, kBlockHeaderSize>(b, kBlockHeaderSize)));
            awaitingReply_ = b[0] == CmdReadBlock;
        }
        inner_.send(b, n);
    }
    uint8_t readReply() override { return inner_.readReply(); }
    void sleepMs(uint32_t ms) override { inner_.sleepMs(ms); }
    void discardPending() override { inner_.discardPending(); }

private:
    LinkChannel& inner_;
    bool awaitingReply_ = false;
};

struct CountingProgress final : TransferProgress {
    uint64_t blocks = 0;
    uint64_t cancelAfter = UINT64_MAX; // blocks
    void fileStarted(size_t, std::string_view, uint64_t, uint64_t) override {}
    void blockMoved(uint64_t, uint64_t) override { ++blocks; }
    bool cancelled() override { return blocks >= cancelAfter; }
};

// The simulator serving `sandbox`, connected as link kind `kind` (4 TCP, 1 COM and
// 2 USB over a pseudo-terminal).
struct Device {
    TempDir sandbox;
    std::unique_ptr<SimProcess> sim;
    SystemClock clock;
    LinkSlot s;
    TargetAddress target;
    PasswordTable passwords;
    LinkConfig config;
    PosixTransportFactory factory;
    std::unique_ptr<SlotLinkChannel> link;
    std::unique_ptr<RecordingChannel> channel;
    uint32_t kind;

    explicit Device(uint32_t k, std::vector<std::string> extra = {}) : kind(k)
    {
        std::vector<std::string> args{"--files", sandbox.path().string()};
        if (kind == 4)
            args.insert(args.end(), {"--port", "0"});
        else
            args.push_back("--serial");
        args.insert(args.end(), extra.begin(), extra.end());
        sim = std::make_unique<SimProcess>(args);
        const LinkTarget target{kind, 1, 0x7F000001};
        if (kind == 4)
            config.agentPort = uint16_t(sim->tcpPort());
        else
            config.comDevicePattern = config.usbDevicePattern = sim->serialPath();
        s.linkKind = kind;
        s.transport = OpenLinkTransport(this->target, config, target, factory);
        HandshakeEnv env{passwords, nullptr, nullptr, {}, {}};
        const bool passed = kind == 4 ? ConnectLink(s, clock, this->target.endpoint, env).passed()
                                      : DeviceHandshake(s, clock, env) == HandshakeStatus::Passed;
        if (!passed)
            throw std::runtime_error("no connection to the simulator");
        link = std::make_unique<SlotLinkChannel>(s, clock);
        channel = std::make_unique<RecordingChannel>(*link);
    }
    ~Device() { CloseLinkTransport(s); }

    TransferReport send(std::vector<TransferFile> files, TransferProgress& progress)
    {
        return SendFiles(*channel, files, TransferOptions{kind != 2}, progress);
    }
    TransferReport receive(std::vector<TransferFile> files, TransferProgress& progress)
    {
        return ReceiveFiles(*channel, files, TransferOptions{kind != 2}, progress);
    }
};

std::string randomBytes(size_t n, uint32_t seed)
{
    std::mt19937 rng(seed);
    std::string s(n, '\0');
    for (char& c : s)
        c = char(rng());
    return s;
}

std::string textBytes(size_t n)
{
    std::string s;
    for (int i = 0; s.size() < n; ++i)
        s += "line " + std::to_string(i) + " of a text file\n";
    s.resize(n);
    return s;
}

std::vector<std::string> namesIn(const fs::path& folder)
{
    std::vector<std::string> n;
    for (auto& e : fs::directory_iterator(folder))
        n.push_back(e.path().filename().string());
    std::sort(n.begin(), n.end());
    return n;
}

} // namespace

TEST(BlockCodec, HeaderAndDirEntryByteImages)
{
    BlockHeader h = BlockHeader::make(CmdWriteBlock, 0x11223344, 7);
    h.wireLength = 0x100;
    h.rawLength = 0x8000;
    h.crc = 0xCAFEBABE;
    h.compressed = 1;
    uint8_t b[32];
    EncodeBlockHeader(h, b);
    const uint8_t want[32] = {108, 0xFF, 108, 0x11, 0x44, 0x33, 0x22, 0x11, 7, 0, 0, 0, 0, 1, 0, 0,
                              0, 0x80, 0, 0, 0xBE, 0xBA, 0xFE, 0xCA, 1, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(std::vector<uint8_t>(b, b + 32), std::vector<uint8_t>(want, want + 32));

    // A listing reply: two entries, names "sub" and "a.txt"; a third points past the names.
    std::vector<uint8_t> reply(8 + 3 * 20);
    storeLe32(reply.data(), 3);
    const uint32_t e[3][5] = {{0x10, 0, 0, 5, 0}, {0x20, 1234, 4, 6, 0}, {0x20, 1, 10, 7, 0}};
    for (int i = 0; i < 3; ++i)
        for (int k = 0; k < 5; ++k)
            storeLe32(reply.data() + 8 + 20 * i + 4 * k, e[i][k]);
    const char names[] = "sub\0a.txt"; // 10 bytes with the final NUL
    reply.insert(reply.end(), names, names + 10);
    storeLe32(reply.data() + 4, 10);
    DeviceListing l = DecodeListing(reply);
    ASSERT_EQ(l.items.size(), 2u);
    EXPECT_EQ(l.skipped, 1u);
    EXPECT_TRUE(l.items[0].folder);
    EXPECT_EQ(l.items[1].name, "a.txt");
    EXPECT_EQ(l.items[1].size, 1234u);
    storeLe32(reply.data(), kMaxListingEntries + 1);
    EXPECT_EQ(DecodeListing(reply).status, DeviceFileStatus::TooLarge);
}

TEST(BlockCodec, BlocksAgreeWithPythonZlib)
{
    TempDir dir;
    const std::string raw = textBytes(32768);
    std::vector<uint8_t> out(raw.size());
    const size_t n = CompressBlock({reinterpret_cast<const uint8_t*>(raw.data()), raw.size()}, out);
    ASSERT_LT(n, raw.size());
    writeFile(dir / "raw", raw);
    writeFile(dir / "ours", std::string(out.begin(), out.begin() + long(n)));
    ProcessResult py = runProcess({programFromEnv("SORVANE_PYTHON"), "-c",
                                   "import sys,zlib\n"
                                   "d=sys.argv[1]\n"
                                   "raw=open(d+'/raw','rb').read()\n"
                                   "assert zlib.decompress(open(d+'/ours','rb').read())==raw\n"
                                   "open(d+'/theirs','wb').write(zlib.compress(raw,1))\n",
                                   dir.path().string()});
    ASSERT_EQ(py.exitCode, 0) << py.err;
    const std::string theirs = readFile(dir / "theirs");
    std::vector<uint8_t> back(raw.size());
    EXPECT_TRUE(UncompressBlock({reinterpret_cast<const uint8_t*>(theirs.data()), theirs.size()}, back));
    EXPECT_EQ(std::string(back.begin(), back.end()), raw);
    // A stream one byte short of the wanted length is no block.
    std::vector<uint8_t> longer(raw.size() - 1);
    EXPECT_FALSE(UncompressBlock({reinterpret_cast<const uint8_t*>(theirs.data()), theirs.size()}, longer));
}

// The link kind: 4 TCP, 1 COM, 2 USB.
class TransferRoundTrip : public testing::TestWithParam<uint32_t> {};

TEST_P(TransferRoundTrip, BothWaysByteIdenticalWithTheDescribedBlocks)
{
    const uint32_t kind = GetParam();
    Device dev(kind);
    TempDir pc;
    std::vector<TransferFile> up, down;
    std::map<std::string, std::string> content;
    for (size_t size : {0, 1, 32767, 32768, 32769, 40000, 1100000})
        for (bool random : {true, false}) {
            if (!random && size < 1000000)
                continue;
            const std::string name = std::to_string(size) + (random ? ".bin" : ".txt");
            content[name] = random ? randomBytes(size, uint32_t(size)) : textBytes(size);
            writeFile(pc / name, content[name]);
            up.push_back({(pc / name).string(), "\\" + name, 0});
            down.push_back({(pc / ("back-" + name)).string(), "\\" + name, size});
        }
    CountingProgress progress;
    TransferReport sent = dev.send(up, progress);
    ASSERT_TRUE(sent.allDone());
    TransferReport got = dev.receive(down, progress);
    ASSERT_TRUE(got.allDone());
    for (auto& [name, bytes] : content) {
        EXPECT_TRUE(readFile(dev.sandbox / name) == bytes) << name;
        EXPECT_TRUE(readFile(pc / ("back-" + name)) == bytes) << name;
    }

    // Every block as described: the right count and raw lengths, flagged as the link
    // wants, incompressible data sent stored (wire = raw) and still flagged 1.
    size_t i = 0;
    for (const TransferFile& f : up) {
        const uint64_t size = content[std::string(PcBaseName(f.pcPath))].size();
        for (uint64_t b = 0; b < BlockCountOf(size); ++b, ++i) {
            ASSERT_LT(i, dev.channel->sent.size());
            const BlockHeader& h = dev.channel->sent[i];
            EXPECT_EQ(h.blockIndex, b);
            EXPECT_EQ(h.rawLength, b + 1 == BlockCountOf(size) ? size % 32768 : 32768u);
            EXPECT_EQ(h.compressed, kind == 2 ? 0u : 1u);
            if (kind == 2 || f.pcPath.ends_with(".bin"))
                EXPECT_EQ(h.wireLength, h.rawLength);
            else if (h.rawLength > 0)
                EXPECT_LT(h.wireLength, h.rawLength); // text shrinks, block after block
        }
    }
    EXPECT_EQ(i + dev.channel->replies.size(), dev.channel->sent.size()); // one request per block read
    for (const BlockHeader& r : dev.channel->replies)
        if (kind == 2)
            EXPECT_EQ(r.compressed, 0u);
    // A device path too long for the agent's field goes nowhere, so no shortened path can
    // name another file.
    EXPECT_EQ(DeleteDeviceFile(*dev.channel, std::string(300, 'x')), DeviceFileStatus::PathTooLong);
}

INSTANTIATE_TEST_SUITE_P(Links, TransferRoundTrip, testing::Values(4u, 1u, 2u), [](const auto& info) {
    return std::string(info.param == 4 ? "Tcp" : info.param == 1 ? "ComPty" : "UsbPty");
});

struct Fault {
    const char* name;
    std::vector<std::string> simArgs;
    bool sending;
    FileResult first;
    FileResult second = FileResult::Done;
    uint64_t cancelAfter = UINT64_MAX; // blocks
};

class TransferFault : public testing::TestWithParam<Fault> {};

TEST_P(TransferFault, FileFailsOrRecoversAndTheNextOneGoes)
{
    const Fault& t = GetParam();
    Device dev(4, t.simArgs);
    TempDir pc;
    const std::string a = randomBytes(100000, 1), b = textBytes(50000);
    std::vector<TransferFile> files;
    if (t.sending) {
        writeFile(pc / "a", a);
        writeFile(pc / "b", b);
        files = {{(pc / "a").string(), "\\a", 0}, {(pc / "b").string(), "\\b", 0}};
    } else {
        writeFile(dev.sandbox / "a", a);
        writeFile(dev.sandbox / "b", b);
        writeFile(pc / "a", "the old file");
        files = {{(pc / "a").string(), "\\a", a.size()}, {(pc / "b").string(), "\\b", b.size()}};
    }
    CountingProgress progress;
    progress.cancelAfter = t.cancelAfter;
    TransferReport r = t.sending ? dev.send(files, progress) : dev.receive(files, progress);
    ASSERT_EQ(r.results.size(), 2u);
    EXPECT_EQ(r.cancelled, t.first == FileResult::Cancelled);
    EXPECT_EQ(r.results[0], t.first) << fileResultText(r.results[0]);
    EXPECT_EQ(r.results[1], t.second);
    const fs::path& target = t.sending ? dev.sandbox.path() : pc.path();
    EXPECT_TRUE(t.second != FileResult::Done || readFile(target / "b") == b);
    if (t.first == FileResult::Done)
        EXPECT_TRUE(readFile(target / "a") == a);
    else if (!t.sending)
        EXPECT_EQ(readFile(target / "a"), "the old file");
    // No temporary file beside them; a refused or cancelled (partly written) device file is gone.
    std::vector<std::string> names;
    if (t.first == FileResult::Done || !t.sending)
        names.push_back("a");
    if (t.second == FileResult::Done)
        names.push_back("b");
    EXPECT_EQ(namesIn(target), names);
    if (t.first == FileResult::Refused || t.first == FileResult::BadBlocks) {
        // Exactly 20 attempts at the block that failed (block 0 when sending, 2 when receiving).
        const uint32_t bad = t.sending ? 0 : 2;
        EXPECT_EQ(std::count_if(dev.channel->sent.begin(), dev.channel->sent.end(),
                                [&](const BlockHeader& h) { return h.blockIndex == bad && h.handle == dev.channel->sent[0].handle; }),
                  20);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Faults, TransferFault,
    testing::Values(Fault{"Refused19", {"--refuse-blocks", "19"}, true, FileResult::Done},
                    Fault{"Refused20", {"--refuse-blocks", "20"}, true, FileResult::Refused},
                    Fault{"CorruptThrice", {"--corrupt-read-block", "1:3"}, false, FileResult::Done},
                    Fault{"CorruptAlways", {"--corrupt-read-block", "2"}, false, FileResult::BadBlocks},
                    Fault{"StoredFlagged", {"--stored-flagged"}, false, FileResult::Done},
                    // The device goes away half way through the first file.
                    Fault{"DeviceGone", {"--gone-at-read-block", "2"}, false, FileResult::BadBlocks, FileResult::NoReply},
                    Fault{"CancelReceive", {}, false, FileResult::Cancelled, FileResult::NotStarted, 3},
                    Fault{"CancelSend", {}, true, FileResult::Cancelled, FileResult::NotStarted, 3}),
    [](const auto& info) { return std::string(info.param.name); });
