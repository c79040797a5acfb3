// The handshake over real links: loopback TCP connections and pseudo-terminals, with a
// scripted agent on the other end.

#include <gtest/gtest.h>

#include <functional>
#include <thread>

#include "FakeAgent.h"
#include "ScriptedTransport.h"
#include "link/CommandPacket.h"
#include "link/LinkTransport.h"
#include "settings/Profile.h"
#include "platform/PosixTransports.h"

using namespace sorvane;
using namespace sorvane::test;

namespace {

struct ClosedLog final : LinkEvents {
    std::atomic<int> count{0};
    std::atomic<int> lastSlot{-1};
    void linkClosed(int slot) override
    {
        lastSlot = slot;
        ++count;
    }
};

// Answers like the password dialog would for a user who types `typed`.
struct TypingUser final : PasswordPrompt {
    std::string typed;
    std::vector<std::string> asked; // the stored passwords it was asked about
    explicit TypingUser(std::string t) : typed(std::move(t)) {}
    int askPassword(const PasswordTable& table, size_t record) override
    {
        asked.emplace_back(table.password(record));
        return passwordMatches(typed, table.password(record)) ? 1 : 2;
    }
};

constexpr uint8_t kPreset = 0xEE;

// One connection attempt the way a connect flow makes it.
struct Attempt {
    std::unique_ptr<Clock> clock;
    ClosedLog closed;
    Links links;
    PasswordTable passwords;
    LinkConfig config;
    PosixTransportFactory factory;
    std::atomic<int32_t> lowColor{1};
    std::vector<int> framesBuilt;
    bool framesOk = true;
    int slot = -1;

    explicit Attempt(std::unique_ptr<Clock> c = std::make_unique<SystemClock>())
        : clock(std::move(c)), links(*clock, &closed)
    {
    }

    HandshakeEnv env(PasswordPrompt* prompt)
    {
        return {passwords, prompt, &lowColor, [this](int s) {
                    framesBuilt.push_back(s);
                    return framesOk;
                }};
    }

    // Opens a link of this kind to the agent and runs the connect + handshake.
    HandshakeStatus run(const FakeAgent& agent, uint32_t kind, PasswordPrompt* prompt = nullptr)
    {
        config.agentPort = agent.port();
        config.comDevicePattern = agent.path();
        config.usbDevicePattern = agent.path();
        Profile p;
        p.linkKind = kind;
        p.port = 1;
        p.ipAddress = 0x7F000001;
        slot = links.allocSlot();
        LinkSlot& s = *links.find(slot);
        s.linkKind = kind;
        s.palette.fill(kPreset);
        s.bytesSent = 99;
        s.mouseClicks = 98;
        s.keyPresses = 97;
        s.transport = OpenLinkTransport(links, config, p.target(), factory);
        if (!s.transport)
            return HandshakeStatus::NoLink;
        auto e = env(prompt);
        if (kind == 1 || kind == 2)
            return DeviceHandshake(links, slot, e);
        ConnectOutcome outcome = ConnectLink(links, slot, e);
        return outcome.status == LinkConnectStatus::NotConnected ? HandshakeStatus::NoLink : outcome.handshake;
    }

    LinkSlot& s() { return *links.find(slot); }
    void close() { CloseLinkTransport(links, slot); }
};

struct Way {
    FakeAgent::Kind agent;
    uint32_t kind;
    const char* name;
};
const Way kWays[] = {
    {FakeAgent::Kind::Tcp, 4, "WAN over TCP"},
    {FakeAgent::Kind::Tcp, 5, "LAN over TCP"},
    {FakeAgent::Kind::Pty, 1, "COM over a pseudo-terminal"},
    {FakeAgent::Kind::Pty, 2, "USB over a pseudo-terminal"},
};

std::vector<uint8_t> codes(std::initializer_list<int> c) { return {c.begin(), c.end()}; }

} // namespace

TEST(Handshake, EachWayAndDepth)
{
    // Every way once, every depth once (its palette size), a password on each way
    // (only a WAN link asks for it).
    const std::tuple<const Way&, int32_t, std::string> cases[] = {
        {kWays[0], 16, "Secret"}, {kWays[0], 2, ""},     {kWays[1], 8, "Secret"},
        {kWays[2], 4, "Secret"},  {kWays[3], 2, "Secret"},
    };
    for (const auto& [way, depth, password] : cases) {
        SCOPED_TRACE(std::string(way.name) + ", depth " + std::to_string(depth) + ", password \"" + password + "\"");
        FakeAgent agent(way.agent, deviceScript(depth, password));
        Attempt a;
        a.links.find(0)->deviceName = "already live";
        TypingUser user("sEcReT");
        ASSERT_EQ(a.run(agent, way.kind, &user), HandshakeStatus::Passed);
        EXPECT_EQ(a.slot, 1);
        LinkSlot& s = a.s();
        EXPECT_EQ(s.deviceName, "Sim " + std::to_string(depth));
        EXPECT_EQ(std::make_tuple(s.depth, s.width, s.height, s.orientation),
                  std::make_tuple(depth, 240, 320, depth == 4 ? 90 : 0));
        EXPECT_EQ(std::make_tuple(s.altDepth, s.altWidth, s.altHeight, s.altOrientation, s.spareInfo),
                  std::make_tuple(8, 128, 96, 180, 0x5150));
        EXPECT_EQ(a.lowColor.load(), depth == 16 ? 1 : 0);
        const bool asks = way.kind == 4 && !password.empty();
        EXPECT_EQ(user.asked, asks ? std::vector<std::string>{password} : std::vector<std::string>{});
        EXPECT_EQ(s.bytesSent.load() + s.bytesReceived.load() + s.keyPresses.load() + s.mouseClicks.load(), 0u);
        EXPECT_EQ(a.framesBuilt, std::vector<int>{1});
        const size_t paletteBytes = depth < 16 ? size_t(4) << depth : 0;
        auto script = deviceScript(depth);
        for (size_t i = 0; i < s.palette.size(); ++i)
            ASSERT_EQ(s.palette[i], i < paletteBytes ? script.palette[i] : kPreset) << "palette byte " << i;
        a.close();
        EXPECT_EQ(agent.commandsAfterClose(), depth < 16 ? codes({'P', 92, ']'}) : codes({'P', 92}));
    }
}

TEST(Handshake, HelloAnswers)
{
    auto packet = [](uint8_t c) { return replyPacket(c); };
    auto join = [](std::initializer_list<std::vector<uint8_t>> parts) {
        std::vector<uint8_t> all;
        for (auto& p : parts)
            all.insert(all.end(), p.begin(), p.end());
        return all;
    };
    struct Case {
        const char* name;
        std::vector<uint8_t> answer;
        HandshakeStatus expected;
    } cases[] = {
        {"e, e, a", join({packet('e'), packet('e'), packet('a')}), HandshakeStatus::Passed},
        {"e, then garbage", join({packet('e'), {'z', 'z', 'z', 'z'}}), HandshakeStatus::Passed},
        {"stray 0x11, a", join({{0x11}, packet('a')}), HandshakeStatus::Passed},
        {"stray 0x42, a", join({{0x42}, packet('a')}), HandshakeStatus::HelloRefused},
        {"x", packet('x'), HandshakeStatus::HelloRefused},
    };
    for (const Way& way : {kWays[0], kWays[2]})
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(way.name) + ": " + c.name);
            auto script = deviceScript(16);
            script.helloAnswer = c.answer;
            FakeAgent agent(way.agent, script);
            Attempt a;
            EXPECT_EQ(a.run(agent, way.kind), c.expected);
            EXPECT_EQ(a.s().isFree(), c.expected != HandshakeStatus::Passed);
            EXPECT_EQ(a.framesBuilt.size(), c.expected == HandshakeStatus::Passed ? 1u : 0u);
        }
}

TEST(Handshake, RefusalsLeaveTheSlotFreeAndTheLinkInStep)
{
    const std::vector<uint8_t> noPalette = codes({'P', 92});
    struct Case {
        const char* name;
        int32_t depth;
        std::function<void(AgentScript&)> change;
        const char* typed; // the user's answer to a password question (none: no prompt)
        HandshakeStatus expected;
        std::vector<uint8_t> commands; // received by the agent (empty: not checked)
        uint32_t kind = 4;
    };
    const Case cases[] = {
        {"wrong password: no palette after a refusal", 8, [](AgentScript& s) { s.info.setPassword("Secret"); },
         "secret!", HandshakeStatus::PasswordCancelled, noPalette},
        {"password and nobody to ask", 16, [](AgentScript& s) { s.info.setPassword("Secret"); }, nullptr,
         HandshakeStatus::PasswordRequired, {}},
        // An unsupported depth below 16 fails, yet its palette is taken off the link and
        // dropped, so the link stays in step.
        {"depth 12", 12, [](AgentScript& s) { s.afterPalette = replyPacket('a'); }, nullptr,
         HandshakeStatus::UnsupportedDepth, {}, 5},
        {"depth 32 gets no palette request", 32, {}, nullptr, HandshakeStatus::UnsupportedDepth, noPalette, 5},
        {"a zero flag keeps the slot's palette", 8, [](AgentScript& s) { s.paletteFlag = 0; }, nullptr,
         HandshakeStatus::Passed, {}, 1},
        // Displays beyond the memory bound are refused right after the information
        // block: no password question, no palette, no frame buffers. The largest
        // sides allowed, on both displays at 16 bits, still pass.
        {"main 4096 x 4096", 16, [](AgentScript& s) { s.info.width = s.info.height = 4096; }, "",
         HandshakeStatus::DisplayTooLarge, noPalette},
        {"second 240 x 4096", 16, [](AgentScript& s) { s.info.altDepth = 16, s.info.altHeight = 4096; }, "",
         HandshakeStatus::DisplayTooLarge, {}},
        {"main 2049 wide", 16, [](AgentScript& s) { s.info.width = 2049, s.info.altDepth = 0; }, "",
         HandshakeStatus::DisplayTooLarge, {}},
        {"both 2048 x 2048", 16,
         [](AgentScript& s) {
             s.info.width = s.info.height = s.info.altWidth = s.info.altHeight = 2048;
             s.info.altDepth = 16;
         },
         "", HandshakeStatus::Passed, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto script = deviceScript(c.depth, c.typed && !*c.typed ? "pw" : "");
        if (c.change)
            c.change(script);
        FakeAgent agent(c.kind == 1 ? FakeAgent::Kind::Pty : FakeAgent::Kind::Tcp, script);
        Attempt a;
        TypingUser user(c.typed && *c.typed ? c.typed : "pw");
        EXPECT_EQ(a.run(agent, c.kind, c.typed ? &user : nullptr), c.expected);
        const bool passed = c.expected == HandshakeStatus::Passed;
        EXPECT_EQ(a.s().isFree(), !passed);
        EXPECT_EQ(a.framesBuilt.size(), passed ? 1u : 0u);
        EXPECT_EQ(a.s().palette[0], kPreset);
        EXPECT_EQ(a.s().palette[1023], kPreset);
        if (c.typed && !*c.typed)
            EXPECT_EQ(user.asked.size(), passed ? 1u : 0u);
        if (c.depth == 12) {
            EXPECT_EQ(ReadReply(a.links, a.slot), 'a');
            EXPECT_EQ(a.lowColor.load(), 0);
        }
        if (c.expected == HandshakeStatus::PasswordCancelled)
            EXPECT_EQ(a.passwords.password(0), "Secret");
        a.close();
        if (!c.commands.empty())
            EXPECT_EQ(agent.commandsAfterClose(), c.commands);
    }
}

TEST(Handshake, BrokenAgentsLeaveTheSlotFree)
{
    // Device information cut short; over TCP the agent then closes the link.
    for (const Way& way : {kWays[0], kWays[2]}) {
        SCOPED_TRACE(way.name);
        auto script = deviceScript(16);
        script.infoBytes = 100;
        FakeAgent agent(way.agent, script);
        Attempt a;
        EXPECT_EQ(a.run(agent, way.kind), HandshakeStatus::InfoShort);
        EXPECT_TRUE(a.s().isFree());
        if (way.agent == FakeAgent::Kind::Tcp) {
            EXPECT_EQ(a.closed.count.load(), 1);
            EXPECT_EQ(a.closed.lastSlot.load(), a.slot);
        }
    }
    // Frame buffers that cannot be built for the device's facts.
    {
        FakeAgent agent(FakeAgent::Kind::Tcp, deviceScript(4));
        Attempt a;
        a.framesOk = false;
        EXPECT_EQ(a.run(agent, 4), HandshakeStatus::FrameBuffersFailed);
        EXPECT_TRUE(a.s().isFree());
    }
    // An agent that never answers: the receive gives up (a clock that does not wait
    // makes the 20 s pass at once over TCP; the serial line's own time-out is 1 s).
    for (const Way& way : {kWays[0], kWays[2]}) {
        SCOPED_TRACE(way.name);
        auto script = deviceScript(16);
        script.silent = true;
        FakeAgent agent(way.agent, script);
        Attempt a(std::make_unique<ManualClock>());
        EXPECT_EQ(a.run(agent, way.kind), HandshakeStatus::HelloRefused);
        EXPECT_TRUE(a.s().isFree());
    }
}

TEST(LinkThreads, ShutdownEndsABlockedSerialReceive)
{
    auto script = deviceScript(16);
    script.silent = true;
    FakeAgent agent(FakeAgent::Kind::Pty, script);
    Attempt a;
    a.config.comDevicePattern = agent.path();
    Profile p;
    p.linkKind = 1;
    LinkSlot& s = *a.links.find(0);
    s.linkKind = 1;
    s.transport = OpenLinkTransport(a.links, a.config, p.target(), a.factory);
    ASSERT_TRUE(s.transport);
    // Far more than ever arrives: without the shutdown this waits for ages.
    std::vector<uint8_t> buffer(4'000'000);
    std::atomic<bool> started{false};
    size_t got = 1;
    std::thread reader([&] {
        started = true;
        got = LinkRecv(a.links, 0, buffer);
    });
    while (!started)
        std::this_thread::yield();
    ShutdownLinkTransport(a.links, 0);
    reader.join();
    EXPECT_EQ(got, 0u);
    EXPECT_EQ(CloseLinkTransport(a.links, 0), 0);
}

TEST(LinkThreads, MessagesFromTwoThreadsNeverInterleave)
{
    ManualClock clock;
    Links links(clock);
    Script script;
    script.sends = {accept(7, 1'000'000)}; // a few bytes per pass: many passes per message
    links.find(0)->linkKind = 4;
    links.find(0)->transport = std::make_unique<FakeSocket>(script);
    auto sender = [&](uint8_t fill) {
        std::vector<uint8_t> message(300, fill);
        for (int i = 0; i < 20; ++i)
            EXPECT_EQ(LinkSend(links, 0, message), 300u);
    };
    std::thread one(sender, uint8_t('A')), two(sender, uint8_t('B'));
    one.join();
    two.join();
    ASSERT_EQ(script.sent.size(), 40u * 300u);
    for (size_t m = 0; m < 40; ++m)
        for (size_t i = 1; i < 300; ++i)
            ASSERT_EQ(script.sent[m * 300 + i], script.sent[m * 300]) << "message " << m << " is torn";
    EXPECT_EQ(links.find(0)->bytesSent.load(), 12000u);
}
