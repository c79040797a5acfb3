// sorvane-cli and the link layer against sorvane-sim over loopback TCP and a
// pseudo-terminal.

#include <gtest/gtest.h>

#include "link/CommandPacket.h"
#include "link/LinkTransport.h"
#include "settings/Profile.h"
#include "platform/PosixTransports.h"
#include "support/SimProcess.h"

using namespace sorvane;
using namespace sorvane::test;

namespace {

ProcessResult cli(std::vector<std::string> args)
{
    args.insert(args.begin(), programFromEnv("SORVANE_CLI"));
    return runProcess(args, std::chrono::seconds(60));
}

std::vector<std::string> over(const SimProcess& sim, bool serial, std::vector<std::string> rest)
{
    std::vector<std::string> a = serial ? std::vector<std::string>{"--serial", sim.serialPath()}
                                        : std::vector<std::string>{"--host", "127.0.0.1", "--port",
                                                                   std::to_string(sim.tcpPort())};
    a.insert(a.end(), rest.begin(), rest.end());
    return a;
}

std::vector<std::string> simArgs(bool serial, std::vector<std::string> rest)
{
    std::vector<std::string> a = serial ? std::vector<std::string>{"--serial"}
                                        : std::vector<std::string>{"--port", "0"};
    a.insert(a.end(), rest.begin(), rest.end());
    return a;
}

} // namespace

TEST(WithSim, InfoForEveryDepthOverTcpAndSerial)
{
    for (bool serial : {false, true})
        for (int depth : {2, 4, 8, 16}) {
            SCOPED_TRACE(std::string(serial ? "serial" : "tcp") + ", depth " + std::to_string(depth));
            SimProcess sim(simArgs(serial, {"--depth", std::to_string(depth), "--width", "320", "--height", "240",
                                            "--orientation", "90", "--second", "8:160x120:180", "--name",
                                            "Field unit " + std::to_string(depth)}));
            auto r = cli(over(sim, serial, {"info"}));
            ASSERT_EQ(r.exitCode, 0) << r.err;
            EXPECT_EQ(r.out, "depth: " + std::to_string(depth) +
                                 "\nwidth: 320\nheight: 240\norientation: 90\n"
                                 "altDepth: 8\naltWidth: 160\naltHeight: 120\naltOrientation: 180\n"
                                 "name: Field unit " + std::to_string(depth) + "\n");
        }
}

TEST(WithSim, PasswordOverWanOnly)
{
    SimProcess sim(simArgs(false, {"--password", "Tide42"}));
    EXPECT_EQ(cli(over(sim, false, {"--password", "tIDE42", "info"})).exitCode, 0);
    auto wrong = cli(over(sim, false, {"--password", "tide", "info"}));
    EXPECT_EQ(wrong.exitCode, 1);
    EXPECT_NE(wrong.err.find("the password is incorrect"), std::string::npos) << wrong.err;
    auto missing = cli(over(sim, false, {"info"}));
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_NE(missing.err.find("requires a password"), std::string::npos) << missing.err;

    // A serial link never asks.
    SimProcess serialSim(simArgs(true, {"--password", "Tide42"}));
    EXPECT_EQ(cli(over(serialSim, true, {"info"})).exitCode, 0);
}

TEST(WithSim, HelloFaults)
{
    struct Case {
        std::vector<std::string> fault;
        int exit;
    } cases[] = {
        {{"--hello-e", "2"}, 0},
        {{"--hello-garbage"}, 0},
        {{"--stray-byte", "11"}, 0},
        {{"--stray-byte", "42"}, 1},
        {{"--palette-flag", "0", "--depth", "8"}, 0},
    };
    for (bool serial : {false, true})
        for (const Case& c : cases) {
            SCOPED_TRACE(c.fault[0] + (serial ? " over serial" : " over tcp"));
            SimProcess sim(simArgs(serial, c.fault));
            auto r = cli(over(sim, serial, {"info"}));
            EXPECT_EQ(r.exitCode, c.exit) << r.err;
            if (c.exit == 1) {
                EXPECT_NE(r.err.find("did not answer the hello"), std::string::npos) << r.err;
            }
        }
}

TEST(WithSim, LinkStaysInStepAfterTheHandshake)
{
    // After the handshake the link carries the next exchange: a refresh answered by
    // one reply packet.
    SimProcess sim(simArgs(false, {"--depth", "8"}));
    SystemClock clock;
    Links links(clock);
    PasswordTable passwords;
    LinkConfig config;
    config.agentPort = uint16_t(sim.tcpPort());
    PosixTransportFactory factory;
    Profile p;
    p.linkKind = 5;
    p.ipAddress = 0x7F000001;
    LinkSlot& s = *links.find(0);
    s.linkKind = 5;
    s.transport = OpenLinkTransport(links, config, p.target(), factory);
    ASSERT_TRUE(s.transport);
    HandshakeEnv env{passwords, nullptr, nullptr, {}};
    ASSERT_TRUE(ConnectLink(links, 0, env).passed());
    EXPECT_EQ(s.deviceName, "Sorvane Sim");
    EXPECT_NE(s.palette, (std::array<uint8_t, 1024>{})) << "an 8-bit device sends its palette";
    EXPECT_EQ(s.bytesReceived.load(), 0u);
    EXPECT_EQ(SendCommand(links, 0, CmdRefresh), 4u);
    EXPECT_NE(ReadReply(links, 0), 0);
    EXPECT_EQ(s.bytesSent.load(), 4u);
    EXPECT_EQ(s.bytesReceived.load(), 4u);
    EXPECT_EQ(CloseLinkTransport(links, 0), 0);
}
