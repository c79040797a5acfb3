// The simulator's side of the handshake, over loopback TCP and a pseudo-terminal: the
// hello and its faults, the device information block byte by byte, the palette answers,
// the announcement lines, refused options and a clean stop.

#include "RawClient.h"
#include "support/SimProcess.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

using namespace sorvane::test;
using namespace std::chrono_literals;

namespace {

uint32_t u32(const Bytes& b, size_t at)
{
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}

std::string cString(const Bytes& b, size_t at, size_t size)
{
    std::string s;
    for (size_t i = at; i < at + size && b[i]; ++i)
        s.push_back(char(b[i]));
    return s;
}

} // namespace

TEST(SimHandshake, AnnouncesItsListenerAndAnswersHelloAndInfo)
{
    SimProcess sim({"--port", "0", "--depth", "4", "--orientation", "90", "--name", "Field Unit 3", "--password",
                    "Secret", "--spare", "-7", "--second", "8:120x160:270"});
    auto tcp = sim.fact("tcp");
    ASSERT_TRUE(tcp);
    EXPECT_EQ(tcp->rfind("127.0.0.1 ", 0), 0u) << *tcp;
    EXPECT_GT(sim.tcpPort(), 0);
    EXPECT_FALSE(sim.fact("serial"));

    RawClient c(sim.tcpPort());
    c.hello();
    Bytes b = c.info();
    ASSERT_EQ(b.size(), 332u);
    EXPECT_EQ(u32(b, 0), 4u);
    EXPECT_EQ(u32(b, 4), 240u);
    EXPECT_EQ(u32(b, 8), 320u);
    EXPECT_EQ(u32(b, 12), 90u);
    EXPECT_EQ(u32(b, 16), 8u);
    EXPECT_EQ(u32(b, 20), 120u);
    EXPECT_EQ(u32(b, 24), 160u);
    EXPECT_EQ(u32(b, 28), 270u);
    EXPECT_EQ(u32(b, 32), 0u);
    EXPECT_EQ(int32_t(u32(b, 36)), -7);
    EXPECT_EQ(u32(b, 40), 0u);
    EXPECT_EQ(cString(b, 44, 256), "Field Unit 3");
    EXPECT_EQ(cString(b, 300, 32), "Secret");
    for (size_t i = 44 + 12; i < 300; ++i)
        ASSERT_EQ(b[i], 0) << "name padding at " << i;
    for (size_t i = 300 + 6; i < 332; ++i)
        ASSERT_EQ(b[i], 0) << "password padding at " << i;

    auto connected = nextLine(sim, "connected");
    ASSERT_TRUE(connected);
    EXPECT_EQ(connected->rfind("connected 1 tcp 127.0.0.1:", 0), 0u) << *connected;
    EXPECT_EQ(sim.readLine(20s), "command 80");
    EXPECT_EQ(sim.readLine(20s), "command 92");
}

TEST(SimHandshake, DefaultsNoSecondDisplayAndNoPassword)
{
    SimProcess sim({"--port", "0"});
    RawClient c(sim.tcpPort());
    c.hello();
    Bytes b = c.info();
    EXPECT_EQ(u32(b, 0), 16u);
    EXPECT_EQ(u32(b, 4), 240u);
    EXPECT_EQ(u32(b, 8), 320u);
    for (size_t at = 12; at < 44; at += 4)
        EXPECT_EQ(u32(b, at), 0u) << at;
    EXPECT_EQ(cString(b, 44, 256), "Sorvane Sim");
    EXPECT_EQ(b[300], 0);
}

TEST(SimHandshake, PaletteAnswerFollowsDepthAndFlag)
{
    struct Case {
        std::string depth;
        bool flag;
        size_t bytes; // palette bytes after the 32-bit flag
    };
    for (const Case& k : {Case{"2", true, 16}, Case{"4", true, 64}, Case{"8", true, 1024}, Case{"8", false, 0},
                          Case{"16", true, 0}}) {
        SCOPED_TRACE("depth " + k.depth + (k.flag ? "" : " without palette"));
        SimProcess sim({"--port", "0", "--depth", k.depth, "--palette-flag", k.flag ? "1" : "0"});
        RawClient c(sim.tcpPort());
        c.hello();
        c.info();
        c.send(packet(93));
        auto flag = c.read(4);
        ASSERT_TRUE(flag);
        EXPECT_EQ(u32(*flag, 0) != 0, k.bytes != 0);
        auto pal = c.read(k.bytes);
        ASSERT_TRUE(pal);
        if (k.bytes >= 16) {
            // Entry 0 is black; entries are red, green, blue and an unused byte, and the
            // colours differ so that a swapped channel shows.
            EXPECT_EQ(Bytes(pal->begin(), pal->begin() + 4), (Bytes{0, 0, 0, 0}));
            EXPECT_NE((*pal)[8], (*pal)[10]);
        }
        // Nothing else came with it: the next answer is the refresh's reply packet.
        c.send(packet(81));
        EXPECT_EQ(c.read(4), packet(97));
    }
}

TEST(SimHandshake, PollPaletteQueryReportsChangesOfAnEightBitDevice)
{
    SimProcess sim({"--port", "0", "--depth", "8", "--palette-change-every", "2"});
    RawClient c(sim.tcpPort());
    c.hello();
    c.info();
    c.send(packet(93));
    ASSERT_TRUE(c.read(4));
    auto first = c.read(1024);
    ASSERT_TRUE(first);
    c.send(packet(93));
    EXPECT_EQ(c.read(4), le32(0));
    c.send(packet(93));
    EXPECT_EQ(c.read(4), le32(0x12345678));
    auto changed = c.read(1024);
    ASSERT_TRUE(changed);
    EXPECT_NE(*changed, *first);
    EXPECT_EQ(nextLine(sim, "palette"), "palette 1");
}

TEST(SimHandshake, HelloFaults)
{
    {
        SimProcess sim({"--port", "0", "--hello-e", "3"});
        RawClient c(sim.tcpPort());
        c.send(packet(80));
        EXPECT_EQ(c.read(16), packet(101) + packet(101) + packet(101) + packet(97));
    }
    {
        SimProcess sim({"--port", "0", "--hello-garbage"});
        RawClient c(sim.tcpPort());
        c.send(packet(80));
        auto r = c.read(8);
        ASSERT_TRUE(r);
        EXPECT_EQ(Bytes(r->begin(), r->begin() + 4), packet(101));
        for (size_t i = 4; i < 8; ++i) {
            EXPECT_NE((*r)[i], 0xFF);
            EXPECT_NE((*r)[i], 0x11);
        }
        EXPECT_EQ(c.info().size(), 332u); // and then it behaves
    }
    for (const char* stray : {"11", "0x5a"}) {
        SimProcess sim({"--port", "0", "--stray-byte", stray});
        RawClient c(sim.tcpPort());
        c.send(packet(80));
        uint8_t expected = std::string(stray) == "11" ? 0x11 : 0x5A;
        EXPECT_EQ(c.read(5), Bytes{expected} + packet(97));
    }
}

TEST(SimHandshake, CloseAfterEndsTheConnectionAfterTheAnswers)
{
    SimProcess sim({"--port", "0", "--close-after", "2"});
    {
        RawClient c(sim.tcpPort());
        c.hello();
        c.send(packet(92) + inputPacket(84, 1, 2)); // unread input must not spoil the answer
        EXPECT_EQ(c.read(332).value_or(Bytes{}).size(), 332u);
        EXPECT_TRUE(c.closedByPeer());
    }
    ASSERT_TRUE(nextLine(sim, "disconnected 1"));
    // The simulator serves the next client.
    RawClient again(sim.tcpPort());
    again.hello();
}

TEST(SimHandshake, RefusesNonLoopbackAndBadOptions)
{
    std::string simPath = programFromEnv("SORVANE_SIM");
    for (std::vector<std::string> args : {std::vector<std::string>{"--host", "10.1.2.3"}, {"--depth", "3"},
                                          {"--orientation", "45"}, {"--width", "241"}, {"--second", "16:240x320"},
                                          {"--second", "16:480x640:0"}, {"--bogus"}, {"--port"}}) {
        args.insert(args.begin(), simPath);
        ProcessResult r = runProcess(args, 20s);
        EXPECT_EQ(r.exitCode, 2) << args[1];
        EXPECT_NE(r.err.find("sorvane-sim:"), std::string::npos) << r.err;
        EXPECT_EQ(r.out, "");
    }
}

TEST(SimHandshake, StopsCleanlyOnTerm)
{
    SimProcess sim({"--port", "0"});
    RawClient c(sim.tcpPort()); // an open connection does not hold it up
    c.hello();
    sim.signal(SIGTERM);
    EXPECT_EQ(sim.wait(20s), 0);
}

TEST(SimHandshake, OnceExitsWhenTheFirstConnectionEnds)
{
    SimProcess sim({"--port", "0", "--once"});
    {
        RawClient c(sim.tcpPort());
        c.hello();
    }
    EXPECT_EQ(sim.wait(20s), 0);
}

TEST(SimHandshake, SerialLineOnAPseudoTerminal)
{
    SimProcess sim({"--serial", "--height", "266", "--spare", "13"});
    EXPECT_FALSE(sim.fact("tcp"));
    std::string path = sim.serialPath();
    EXPECT_EQ(path.rfind("/dev/", 0), 0u);
    for (int session = 0; session < 2; ++session) {
        int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        ASSERT_GE(fd, 0);
        if (session == 1) {
            // A client that sets its own raw mode; the first one relies on the line's.
            termios t{};
            ASSERT_EQ(tcgetattr(fd, &t), 0);
            cfmakeraw(&t);
            tcsetattr(fd, TCSANOW, &t);
        }
        RawClient c(fd, true);
        c.hello();
        // The bytes 0x0A and 0x0D of the block pass untranslated, and nothing is echoed.
        Bytes b = c.info();
        EXPECT_EQ(u32(b, 0), 16u);
        EXPECT_EQ(u32(b, 8), 266u);
        EXPECT_EQ(u32(b, 36), 13u);
        EXPECT_EQ(cString(b, 44, 256), "Sorvane Sim");
        c.close();
        ASSERT_TRUE(nextLine(sim, "disconnected"));
    }
}

TEST(SimHandshake, SerialLineHungUpByTheAgentComesBackOnANewTerminal)
{
    SimProcess sim({"--serial", "--close-after", "2"});
    std::string path = sim.serialPath();
    for (int session = 0; session < 2; ++session) {
        int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        ASSERT_GE(fd, 0);
        RawClient c(fd, true);
        c.hello();
        c.info();
        EXPECT_TRUE(c.closedByPeer()); // the line hangs up
        auto next = nextLine(sim, "serial ");
        ASSERT_TRUE(next);
        path = next->substr(7);
    }
}
