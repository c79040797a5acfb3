#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include "connect/InboundListener.h"
#include "support/LoopbackSockets.h"

using namespace sorvane;
using namespace sorvane::test;

namespace {

constexpr uint32_t kLoopback = 0x7F000001; // 127.0.0.1

bool accepts(InboundListener& l)
{
    Socket client(connectLoopback(l.listeningPort()));
    if (client.fd < 0)
        return false;
    std::optional<AcceptedSocket> a = l.acceptPending();
    return a.has_value() && a->fd() >= 0;
}

} // namespace

// Many devices at once and their addresses are the inbound tests' (InboundTest).
TEST(InboundListener, AcceptsWithoutWaitingAndHandsOverABlockingSocket)
{
    InboundListener l(kLoopback);
    ASSERT_EQ(l.StartInboundListener(0), InboundListener::StartResult::Listening);
    ASSERT_GT(l.listeningPort(), 0);
    EXPECT_FALSE(l.acceptPending().has_value());

    Socket client(connectLoopback(l.listeningPort()));
    ASSERT_GE(client.fd, 0);
    std::optional<AcceptedSocket> a = l.acceptPending();
    ASSERT_TRUE(a.has_value());
    EXPECT_FALSE(fcntl(a->fd(), F_GETFL) & O_NONBLOCK);
    EXPECT_FALSE(l.acceptPending().has_value());

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

    OtherListener busy;
    const int busyPort = busy.port;
    ASSERT_GT(busyPort, 0);
    for (int port : {busyPort, 0, 65536}) {
        EXPECT_FALSE(l.reopen(port)) << port;
        EXPECT_EQ(l.listeningPort(), oldPort);
        EXPECT_TRUE(accepts(l));
    }
    InboundListener direct(kLoopback);
    EXPECT_EQ(direct.StartInboundListener(busyPort), InboundListener::StartResult::BindFailed);
    EXPECT_FALSE(direct.isListening());

    const int newPort = freeLoopbackPort();
    ASSERT_TRUE(l.reopen(newPort));
    EXPECT_EQ(l.listeningPort(), newPort);
    EXPECT_TRUE(accepts(l));
    Socket refused(connectLoopback(oldPort));
    EXPECT_LT(refused.fd, 0);
}
