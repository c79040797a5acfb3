// Inbound connections: simulated devices that connect out to the listener.

#include <gtest/gtest.h>

#include "ConnectTestSupport.h"
#include "connect/InboundConnections.h"

using namespace sorvane;
using namespace sorvane::test;

namespace {

constexpr uint32_t kLoopback = 0x7F000001;

struct Inbound {
    ConnectProgram program;
    InboundListener listener{kLoopback};
    InboundAcceptor acceptor{program.ctx, listener};
    std::atomic<int> wakes{0};

    Inbound()
    {
        EXPECT_EQ(listener.StartInboundListener(0), InboundListener::StartResult::Listening);
        acceptor.setWake([this] { ++wakes; });
    }
    std::string target() const { return "127.0.0.1:" + std::to_string(listener.listeningPort()); }

    // One timer tick and the handshake it started; the slot it installed, if any.
    std::optional<int> tick()
    {
        EXPECT_TRUE(waitUntil([&] {
            PollInbound(acceptor);
            return acceptor.busy();
        })) << "no device connected";
        EXPECT_TRUE(waitUntil([&] { return acceptor.attemptEnded(); }));
        return acceptor.finishPending();
    }
};

} // namespace

TEST(Inbound, DeviceGetsHandshakeAndWindowWithScaleOne)
{
    Inbound in;
    in.program.addProfile(uint32_t(LinkKind::Wan), "first", 3, 1);
    SimProcess sim({"--connect-to", in.target(), "--name", "Caller"});
    auto slot = in.tick();
    ASSERT_TRUE(slot);
    EXPECT_EQ(in.wakes.load(), 1);
    ASSERT_EQ(in.program.windows.size(), 1u);
    const OpenedWindow& w = in.program.windows[0];
    EXPECT_EQ(w.profileIndex, 0);
    EXPECT_EQ(w.name, "Caller");
    EXPECT_EQ(w.scale, 1);    // whatever profile 0 says
    EXPECT_EQ(w.lowColor, 0); // likewise
    const LinkSlot& s = *in.program.links.find(*slot);
    EXPECT_EQ(s.linkKind, uint32_t(LinkKind::Wan));
    EXPECT_EQ(s.ipAddress, 0x0100007Fu); // 127.0.0.1 as accepted: network byte order
    EXPECT_FALSE(in.acceptor.busy());
}

TEST(Inbound, TwoDevicesAreTakenOnSuccessiveTicks)
{
    Inbound in;
    SimProcess a({"--connect-to", in.target(), "--name", "A"});
    SimProcess b({"--connect-to", in.target(), "--name", "B"});
    ASSERT_TRUE(awaitLine(a, "connected"));
    ASSERT_TRUE(awaitLine(b, "connected"));
    // Both are waiting in the listener's queue; one tick takes one.
    PollInbound(in.acceptor);
    ASSERT_TRUE(in.acceptor.busy());
    ASSERT_TRUE(waitUntil([&] { return in.acceptor.attemptEnded(); }));
    ASSERT_TRUE(in.acceptor.finishPending());
    EXPECT_EQ(in.program.windows.size(), 1u);
    ASSERT_TRUE(in.tick());
    ASSERT_EQ(in.program.windows.size(), 2u);
    std::vector<std::string> names{in.program.windows[0].name, in.program.windows[1].name};
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"A", "B"}));
    EXPECT_NE(in.program.windows[0].slot, in.program.windows[1].slot);
    // No profile is defined: the windows get the default settings.
    EXPECT_EQ(in.program.windows[0].profileIndex, -1);
    EXPECT_GT(windowProfile(in.program.profiles, in.program.settings, -1).refreshRate, 0);
}

TEST(Inbound, PasswordIsAskedAsForWanLinks)
{
    Inbound in;
    in.program.prompt.typed = "WRONG";
    SimProcess refused({"--connect-to", in.target(), "--password", "Secret"});
    EXPECT_FALSE(in.tick());
    EXPECT_EQ(in.program.prompt.asked, (std::vector<std::string>{"Secret"}));
    EXPECT_TRUE(in.program.windows.empty());
    EXPECT_TRUE(in.program.links.find(0)->isFree());

    in.program.prompt.typed = "secret";
    SimProcess accepted({"--connect-to", in.target(), "--password", "Secret", "--name", "Locked"});
    ASSERT_TRUE(in.tick());
    ASSERT_EQ(in.program.windows.size(), 1u);
    EXPECT_EQ(in.program.windows[0].name, "Locked");
}

TEST(Inbound, EverySlotLiveTurnsTheDeviceAway)
{
    Inbound in;
    for (int s = 0; s < Links::kSlotCount; ++s)
        in.program.links.find(s)->deviceName = "busy " + std::to_string(s);
    SimProcess sim({"--connect-to", in.target()});
    EXPECT_FALSE(in.tick());
    EXPECT_TRUE(in.program.windows.empty());
    EXPECT_TRUE(awaitLine(sim, "disconnected")); // its connection was closed
}
