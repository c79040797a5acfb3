// The handshake on every kind of link against scripted transports: each receive hands
// out the next of the device's answers, and every command sent is recorded. The same
// handshake over real loopback TCP and pseudo-terminals, against sorvane-sim, is in
// tests/cli (CliConnectTest), where sorvane-cli's bound also shuts down a serial
// receive that waits on a silent line (from another thread: a race shows under TSan).

#include <gtest/gtest.h>

#include <functional>
#include <thread>

#include "ScriptedTransport.h"
#include "link/CommandPacket.h"
#include "link/LinkTransport.h"

using namespace sorvane;
using namespace sorvane::test;

namespace {

constexpr uint8_t kPreset = 0xEE;

bool serialKind(uint32_t kind) { return kind == 1 || kind == 2; }

// One connection attempt the way a connect flow makes it, on a link of this kind
// (a serial line for COM and USB, a socket otherwise) to a scripted device.
struct Attempt {
    ManualClock clock;
    LinkSlot link;
    TargetAddress target;
    PasswordTable passwords;
    Script script;
    std::atomic<int32_t> lowColor{1};
    int framesBuilt = 0;
    bool framesOk = true;

    HandshakeStatus run(const Device& device, uint32_t kind, PasswordPrompt* prompt = nullptr)
    {
        script.receives = {bytes(device.answers())};
        if (!serialKind(kind) && device.infoBytes < DeviceInfoBlock::kSize)
            script.receives.push_back(peerClosed());
        LinkSlot& s = link;
        s.linkKind = kind;
        s.palette.fill(kPreset);
        s.bytesSent = 99;
        s.mouseClicks = 98;
        s.keyPresses = 97;
        if (serialKind(kind))
            s.transport = std::make_unique<FakeSerial>(script);
        else
            s.transport = std::make_unique<FakeSocket>(script);
        HandshakeEnv env{passwords, prompt, &lowColor, [this](const LinkSlot&) {
                             ++framesBuilt;
                             return framesOk;
                         }};
        if (serialKind(kind))
            return DeviceHandshake(link, clock, env);
        return ConnectLink(link, clock, target.endpoint, env).handshake;
    }

    LinkSlot& s() { return link; }
    // The command codes the device received, in order.
    std::vector<uint8_t> commands() const
    {
        std::vector<uint8_t> codes;
        for (size_t i = 0; i < script.sent.size(); i += 4)
            codes.push_back(script.sent[i]);
        return codes;
    }
};

const uint32_t kWan = 4, kLan = 5, kCom = 1, kUsb = 2;

std::vector<uint8_t> codes(std::initializer_list<int> c) { return {c.begin(), c.end()}; }

} // namespace

TEST(Handshake, EachKindAndDepth)
{
    // Every kind once, every depth once (its palette size), a password on each kind
    // (only a WAN link asks for it).
    const std::tuple<uint32_t, int32_t, std::string> cases[] = {
        {kWan, 16, "Secret"}, {kWan, 2, ""}, {kLan, 8, "Secret"}, {kCom, 4, "Secret"}, {kUsb, 2, "Secret"},
    };
    for (const auto& [kind, depth, password] : cases) {
        SCOPED_TRACE("kind " + std::to_string(kind) + ", depth " + std::to_string(depth) + ", password \"" +
                     password + "\"");
        Attempt a;
        ScriptedPrompt user("sEcReT");
        ASSERT_EQ(a.run(deviceOf(depth, password), kind, &user), HandshakeStatus::Passed);
        LinkSlot& s = a.s();
        EXPECT_EQ(s.deviceName, "Sim " + std::to_string(depth));
        EXPECT_EQ(std::make_tuple(s.depth, s.width, s.height, s.orientation),
                  std::make_tuple(depth, 240, 320, depth == 4 ? 90 : 0));
        EXPECT_EQ(std::make_tuple(s.altDepth, s.altWidth, s.altHeight, s.altOrientation, s.spareInfo),
                  std::make_tuple(8, 128, 96, 180, 0x5150));
        EXPECT_EQ(a.lowColor.load(), depth == 16 ? 1 : 0);
        const bool asks = kind == kWan && !password.empty();
        EXPECT_EQ(user.asked, asks ? std::vector<std::string>{password} : std::vector<std::string>{});
        EXPECT_EQ(s.bytesSent.load() + s.bytesReceived.load() + s.keyPresses.load() + s.mouseClicks.load(), 0u);
        EXPECT_EQ(a.framesBuilt, 1);
        const size_t paletteBytes = depth < 16 ? size_t(4) << depth : 0;
        const Device device = deviceOf(depth);
        for (size_t i = 0; i < s.palette.size(); ++i)
            ASSERT_EQ(s.palette[i], i < paletteBytes ? device.palette[i] : kPreset) << "palette byte " << i;
        EXPECT_EQ(a.commands(), depth < 16 ? codes({'P', 92, ']'}) : codes({'P', 92}));
    }
}

TEST(Handshake, FailuresLeaveTheSlotFreeAndTheLinkInStep)
{
    const std::vector<uint8_t> noPalette = codes({'P', 92});
    struct Case {
        const char* name;
        int32_t depth;
        std::function<void(Device&)> change;
        const char* typed; // the user's answer to a password question (none: no prompt)
        HandshakeStatus expected;
        std::vector<uint8_t> commands; // received by the device (empty: not checked)
        uint32_t kind = kWan;
        bool framesOk = true; // whether the connection's frame buffers can be built
    };
    const Case cases[] = {
        // Hello answers: 'e' means read again; what follows goes on to the device information.
        // (Stray bytes before the answer are the reply reader's, RecordsTest.)
        {"hello e, e, a", 16,
         [](Device& d) { d.helloAnswer = joined({replyPacket('e'), replyPacket('e'), replyPacket('a')}); }, nullptr,
         HandshakeStatus::Passed, {}},
        {"hello e, then garbage", 16,
         [](Device& d) { d.helloAnswer = joined({replyPacket('e'), {'z', 'z', 'z', 'z'}}); }, nullptr,
         HandshakeStatus::Passed, {}, kCom},
        {"hello x", 16, [](Device& d) { d.helloAnswer = replyPacket('x'); }, nullptr, HandshakeStatus::HelloRefused,
         codes({'P'})},
        // A device that never answers: the receive gives up (the clock does not wait, so
        // the 20 s of a socket pass at once; a serial read that times out gives nothing).
        {"silent socket", 16, [](Device& d) { d.silent = true; }, nullptr, HandshakeStatus::HelloRefused, {}},
        {"silent serial line", 16, [](Device& d) { d.silent = true; }, nullptr, HandshakeStatus::HelloRefused, {},
         kCom},
        // Device information cut short; over a socket the device then closes the link.
        {"information cut short", 16, [](Device& d) { d.infoBytes = 100; }, nullptr, HandshakeStatus::InfoShort, {}},
        {"information cut short on a serial line", 16, [](Device& d) { d.infoBytes = 100; }, nullptr,
         HandshakeStatus::InfoShort, {}, kCom},
        {"wrong password: no palette after a refusal", 8, [](Device& d) { d.info.setPassword("Secret"); },
         "secret!", HandshakeStatus::PasswordCancelled, noPalette},
        {"password and nobody to ask", 16, [](Device& d) { d.info.setPassword("Secret"); }, nullptr,
         HandshakeStatus::PasswordRequired, {}},
        // An unsupported depth below 16 fails, yet its palette is taken off the link and
        // dropped, so the link stays in step.
        {"depth 12", 12, [](Device& d) { d.afterPalette = replyPacket('a'); }, nullptr,
         HandshakeStatus::UnsupportedDepth, {}, kLan},
        {"depth 32 gets no palette request", 32, {}, nullptr, HandshakeStatus::UnsupportedDepth, noPalette, kLan},
        {"a zero flag keeps the slot's palette", 8, [](Device& d) { d.paletteFlag = 0; }, nullptr,
         HandshakeStatus::Passed, {}, kCom},
        // Displays beyond the memory bound are refused right after the information
        // block: no password question, no palette, no frame buffers. The largest
        // sides allowed, on both displays at 16 bits, still pass.
        {"second 240 x 4096", 16, [](Device& d) { d.info.altDepth = 16, d.info.altHeight = 4096; }, "",
         HandshakeStatus::DisplayTooLarge, {}},
        {"main 2049 wide", 16, [](Device& d) { d.info.width = 2049, d.info.altDepth = 0; }, "",
         HandshakeStatus::DisplayTooLarge, noPalette},
        {"both 2048 x 2048", 16,
         [](Device& d) {
             d.info.width = d.info.height = d.info.altWidth = d.info.altHeight = 2048;
             d.info.altDepth = 16;
         },
         "", HandshakeStatus::Passed, {}},
        {"frame buffers that cannot be built", 16, {}, nullptr, HandshakeStatus::FrameBuffersFailed, {}, kWan, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Device device = deviceOf(c.depth, c.typed && !*c.typed ? "pw" : "");
        if (c.change)
            c.change(device);
        Attempt a;
        a.framesOk = c.framesOk;
        ScriptedPrompt user(c.typed && *c.typed ? c.typed : "pw");
        EXPECT_EQ(a.run(device, c.kind, c.typed ? &user : nullptr), c.expected);
        const bool passed = c.expected == HandshakeStatus::Passed;
        EXPECT_EQ(a.s().isFree(), !passed);
        EXPECT_EQ(a.framesBuilt, passed || !c.framesOk ? 1 : 0);
        EXPECT_EQ(a.s().palette[0], kPreset);
        EXPECT_EQ(a.s().palette[1023], kPreset);
        if (c.typed && !*c.typed)
            EXPECT_EQ(user.asked.size(), passed ? 1u : 0u);
        if (c.depth == 12) {
            EXPECT_EQ(ReadReply(a.link, a.clock), 'a');
            EXPECT_EQ(a.lowColor.load(), 0);
        }
        if (c.expected == HandshakeStatus::PasswordCancelled)
            EXPECT_EQ(a.passwords.password(0), "Secret");
        if (!c.commands.empty())
            EXPECT_EQ(a.commands(), c.commands);
        const bool closes = c.expected == HandshakeStatus::InfoShort && c.kind == kWan;
        EXPECT_EQ(a.link.closedByPeer.load(), closes);
    }
}

TEST(LinkThreads, MessagesFromTwoThreadsNeverInterleave)
{
    ManualClock clock;
    LinkSlot link;
    Script script;
    script.sends = {accept(7, 1'000'000)}; // a few bytes per pass: many passes per message
    link.linkKind = 4;
    link.transport = std::make_unique<FakeSocket>(script);
    auto sender = [&](uint8_t fill) {
        std::vector<uint8_t> message(300, fill);
        for (int i = 0; i < 20; ++i)
            EXPECT_EQ(LinkSend(link, clock, message), 300u);
    };
    std::thread one(sender, uint8_t('A')), two(sender, uint8_t('B'));
    one.join();
    two.join();
    ASSERT_EQ(script.sent.size(), 40u * 300u);
    for (size_t m = 0; m < 40; ++m)
        for (size_t i = 1; i < 300; ++i)
            ASSERT_EQ(script.sent[m * 300 + i], script.sent[m * 300]) << "message " << m << " is torn";
    EXPECT_EQ(link.bytesSent.load(), 12000u);
}
