#pragma once
// sorvane-sim serving a sandbox folder as the device's file system, connected in this
// process as link kind 4 (TCP), 1 (COM) or 2 (USB, both over a pseudo-terminal); the
// link is seen through a channel that records the block headers. Header-only.

#include <fstream>
#include <iterator>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "files/BlockCodec.h"
#include "files/FileTransfer.h"
#include "link/CommandPacket.h"
#include "link/Handshake.h"
#include "link/LinkConfig.h"
#include "link/LinkTransport.h"
#include "link/SlotLinkChannel.h"
#include "platform/PosixTransports.h"
#include "support/SimProcess.h"
#include "support/TempDir.h"

namespace sorvane::test {

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
    Links links{clock};
    PasswordTable passwords;
    LinkConfig config;
    PosixTransportFactory factory;
    int slot = -1;
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
        slot = links.allocSlot();
        LinkSlot& s = *links.find(slot);
        s.linkKind = kind;
        s.transport = OpenLinkTransport(links, config, target, factory);
        HandshakeEnv env{passwords, nullptr, nullptr, {}, {}};
        const bool passed = kind == 4 ? ConnectLink(links, slot, env).passed()
                                      : DeviceHandshake(links, slot, env) == HandshakeStatus::Passed;
        if (!passed)
            throw std::runtime_error("no connection to the simulator");
        link = std::make_unique<SlotLinkChannel>(links, slot);
        channel = std::make_unique<RecordingChannel>(*link);
    }
    ~Device() { CloseLinkTransport(links, slot); }

    TransferReport send(std::vector<TransferFile> files, TransferProgress& progress)
    {
        return SendFiles(*channel, files, TransferOptions{kind != 2}, progress);
    }
    TransferReport receive(std::vector<TransferFile> files, TransferProgress& progress)
    {
        return ReceiveFiles(*channel, files, TransferOptions{kind != 2}, progress);
    }
};

} // namespace sorvane::test
