// The receive/send/open/close rules of the link layer, against scripted transports and
// a clock that never waits.

#include <gtest/gtest.h>

#include "ScriptedTransport.h"
#include "link/LinkTransport.h"
#include "link/SlotLinkChannel.h"
#include "settings/Profile.h"
#include "platform/PosixTransports.h"
#include "support/LoopbackSockets.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace sorvane;
using namespace sorvane::test;

namespace {

class LinkRules : public ::testing::Test {
protected:
    ManualClock clock;
    Links links{clock};
    std::array<LinkSlot, 6> slots;
    Script script;

    void socketOn(int slot, uint32_t kind = 4)
    {
        slots[size_t(slot)].linkKind = kind;
        slots[size_t(slot)].transport = std::make_unique<FakeSocket>(script);
    }
    void serialOn(int slot, uint32_t kind = 1)
    {
        slots[size_t(slot)].linkKind = kind;
        slots[size_t(slot)].transport = std::make_unique<FakeSerial>(script);
    }
};

std::vector<uint8_t> pattern(size_t n)
{
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i)
        v[i] = uint8_t(i * 7 + 3);
    return v;
}

} // namespace

TEST_F(LinkRules, SocketReceiveGivesUpAtThe2000thWouldBlockInARowWithThePartialCount)
{
    socketOn(3);
    script.receives = {bytes("ab"), wouldBlock(1999), bytes("cd")};
    uint8_t buf[4];
    EXPECT_EQ(LinkRecv(slots[3], clock, buf), 4u);
    EXPECT_EQ(std::string(buf, buf + 4), "abcd");
    script.receives = {bytes("ab"), wouldBlock(1000), bytes("c"), wouldBlock(2000), bytes("d")};
    const uint32_t start = clock.tickCount();
    EXPECT_EQ(LinkRecv(slots[3], clock, buf), 3u); // the count starts again after progress
    EXPECT_GE(clock.tickCount() - start, 30000u);
    EXPECT_EQ(slots[3].bytesReceived.load(), 7u);
    // Nothing was taken beyond what was asked: the late byte is still there.
    EXPECT_EQ(LinkRecv(slots[3], clock, std::span<uint8_t>(buf, 1)), 1u);
    EXPECT_EQ(buf[0], 'd');
}

TEST_F(LinkRules, PeerCloseMarksTheLinkAndReturnsZero)
{
    socketOn(5);
    script.receives = {bytes("xy"), peerClosed()};
    uint8_t buf[4];
    EXPECT_EQ(LinkRecv(slots[5], clock, buf), 0u);
    EXPECT_TRUE(slots[5].closedByPeer.load());

    slots[5].closedByPeer = false;
    script.receives = {bytes("xy"), failure()};
    EXPECT_EQ(LinkRecv(slots[5], clock, buf), 0u);
    EXPECT_FALSE(slots[5].closedByPeer.load()); // a hard error is no close
    EXPECT_EQ(slots[5].bytesReceived.load(), 0u);
}

TEST_F(LinkRules, SerialDiscardStaysWithinItsTwoSeconds)
{
    // A serial line whose reads take the time a real line's time-outs give them: a
    // full read the bytes' time at 115200 baud, a short one its interval gap, an empty
    // one 1 ms per byte asked for plus a second.
    struct TimedSerial final : Transport {
        Script& script;
        ManualClock& clock;
        TimedSerial(Script& s, ManualClock& c) : script(s), clock(c) {}
        Family family() const override { return Family::File; }
        IoResult receive(std::span<uint8_t> b) override
        {
            IoResult r = script.receive(b, IoStatus::Ok);
            clock.advance(r.bytes == b.size() ? uint32_t(r.bytes / 11 + 1)
                          : r.bytes > 0       ? 100
                                              : uint32_t(b.size() + 1000));
            return r;
        }
        IoResult send(std::span<const uint8_t> d) override { return script.send(d); }
        void shutdown() override {}
        bool close() override { return true; }
    };
    for (size_t pending : {size_t(0), size_t(300), size_t(1) << 20}) {
        SCOPED_TRACE(pending);
        Script s;
        s.receives = {bytes(pattern(pending))};
        ManualClock c;
        LinkSlot l;
        l.linkKind = 1;
        l.transport = std::make_unique<TimedSerial>(s, c);
        SlotLinkChannel(l, c).discardPending();
        EXPECT_LE(c.tickCount(), SlotLinkChannel::kDiscardBoundMs);
        if (pending == 300)
            EXPECT_EQ(l.bytesReceived.load(), 300u); // quiet before the bound: all of it went
    }
}

TEST_F(LinkRules, SerialReceiveIn8192ByteReadsAndFailures)
{
    serialOn(0, 2);
    const auto data = pattern(30000);
    std::vector<uint8_t> buf(30000);
    // A failed read among the 8192-byte reads: the rest is asked for in one pass.
    script.receives = {bytes(std::vector<uint8_t>(data.begin(), data.begin() + 16384)), failure(),
                       bytes(std::vector<uint8_t>(data.begin() + 16384, data.end()))};
    EXPECT_EQ(LinkRecv(slots[0], clock, buf), 30000u);
    EXPECT_EQ(script.receiveSizes, (std::vector<size_t>{8192, 8192, 8192, 13616}));
    EXPECT_EQ(buf, data);
    EXPECT_EQ(script.clearErrors, 1);

    // A failed read among the rest passes ends the call; so does a read that times out.
    script.receiveSizes.clear();
    script.receives = {bytes(pattern(300)), failure(), bytes("late")};
    EXPECT_EQ(LinkRecv(slots[0], clock, std::span<uint8_t>(buf.data(), 1000)), 300u);
    EXPECT_EQ(script.clearErrors, 2);
    script.receives = {bytes(pattern(100)), nothing(), bytes("late")};
    EXPECT_EQ(LinkRecv(slots[0], clock, std::span<uint8_t>(buf.data(), 1000)), 100u);
    EXPECT_EQ(slots[0].bytesReceived.load(), 30400u);

    // No line open: nothing.
    slots[1].linkKind = 1;
    EXPECT_EQ(LinkRecv(slots[1], clock, std::span<uint8_t>(buf.data(), 10)), 0u);
}

TEST_F(LinkRules, SocketSend)
{
    socketOn(2);
    EXPECT_EQ(LinkSend(slots[2], clock, {}), 0u);
    EXPECT_TRUE(script.sendSizes.empty());

    auto data = pattern(1000);
    script.sends = {accept(300), wouldBlock(50), accept(500)};
    EXPECT_EQ(LinkSend(slots[2], clock, data), 1000u);
    EXPECT_EQ(script.sent, data);
    EXPECT_EQ(slots[2].bytesSent.load(), 1000u);

    script.sends = {accept(10), failure()};
    EXPECT_EQ(LinkSend(slots[2], clock, data), 0u);
    EXPECT_EQ(slots[2].bytesSent.load(), 1000u);

    // A peer that never makes room: bounded, reported as failure.
    script.sends = {wouldBlock(kSendWouldBlockLimit)};
    EXPECT_EQ(LinkSend(slots[2], clock, data), 0u);
    EXPECT_EQ(slots[2].bytesSent.load(), 1000u);
    script.sends = {wouldBlock(kSendWouldBlockLimit - 1)};
    EXPECT_EQ(LinkSend(slots[2], clock, data), 1000u);
}

TEST_F(LinkRules, SerialSendIn8192ByteWrites)
{
    serialOn(4);
    auto data = pattern(20000);
    EXPECT_EQ(LinkSend(slots[4], clock, data), 20000u);
    EXPECT_EQ(script.sendSizes, (std::vector<size_t>{8192, 8192, 3616}));
    EXPECT_EQ(script.sent, data);

    script.sendSizes.clear();
    script.sends = {failure()};
    EXPECT_EQ(LinkSend(slots[4], clock, data), 0u);
    EXPECT_EQ(script.clearErrors, 1);

    // Writes that keep timing out with nothing written give up.
    script.sends = {accept(0, kSendStallLimit)};
    EXPECT_EQ(LinkSend(slots[4], clock, data), 0u);
    EXPECT_EQ(slots[4].bytesSent.load(), 20000u);
}

TEST_F(LinkRules, SlotAllocationAndBadSlots)
{
    EXPECT_EQ(links.allocSlot(), 0);
    EXPECT_TRUE(links.take(0, SlotUse{4, 0, 1}));
    EXPECT_TRUE(links.take(1, SlotUse{1, 3, 0}));
    EXPECT_FALSE(links.take(1, SlotUse{})); // taken already
    EXPECT_EQ(links.allocSlot(), 2);
    links.release(0);
    EXPECT_EQ(links.allocSlot(), 0);
    EXPECT_EQ(links.inUse().size(), 1u);
    EXPECT_EQ(links.inUse()[0].port, 3u);
    for (int s = 0; s < Links::kSlotCount; ++s)
        links.take(s, SlotUse{});
    EXPECT_EQ(links.allocSlot(), 33);
    EXPECT_FALSE(links.take(33, SlotUse{}));
    EXPECT_FALSE(links.take(-1, SlotUse{}));
    EXPECT_FALSE(links.taken(33));
}

TEST_F(LinkRules, CloseReportsOnlyFailedSerialCloses)
{
    socketOn(0);
    script.closeFails = true;
    EXPECT_EQ(CloseLinkTransport(slots[0]), 0);
    EXPECT_EQ(slots[0].transport, nullptr);
    serialOn(1);
    EXPECT_EQ(CloseLinkTransport(slots[1]), 1);
    script.closeFails = false;
    serialOn(2);
    EXPECT_EQ(CloseLinkTransport(slots[2]), 0);
    EXPECT_TRUE(script.closed);
    EXPECT_EQ(CloseLinkTransport(slots[2]), 0); // nothing left to close
}

namespace {

struct RecordingFactory final : TransportFactory {
    Script script;
    std::vector<std::pair<std::string, SerialSetup>> serialOpens;
    int tcpOpens = 0;
    int irdaOpens = 0;
    std::unique_ptr<SocketTransport> openTcp() override
    {
        ++tcpOpens;
        return std::make_unique<FakeSocket>(script);
    }
    std::unique_ptr<SocketTransport> openIrda() override
    {
        ++irdaOpens;
        return nullptr; // no IrDA on this system
    }
    std::unique_ptr<Transport> openSerial(const std::string& path, SerialSetup setup) override
    {
        serialOpens.emplace_back(path, setup);
        return std::make_unique<FakeSerial>(script);
    }
};

constexpr uint32_t loopback(uint8_t last) { return 0x7F000000u | last; }

} // namespace

TEST_F(LinkRules, ActiveSyncAttemptsRotateThroughTheCandidates)
{
    LinkConfig config;
    config.activeSyncCandidates = {loopback(2), loopback(3), loopback(4)};
    config.agentPort = 40404;
    RecordingFactory factory;
    Profile activeSync;
    activeSync.linkKind = 3;
    std::vector<uint32_t> aimedAt;
    PasswordTable passwords;
    HandshakeEnv env{passwords, nullptr, nullptr, {}};
    for (int attempt = 0; attempt < 4; ++attempt) {
        auto t = OpenLinkTransport(links.target, config, activeSync.target(), factory);
        ASSERT_TRUE(t);
        auto* socket = static_cast<FakeSocket*>(t.get());
        slots[0].linkKind = 3;
        slots[0].transport = std::move(t);
        // The agent never answers here; the handshake fails without real waiting.
        ConnectOutcome outcome = ConnectLink(slots[0], clock, links.target.endpoint, env);
        EXPECT_EQ(outcome.status, LinkConnectStatus::HandshakeFailed);
        EXPECT_EQ(outcome.handshake, HandshakeStatus::HelloRefused);
        ASSERT_EQ(socket->connectedTo.size(), 1u);
        EXPECT_EQ(socket->connectedTo[0].port, 40404);
        aimedAt.push_back(socket->connectedTo[0].address);
        CloseLinkTransport(slots[0]);

        // A WAN attempt in between does not disturb the rotation.
        Profile wan;
        wan.linkKind = 4;
        wan.ipAddress = loopback(9);
        ASSERT_TRUE(OpenLinkTransport(links.target, config, wan.target(), factory));
        EXPECT_EQ(links.target.endpoint, (Ipv4Endpoint{loopback(9), 40404}));
    }
    EXPECT_EQ(aimedAt, (std::vector<uint32_t>{loopback(2), loopback(3), loopback(4), loopback(2)}));
    EXPECT_TRUE(slots[0].isFree());

    config.activeSyncCandidates.clear();
    EXPECT_FALSE(OpenLinkTransport(links.target, config, activeSync.target(), factory));
}

// The device path patterns: "{n-1}" and "{n}" here; "{n}" up to port 32 in the USB
// probe (tests/connect); a path without either is sorvane-cli's --serial (tests/cli).
TEST_F(LinkRules, OpenByKind)
{
    LinkConfig config;
    config.comDevicePattern = "/dev/ttyS{n-1}";
    config.usbDevicePattern = "/dev/handheld{n}/ttyUSB{n-1}";
    RecordingFactory factory;
    Profile p;
    p.linkKind = 1;
    p.port = 3;
    EXPECT_TRUE(OpenLinkTransport(links.target, config, p.target(), factory));
    p.linkKind = 2;
    p.port = 7;
    EXPECT_TRUE(OpenLinkTransport(links.target, config, p.target(), factory));
    ASSERT_EQ(factory.serialOpens.size(), 2u);
    EXPECT_EQ(factory.serialOpens[0], std::make_pair(std::string("/dev/ttyS2"), SerialSetup::FullLine));
    EXPECT_EQ(factory.serialOpens[1], std::make_pair(std::string("/dev/handheld7/ttyUSB6"), SerialSetup::RawOnly));

    p.linkKind = 0;
    EXPECT_FALSE(OpenLinkTransport(links.target, config, p.target(), factory));
    EXPECT_EQ(factory.irdaOpens, 1);
    for (uint32_t kind : {6u, 7u, 0xFFFFFFFFu}) {
        p.linkKind = kind;
        EXPECT_FALSE(OpenLinkTransport(links.target, config, p.target(), factory));
    }
    EXPECT_EQ(factory.tcpOpens, 0);

    // ConnectLink is for socket kinds only.
    serialOn(0);
    PasswordTable passwords;
    HandshakeEnv env{passwords, nullptr, nullptr, {}};
    EXPECT_EQ(ConnectLink(slots[0], clock, links.target.endpoint, env).status, LinkConnectStatus::NotConnected);
}

// An accepted (inbound) link sends small messages at once, as the links we open do. The
// bytes a small receive reads ahead reach the next receives in order, whatever their
// sizes: two replies in one segment (a reply packet; an update's length, header and a
// payload larger than the read-ahead), then the device's close.
TEST(PosixSocketAdopt, TakesSmallMessagesWithoutDelayAndLosesNoByteItReadsAhead)
{
    OtherListener listener;
    ASSERT_NE(listener.port, 0);
    Socket client(connectLoopback(listener.port));
    ASSERT_GE(client.fd, 0);
    int d = ::accept(listener.socket.fd, nullptr, nullptr);
    auto adopted = PosixSocket::adopt(d);
    int noDelay = 0;
    socklen_t size = sizeof noDelay;
    ASSERT_EQ(::getsockopt(d, IPPROTO_TCP, TCP_NODELAY, &noDelay, &size), 0);
    EXPECT_EQ(noDelay, 1);

    constexpr size_t k = PosixSocket::kReadAhead;
    const std::vector<uint8_t> sent = pattern(4 + 2 + 18 + 3 * k + 5);
    ASSERT_EQ(::write(client.fd, sent.data(), sent.size()), ssize_t(sent.size()));
    client.reset();
    LinkSlot slot;
    slot.linkKind = 4;
    slot.transport = std::move(adopted);
    ManualClock clock;
    std::vector<uint8_t> got(sent.size());
    size_t at = 0;
    for (size_t n : {size_t(4), size_t(2), size_t(18), size_t(1), k - 1, 2 * k + 5})
        at += LinkRecv(slot, clock, {got.data() + at, n});
    EXPECT_EQ(got, sent);
    EXPECT_EQ(LinkRecv(slot, clock, {got.data(), 1}), 0u);
    EXPECT_TRUE(slot.closedByPeer.load());
}
