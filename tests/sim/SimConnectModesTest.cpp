// The simulator's discovery answers and proxy server, checked with bare sockets.

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "RawClient.h"
#include "support/SimProcess.h"

using namespace sorvane::test;

namespace {

uint32_t u32(const Bytes& b, size_t at)
{
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}

// Sends `request` to 127.0.0.1:port and gathers the datagrams that come back within
// 300 ms (their real sizes), with the sender's port.
std::vector<std::pair<Bytes, int>> ask(int port, const Bytes& request)
{
    int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(uint16_t(port));
    to.sin_addr.s_addr = htonl(0x7F000001);
    ::sendto(fd, request.data(), request.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
    std::vector<std::pair<Bytes, int>> got;
    pollfd p{fd, POLLIN, 0};
    while (::poll(&p, 1, 300) > 0) {
        Bytes b(2048);
        sockaddr_in from{};
        socklen_t len = sizeof from;
        ssize_t n = ::recvfrom(fd, b.data(), b.size(), MSG_TRUNC, reinterpret_cast<sockaddr*>(&from), &len);
        b.resize(size_t(n));
        got.emplace_back(b, ntohs(from.sin_port));
    }
    ::close(fd);
    return got;
}

} // namespace

TEST(SimDiscovery, AnswersRequestsWithTheDeviceRecord)
{
    SimProcess sim({"--port", "0", "--name", "Pocket", "--password", "pw", "--discovery-port", "0",
                    "--discovery-repeat", "2"});
    const std::string fact = *sim.fact("discovery");
    const int port = std::stoi(fact.substr(fact.find(' ') + 1));
    auto replies = ask(port, {'U', 0, 0, 0});
    ASSERT_EQ(replies.size(), 2u);
    const Bytes& r = replies[0].first;
    ASSERT_EQ(r.size(), 288u);
    EXPECT_EQ(r[0], 'U');
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&r[4])), "Pocket");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&r[256])), "pw");
    EXPECT_EQ(replies[0].second, port); // from the discovery socket on --host
    EXPECT_TRUE(ask(port, {'X', 0, 0, 0}).empty());
    EXPECT_TRUE(ask(port, {'U', 0, 0}).empty());

    SimProcess shortReply({"--port", "0", "--discovery-port", "0", "--discovery-reply-size", "287"});
    const std::string f2 = *shortReply.fact("discovery");
    auto r2 = ask(std::stoi(f2.substr(f2.find(' ') + 1)), {'U', 0, 0, 0});
    ASSERT_EQ(r2.size(), 1u);
    EXPECT_EQ(r2[0].first.size(), 287u);
}

TEST(SimProxy, TableOpenAndRefusal)
{
    SimProcess sim({"--proxy", "--port", "0", "--proxy-devices", "One,Two*127.0.0.9,Three!", "--width", "320",
                    "--height", "240"});
    {
        RawClient c(sim.tcpPort());
        c.send({92});
        auto count = c.read(4);
        ASSERT_TRUE(count);
        ASSERT_EQ(u32(*count, 0), 3u);
        auto table = c.read(3 * 384);
        ASSERT_TRUE(table);
        const Bytes& t = *table;
        EXPECT_EQ(u32(t, 4), 320u);               // width
        EXPECT_EQ(u32(t, 8), 240u);               // height
        EXPECT_EQ(u32(t, 384 + 44), 1u);          // Two is in use
        EXPECT_EQ(u32(t, 44), 0u);
        EXPECT_NE(u32(t, 68), 0u);                // the proxy has One
        EXPECT_EQ(u32(t, 2 * 384 + 68), 0u);      // but not Three
        EXPECT_EQ((Bytes(t.begin() + 384 + 92, t.begin() + 384 + 96)), (Bytes{127, 0, 0, 9}));
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(&t[96])), "One");
    }
    for (uint32_t refused : {1u, 2u, 3u}) {
        RawClient c(sim.tcpPort());
        c.send(Bytes{'P'} + le32(refused));
        EXPECT_EQ(c.read(1), (std::optional<Bytes>(Bytes{'r'}))) << refused;
        EXPECT_TRUE(c.closedByPeer());
    }
    RawClient granted(sim.tcpPort());
    granted.send(Bytes{'P'} + le32(0));
    ASSERT_EQ(granted.read(1), (std::optional<Bytes>(Bytes{'a'})));
    granted.hello();
    const Bytes info = granted.info();
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&info[44])), "One");
}

TEST(SimOptions, ConnectingOutAndDiscoveryStayOnLoopback)
{
    for (auto args : std::vector<std::vector<std::string>>{{"--connect-to", "192.0.2.1:1901"},
                                                           {"--port", "0", "--discovery-port", "0",
                                                            "--discovery-bind", "192.0.2.255"},
                                                           {"--connect-to", "127.0.0.1:0"}}) {
        args.insert(args.begin(), programFromEnv("SORVANE_SIM"));
        auto r = runProcess(args, std::chrono::seconds(20));
        EXPECT_EQ(r.exitCode, 2) << args[1] << " " << args[2];
    }
}
