// Inbound connections: simulated devices and hostile peers that connect to the
// listener. The test thread plays the user-interface thread; the admission prompt is
// scripted.

#include <gtest/gtest.h>


#include "ConnectTestSupport.h"
#include "connect/InboundConnections.h"
#include "link/CommandPacket.h"
#include "support/LoopbackSockets.h"

using namespace sorvane;
using namespace sorvane::test;

namespace {

constexpr uint32_t kLoopback = 0x7F000001;

// Answers by device name: listed names are allowed once, others refused. Records
// what it was asked and what the program had done by then.
struct ScriptedAdmission final : InboundAdmissionPrompt {
    std::vector<std::string> allow;
    bool always = false; // answer "Always allow" instead of "Allow once"
    std::vector<std::string> asked;
    std::function<void()> onAsk;
    InboundAnswer askAdmission(const std::string& name, const std::string& address) override
    {
        asked.push_back(name + " at " + address);
        if (onAsk)
            onAsk();
        if (std::find(allow.begin(), allow.end(), name) == allow.end())
            return InboundAnswer::Refuse;
        return always ? InboundAnswer::AlwaysAllow : InboundAnswer::AllowOnce;
    }
};

struct Inbound {
    ConnectProgram program;
    InboundListener listener{kLoopback};
    ScriptedAdmission admission;
    std::unique_ptr<InboundAcceptor> acceptor;
    std::atomic<int> wakes{0};

    explicit Inbound(bool trustLoopback = true, int handshakeSeconds = 10, const char* allowed = "")
    {
        program.platform.InboundTrustLoopback = trustLoopback ? 1 : 0;
        program.platform.InboundHandshakeSeconds = handshakeSeconds;
        program.platform.InboundAllowed = allowed;
        EXPECT_EQ(listener.StartInboundListener(0), InboundListener::StartResult::Listening);
        acceptor = std::make_unique<InboundAcceptor>(program.ctx, listener, admission);
        acceptor->setWake([this] { ++wakes; });
    }
    std::string target() const { return "127.0.0.1:" + std::to_string(listener.listeningPort()); }

    // Polls as the program's timer would until cond holds.
    template <class Cond> bool pollUntil(Cond cond)
    {
        return waitUntil([&] {
            acceptor->poll();
            return cond();
        });
    }
};

// A raw TCP peer of the listener, from 127.0.0.1 or another loopback address.
struct Peer {
    Socket socket;
    explicit Peer(uint16_t port, uint32_t from = kLoopback) : socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0))
    {
        sockaddr_in source = loopbackAddress(0), target = loopbackAddress(port);
        source.sin_addr.s_addr = htonl(from);
        EXPECT_EQ(::bind(socket.fd, reinterpret_cast<const sockaddr*>(&source), sizeof source), 0);
        EXPECT_EQ(::connect(socket.fd, reinterpret_cast<const sockaddr*>(&target), sizeof target), 0);
    }
    void close() { socket.reset(); }
    void send(const std::vector<uint8_t>& b) { (void)!::send(socket.fd, b.data(), b.size(), MSG_NOSIGNAL); }
};

// A peer that keeps the hello going with one byte of a "not yet" reply every period.
struct Trickler {
    Peer peer;
    std::atomic<bool> stop{false};
    std::thread thread;
    Trickler(uint16_t port, std::chrono::milliseconds period) : peer(port)
    {
        thread = std::thread([this, period] {
            const uint8_t notYet[4] = {'e', 0xFF, 'e', 0x11};
            for (size_t i = 0; !stop; ++i) {
                peer.send({notYet[i % 4]});
                for (auto t = std::chrono::milliseconds(0); t < period && !stop; t += std::chrono::milliseconds(10))
                    std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
        });
    }
    ~Trickler()
    {
        stop = true;
        thread.join();
    }
};

} // namespace

// Two devices calling together each get a window, with scale 1 and full colour
// whatever profile 0 says.
TEST(Inbound, DevicesGetHandshakesAndWindowsWithScaleOne)
{
    Inbound in; // loopback trusted, as by default: no question
    in.program.addProfile(uint32_t(LinkKind::Wan), "first", 3, 1);
    SimProcess a({"--connect-to", in.target(), "--name", "A"});
    SimProcess b({"--connect-to", in.target(), "--name", "B"});
    ASSERT_TRUE(in.pollUntil([&] { return in.program.windows.size() == 2; }));
    EXPECT_GE(in.wakes.load(), 1);
    EXPECT_TRUE(in.admission.asked.empty());
    std::vector<std::string> names;
    for (const OpenedWindow& w : in.program.windows) {
        names.push_back(w.name);
        EXPECT_EQ(w.profileIndex, 0);
        EXPECT_EQ(w.scale, 1);
        EXPECT_EQ(w.lowColor, 0);
        const LinkSlot& s = *in.program.links.find(w.slot);
        EXPECT_EQ(s.linkKind, uint32_t(LinkKind::Wan));
        EXPECT_EQ(s.ipAddress, 0x0100007Fu); // 127.0.0.1 as accepted: network byte order
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"A", "B"}));
    EXPECT_NE(in.program.windows[0].slot, in.program.windows[1].slot);
    EXPECT_EQ(in.acceptor->inFlight(), 0u);
}

// A stranger is asked about before its password; "Always allow" remembers the address,
// so the next device from it is not asked about. "Refuse" is remembered as well: the
// address is asked about once, whatever its devices connect again.
TEST(Inbound, StrangerIsAskedAboutOnceBeforeItsPasswordAndTheAnswerIsRemembered)
{
    {
        Inbound in(false);
        SimProcess refused({"--connect-to", in.target(), "--password", "Secret", "--name", "Stranger"});
        ASSERT_TRUE(in.pollUntil([&] { return in.admission.asked.size() == 1; }));
        EXPECT_EQ(in.admission.asked[0], "Stranger at 127.0.0.1");
        EXPECT_TRUE(awaitLine(refused, "disconnected")); // closed once refused
        SimProcess again({"--connect-to", in.target(), "--name", "Again"});
        EXPECT_TRUE(in.pollUntil([&] {
            const std::optional<std::string> line = again.readLine(std::chrono::milliseconds(5));
            return line && line->rfind("disconnected", 0) == 0;
        }));
        EXPECT_EQ(in.admission.asked.size(), 1u);
        EXPECT_TRUE(in.program.prompt.asked.empty() && in.program.windows.empty()); // no password question
    }
    Inbound in(false);
    in.program.prompt.typed = "secret";
    in.admission.allow = {"Locked"};
    in.admission.always = true;
    size_t doneFirst = 99; // password questions and windows before the admission question
    in.admission.onAsk = [&] { doneFirst = in.program.prompt.asked.size() + in.program.windows.size(); };
    SimProcess accepted({"--connect-to", in.target(), "--password", "Secret", "--name", "Locked"});
    ASSERT_TRUE(in.pollUntil([&] { return !in.program.windows.empty(); }));
    EXPECT_EQ(doneFirst, 0u);
    EXPECT_EQ(in.program.prompt.asked, (std::vector<std::string>{"Secret"}));
    EXPECT_EQ(in.program.windows[0].name, "Locked");
    EXPECT_EQ(in.program.platform.InboundAllowed, "127.0.0.1");
    SimProcess b({"--connect-to", in.target(), "--name", "B"}); // would be refused if asked
    ASSERT_TRUE(in.pollUntil([&] { return in.program.windows.size() == 2; }));
    EXPECT_EQ(in.admission.asked.size(), 1u);
}

// Seventy silent connections from one address hold four handshakes; sixty more from
// fifteen other strangers fill the rest of the room; a slow peer and a device from the
// allowed address still get in, each in the place of a stranger's handshake.
TEST(Inbound, StrangersCannotCrowdOutAnAllowedDevice)
{
    // The deadline is long enough that the slow and silent peers are still in their
    // handshakes when the program ends.
    Inbound in(false, 120, "127.0.0.1");
    const uint16_t port = uint16_t(in.listener.listeningPort());
    std::vector<std::unique_ptr<Peer>> peers;
    auto connect = [&](uint32_t from) {
        peers.push_back(std::make_unique<Peer>(port, from));
        in.acceptor->poll(); // the backlog must not fill
    };
    for (int i = 0; i < 70; ++i)
        connect(0x7F000002);
    ASSERT_TRUE(waitUntil([&] {
        in.acceptor->poll();
        return in.acceptor->inFlight() == kMaxInboundPerAddress;
    }));
    for (uint32_t from = 0x7F000101; from <= 0x7F00010F; ++from)
        for (size_t i = 0; i < kMaxInboundPerAddress; ++i)
            connect(from);
    Trickler slow(port, std::chrono::seconds(5));
    SimProcess allowed({"--connect-to", in.target(), "--name", "Allowed"});

    ASSERT_TRUE(in.pollUntil([&] { return !in.program.windows.empty(); }));
    EXPECT_EQ(in.program.windows[0].name, "Allowed");
    EXPECT_TRUE(in.admission.asked.empty());
    // The program ends with the rest still in their handshakes.
    EXPECT_GE(in.acceptor->inFlight(), 60u);
    in.acceptor.reset();
}

TEST(Inbound, DeadlineCutsASlowPeerAndQuestionsWaitInLine)
{
    InboundListener listener(kLoopback);
    ASSERT_EQ(listener.StartInboundListener(0), InboundListener::StartResult::Listening);
    SystemClock clock;
    InboundPolicy policy;
    policy.trustLoopback = false;
    policy.handshakeTime = std::chrono::seconds(1);
    auto engine = std::make_unique<InboundHandshakes>(clock, listener, policy);
    const std::string target = "127.0.0.1:" + std::to_string(listener.listeningPort());
    {
        // A byte of "not yet" every 100 ms would hold the hello for 20 s: the deadline ends it.
        Trickler slow(uint16_t(listener.listeningPort()), std::chrono::milliseconds(100));
        std::vector<InboundResult> ended;
        ASSERT_TRUE(waitUntil([&] {
            engine->acceptAll();
            for (InboundResult& r : engine->takeEnded())
                ended.push_back(std::move(r));
            return !ended.empty();
        }));
        EXPECT_EQ(ended[0].end, InboundEnd::TimedOut) << inboundEndText(ended[0]);
    }
    engine->setPolicy([&] {
        InboundPolicy p = policy;
        p.handshakeTime = std::chrono::seconds(10);
        return p;
    }());
    // Two strangers: one question is shown (and never answered), the other waits in
    // line; ending the engine then must not wait for either.
    SimProcess a({"--connect-to", target, "--name", "A"});
    SimProcess b({"--connect-to", target, "--name", "B"});
    std::optional<InboundQuestion> shown;
    ASSERT_TRUE(waitUntil([&] {
        engine->acceptAll();
        if (!shown)
            shown = engine->nextQuestion();
        return shown && engine->inFlight() == 2;
    }));
    EXPECT_EQ(shown->kind, InboundQuestion::Kind::Admission);
    EXPECT_FALSE(engine->nextQuestion()); // one at a time
    engine.reset();
}
