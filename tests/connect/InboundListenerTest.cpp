#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "connect/InboundListener.h"

using namespace sorvane;

namespace {

constexpr uint32_t kLoopback = 0x7F000001; // 127.0.0.1

// A plain socket of the test's own, closed at the end of the scope.
struct Fd {
    int fd = -1;
    explicit Fd(int f) : fd(f) {}
    ~Fd()
    {
        if (fd >= 0)
            close(fd);
    }
};

sockaddr_in loopback(int port)
{
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(uint16_t(port));
    a.sin_addr.s_addr = htonl(kLoopback);
    return a;
}

// Connects to 127.0.0.1:port; the socket, or -1 when refused.
int connectTo(int port)
{
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a = loopback(port);
    if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

// Another program's listener on 127.0.0.1, on a port the system picks.
int otherListener(int& port)
{
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a = loopback(0);
    EXPECT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    EXPECT_EQ(listen(fd, 1), 0);
    socklen_t len = sizeof a;
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    port = ntohs(a.sin_port);
    return fd;
}

// A port nobody listens on right now.
int freePort()
{
    int port = 0;
    Fd s(otherListener(port));
    return port;
}

bool accepts(InboundListener& l)
{
    Fd client(connectTo(l.listeningPort()));
    if (client.fd < 0)
        return false;
    std::optional<AcceptedSocket> a = l.acceptPending();
    return a.has_value() && a->fd() >= 0;
}

} // namespace

TEST(InboundListener, AcceptsOnePendingConnectionPerPoll)
{
    InboundListener l(kLoopback);
    ASSERT_EQ(l.StartInboundListener(0), InboundListener::StartResult::Listening);
    ASSERT_GT(l.listeningPort(), 0);
    EXPECT_FALSE(l.acceptPending().has_value());

    Fd c1(connectTo(l.listeningPort()));
    Fd c2(connectTo(l.listeningPort()));
    ASSERT_GE(c1.fd, 0);
    ASSERT_GE(c2.fd, 0);
    std::optional<AcceptedSocket> a1 = l.acceptPending();
    ASSERT_TRUE(a1.has_value());
    EXPECT_EQ(a1->peerAddressNetworkOrder(), htonl(kLoopback));
    EXPECT_FALSE(fcntl(a1->fd(), F_GETFL) & O_NONBLOCK);
    // The second device waits in the queue for the next poll.
    std::optional<AcceptedSocket> a2 = l.acceptPending();
    ASSERT_TRUE(a2.has_value());
    EXPECT_FALSE(l.acceptPending().has_value());

    // Bytes reach the accepted socket: it is the client's connection.
    ASSERT_EQ(write(c1.fd, "P", 1), 1);
    char b = 0;
    ASSERT_EQ(read(a1->fd(), &b, 1), 1);
    EXPECT_EQ(b, 'P');

    l.close();
    EXPECT_FALSE(l.isListening());
    EXPECT_EQ(l.listeningPort(), 0);
    EXPECT_FALSE(l.acceptPending().has_value());
}

// A port in use or out of range leaves the old port listening; a free port moves the
// listener there and frees the old one.
TEST(InboundListener, ReopenMovesOnlyToAFreePort)
{
    InboundListener l(kLoopback);
    ASSERT_EQ(l.StartInboundListener(0), InboundListener::StartResult::Listening);
    const int oldPort = l.listeningPort();
    ASSERT_TRUE(accepts(l)); // leaves a closed connection behind on the old port

    int busyPort = 0;
    Fd busy(otherListener(busyPort));
    for (int port : {busyPort, 0, 65536}) {
        EXPECT_FALSE(l.reopen(port)) << port;
        EXPECT_EQ(l.listeningPort(), oldPort);
        EXPECT_TRUE(accepts(l));
    }
    InboundListener direct(kLoopback);
    EXPECT_EQ(direct.StartInboundListener(busyPort), InboundListener::StartResult::BindFailed);
    EXPECT_FALSE(direct.isListening());

    const int newPort = freePort();
    ASSERT_TRUE(l.reopen(newPort));
    EXPECT_EQ(l.listeningPort(), newPort);
    EXPECT_TRUE(accepts(l));
    Fd refused(connectTo(oldPort));
    EXPECT_LT(refused.fd, 0);
}
