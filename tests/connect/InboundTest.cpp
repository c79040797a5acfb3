// Inbound connections: simulated devices and hostile peers that connect to the
// listener. The test thread plays the user-interface thread; the admission prompt is
// scripted.

#include <gtest/gtest.h>

#include <map>

#include "ConnectTestSupport.h"
#include "connect/InboundConnections.h"
#include "link/CommandPacket.h"
#include "support/LoopbackSockets.h"

using namespace sorvane;
using namespace sorvane::test;

namespace {

constexpr uint32_t kLoopback = 0x7F000001;

// Answers by device name ("Allow once" for names not listed). Records the names and
// addresses it was asked about and calls onAsk with the question on the screen.
struct ScriptedAdmission final : InboundAdmissionPrompt {
    std::map<std::string, InboundAnswer> answers;
    std::vector<std::string> asked, addresses;
    std::function<void()> onAsk;
    InboundAnswer askAdmission(const std::string& name, const std::string& address) override
    {
        asked.push_back(name);
        addresses.push_back(address);
        if (onAsk)
            onAsk();
        auto it = answers.find(name);
        return it == answers.end() ? InboundAnswer::AllowOnce : it->second;
    }
};

// Time that moves only when the test moves it. Pauses still wait in real time, so the
// bytes of a real peer arrive while the link rules wait for them.
struct DrivenClock final : Clock {
    std::atomic<uint32_t> now{5000};
    SystemClock real;
    uint32_t tickCount() const override { return now; }
    void sleepMs(uint32_t ms) override { real.sleepMs(ms); }
    void pauseForData(Transport& t, uint32_t ms) override { real.pauseForData(t, ms); }
};

struct Inbound {
    DrivenClock clock;
    ConnectProgram program{clock};
    InboundListener listener{kLoopback};
    ScriptedAdmission admission;
    std::unique_ptr<InboundAcceptor> acceptor;
    std::atomic<int> wakes{0};
    int saves = 0;

    explicit Inbound(bool trustLoopback = true, int handshakeSeconds = 10, const char* allowed = "")
    {
        program.platform.InboundTrustLoopback = trustLoopback ? 1 : 0;
        program.platform.InboundHandshakeSeconds = handshakeSeconds;
        program.platform.InboundAllowed = allowed;
        EXPECT_EQ(listener.StartInboundListener(0), InboundListener::StartResult::Listening);
        acceptor = std::make_unique<InboundAcceptor>(program.ctx, listener, admission);
        acceptor->setWake([this] { ++wakes; });
        acceptor->setRemembered([this] { ++saves; });
    }
    std::string target() const { return "127.0.0.1:" + std::to_string(listener.listeningPort()); }
    // A simulated device calling from a loopback address.
    std::unique_ptr<SimProcess> device(const std::string& name, const std::string& from,
                                       const std::string& password = "")
    {
        return std::make_unique<SimProcess>(std::vector<std::string>{
            "--connect-to", target(), "--connect-from", from, "--name", name, "--password", password});
    }

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

// A device from 127.0.0.2 is asked about; while its question is on the screen for
// `shownMs` a device from 127.0.0.3 joins the line. The answer holds for 127.0.0.2
// alone: "Always allow" lets its next device in unasked (and is kept in the settings),
// "Refuse" closes it unasked and before any password question, "Allow once" asks
// again; 127.0.0.3 is asked each time. Time in line counts towards the 10 s deadline,
// time on the screen does not. Every window has scale 1 and full colour whatever
// profile 0 says.
TEST(Inbound, AnAnswerHoldsForItsAddressAloneAndTimeInLineCounts)
{
    const struct {
        InboundAnswer answer;
        uint32_t shownMs;
        const char* inSettings;
        std::vector<std::string> asked, windows;
    } rows[] = {
        {InboundAnswer::AlwaysAllow, 0, "127.0.0.2", {"A1", "B1", "B2"}, {"A1", "B1", "A2", "B2"}},
        {InboundAnswer::Refuse, 0, "", {"A1", "B1", "B2"}, {"B1", "B2"}},
        {InboundAnswer::AllowOnce, 9999, "", {"A1", "B1", "A2", "B2"}, {"A1", "B1", "A2", "B2"}},
        {InboundAnswer::AllowOnce, 10000, "", {"A1", "A2", "B2"}, {"A1", "A2", "B2"}}, // B1 timed out in line
    };
    for (const auto& row : rows) {
        Inbound in(false);
        in.program.addProfile(uint32_t(LinkKind::Wan), "first", 3, 1);
        in.program.prompt.typed = "secret";
        in.admission.answers = {{"A1", row.answer}};
        std::unique_ptr<SimProcess> b1;
        in.admission.onAsk = [&] {
            if (b1)
                return;
            // The question's dialog polls while it is open; B1's question joining the line wakes it.
            const int before = in.wakes;
            b1 = in.device("B1", "127.0.0.3");
            EXPECT_TRUE(in.pollUntil([&] { return in.wakes > before; }));
            in.clock.now += row.shownMs;
        };
        auto a1 = in.device("A1", "127.0.0.2", "Secret");
        ASSERT_TRUE(in.pollUntil([&] { return b1 && in.acceptor->inFlight() == 0; }));
        for (const char* name : {"A2", "B2"}) {
            auto later = in.device(name, name[0] == 'A' ? "127.0.0.2" : "127.0.0.3");
            const size_t windows = in.program.windows.size();
            ASSERT_TRUE(in.pollUntil([&] {
                const std::optional<std::string> line = later->readLine(std::chrono::milliseconds(1));
                return in.program.windows.size() > windows || (line && line->rfind("disconnected", 0) == 0);
            }));
        }
        std::vector<std::string> windows;
        for (const OpenedWindow& w : in.program.windows) {
            windows.push_back(w.name);
            EXPECT_EQ(std::make_tuple(w.profileIndex, w.scale, w.lowColor), std::make_tuple(0, 1, 0));
            const SlotUse& s = w.link; // the address as accepted: network byte order
            EXPECT_EQ(std::make_pair(s.linkKind, s.ipAddress), std::make_pair(4u, w.name[0] == 'A' ? 0x0200007Fu : 0x0300007Fu));
        }
        EXPECT_EQ(in.admission.asked, row.asked) << int(row.answer) << " " << row.shownMs;
        EXPECT_EQ(windows, row.windows) << int(row.answer) << " " << row.shownMs;
        EXPECT_EQ(in.admission.addresses[0], "127.0.0.2");
        EXPECT_EQ(in.program.platform.InboundAllowed, row.inSettings);
        EXPECT_EQ(in.saves, row.answer == InboundAnswer::AlwaysAllow ? 1 : 0); // saved at once, not at exit
        EXPECT_EQ(in.program.prompt.asked.size(), row.answer == InboundAnswer::Refuse ? 0u : 1u);
    }
}

// Seventy silent connections from one address hold four handshakes; sixty more from
// fifteen other strangers fill the rest of the room of 64, and the next stranger is
// closed; a slow peer and a device from the allowed address still get in, each in the
// place of a stranger's handshake.
TEST(Inbound, StrangersCannotCrowdOutAnAllowedDevice)
{
    Inbound in(false, 10, "127.0.0.1"); // the clock stands still: nobody's deadline passes
    const uint16_t port = uint16_t(in.listener.listeningPort());
    std::vector<std::unique_ptr<Peer>> peers;
    auto connect = [&](uint32_t from) {
        peers.push_back(std::make_unique<Peer>(port, from));
        in.acceptor->poll(); // the backlog must not fill
    };
    for (int i = 0; i < 70; ++i)
        connect(0x7F000002);
    ASSERT_TRUE(in.pollUntil([&] { return in.acceptor->inFlight() == 4; }));
    for (uint32_t from = 0x7F000101; from <= 0x7F00010F; ++from)
        for (int i = 0; i < 4; ++i)
            connect(from);
    ASSERT_TRUE(in.pollUntil([&] { return in.acceptor->inFlight() == 64; }));
    connect(0x7F000110); // the room is full: one more stranger is closed when accepted
    ASSERT_TRUE(in.pollUntil([&] {
        uint8_t byte;
        return ::recv(peers.back()->socket.fd, &byte, 1, MSG_DONTWAIT) == 0;
    }));
    EXPECT_EQ(in.acceptor->inFlight(), 64u);
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
    DrivenClock clock;
    InboundPolicy policy = inboundPolicyFrom(PlatformSettings::defaults());
    EXPECT_TRUE(policy.allows(0x7F0000FE)); // loopback is trusted unless the user says otherwise
    policy.trustLoopback = false;
    auto engine = std::make_unique<InboundHandshakes>(clock, listener, policy);
    const std::string target = "127.0.0.1:" + std::to_string(listener.listeningPort());
    {
        // A byte of "not yet" every 100 ms would hold the hello for 20 s: the 10 s deadline ends it.
        Trickler slow(uint16_t(listener.listeningPort()), std::chrono::milliseconds(100));
        ASSERT_TRUE(waitUntil([&] {
            engine->acceptAll();
            return engine->inFlight() == 1;
        }));
        clock.now += 10000;
        std::vector<InboundResult> ended;
        ASSERT_TRUE(waitUntil([&] {
            ended = engine->takeEnded();
            return !ended.empty();
        }));
        EXPECT_EQ(ended[0].end, InboundEnd::TimedOut) << inboundEndText(ended[0]);
    }
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
