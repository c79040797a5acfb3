// Connect attempts off the user-interface thread, and the in-use check, against
// sorvane-sim and a listener that never answers, on loopback.

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "connect/ConnectAttempt.h"
#include "connect/ProfileInUse.h"
#include "platform/PosixTransports.h"
#include "support/LoopbackSim.h"

using namespace sorvane;
using namespace sorvane::test;

namespace {

struct NoMessages final : MessageBoxPort {
    MessageResult show(const MessageRequest&) override { return MessageResult::Ok; }
};
struct NoBeep final : BeepPort {
    void beep() override {}
};
struct CancellingPrompt final : PasswordPrompt {
    int asked = 0;
    int askPassword(const PasswordTable&, size_t) override { return ++asked, 2; }
};

// The program-wide records an attempt borrows.
struct Program {
    SystemClock clock;
    Links links{clock};
    Views views;
    Settings settings;
    ProfileTable profiles;
    PlatformSettings platform = PlatformSettings::defaults();
    PasswordTable passwords;
    CancellingPrompt prompt;
    PosixTransportFactory transports;
    NoMessages messages;
    NoBeep beep;
    ConnectContext context{links, views, settings, profiles, platform, passwords, prompt, transports, messages, beep, {}};

    // Prepares the lowest free slot for a WAN profile as the connect dialog does.
    int prepare(const Profile& p)
    {
        const int slot = links.allocSlot();
        LinkSlot& s = *links.find(slot);
        s.linkKind = p.linkKind;
        s.port = p.port;
        s.ipAddress = p.ipAddress;
        return slot;
    }
};

Profile wanProfile(uint32_t address)
{
    Profile p;
    p.linkKind = uint32_t(LinkKind::Wan);
    p.ipAddress = address;
    p.scale = 1;
    p.refreshRate = 10;
    p.setName("wan");
    return p;
}

// Waits for the attempt's end as the dialog does (the callback comes on the attempt's
// thread).
struct Finished {
    std::mutex m;
    std::condition_variable cv;
    bool done = false;
    std::function<void()> callback()
    {
        return [this] {
            std::lock_guard l(m);
            done = true;
            cv.notify_all();
        };
    }
    bool wait()
    {
        std::unique_lock l(m);
        return cv.wait_for(l, std::chrono::seconds(30), [this] { return done; });
    }
};

// A listening socket on port 1899 of a loopback address of its own that accepts
// connections (in the kernel) and never says a word.
struct SilentAgent {
    int fd = -1;
    uint32_t address = 0;
    SilentAgent()
    {
        for (unsigned n = 2 + unsigned(getpid()) % 200; n < 255 && fd < 0; n += 7) {
            int s = socket(AF_INET, SOCK_STREAM, 0);
            int one = 1;
            setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
            sockaddr_in a{};
            a.sin_family = AF_INET;
            a.sin_port = htons(1899);
            a.sin_addr.s_addr = htonl(0x7F000000u | n);
            if (bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 && listen(s, 4) == 0) {
                fd = s;
                address = 0x7F000000u | n;
            } else {
                close(s);
            }
        }
    }
    ~SilentAgent()
    {
        if (fd >= 0)
            close(fd);
    }
};

} // namespace

TEST(ConnectAttempt, WanAttemptPassesAndTheProfileIsThenInUse)
{
    LoopbackSim sim = startLoopbackSim({"--name", "Attempted"});
    Program prog;
    const Profile profile = wanProfile(sim.address);
    EXPECT_FALSE(ProfileInUse(prog.links, profile));
    const int slot = prog.prepare(profile);
    Finished finished;
    ConnectAttempt attempt(prog.context);
    attempt.start(profile, slot, prog.context.linkConfig(), finished.callback());
    ASSERT_TRUE(finished.wait());
    attempt.join();
    ASSERT_EQ(attempt.outcome(), AttemptOutcome::Passed);
    EXPECT_EQ(prog.links.find(slot)->deviceName, "Attempted");
    EXPECT_TRUE(prog.views[slot].screen.bitmaps.built());

    // The same address is in use now; another address, and kinds that allow many
    // connections, are not.
    EXPECT_TRUE(ProfileInUse(prog.links, profile));
    EXPECT_FALSE(ProfileInUse(prog.links, wanProfile(sim.address + 1)));
    Profile lan = profile;
    lan.linkKind = uint32_t(LinkKind::Lan);
    EXPECT_FALSE(ProfileInUse(prog.links, lan));

    // Not opened after all: the slot is free again and closed.
    attempt.abandon();
    EXPECT_TRUE(prog.links.find(slot)->isFree());
    EXPECT_FALSE(prog.links.find(slot)->transport);
    EXPECT_FALSE(prog.views[slot].screen.bitmaps.built());
    EXPECT_FALSE(ProfileInUse(prog.links, profile));
}

TEST(ConnectAttempt, CancelDuringAHandshakeEndsAtOnceAndLeavesTheSlotFree)
{
    SilentAgent agent;
    ASSERT_GE(agent.fd, 0);
    Program prog;
    const Profile profile = wanProfile(agent.address);
    const int slot = prog.prepare(profile);
    Finished finished;
    ConnectAttempt attempt(prog.context);
    attempt.start(profile, slot, prog.context.linkConfig(), finished.callback());
    // The attempt is connected and waits for the hello's answer once the agent's
    // backlog holds the connection.
    int accepted = -1;
    for (int i = 0; i < 500 && accepted < 0; ++i) {
        accepted = accept4(agent.fd, nullptr, nullptr, SOCK_NONBLOCK);
        if (accepted < 0)
            usleep(10000);
    }
    ASSERT_GE(accepted, 0);
    EXPECT_TRUE(attempt.running());
    attempt.cancel();
    ASSERT_TRUE(finished.wait());
    attempt.join();
    close(accepted);
    EXPECT_EQ(attempt.outcome(), AttemptOutcome::Cancelled);
    EXPECT_TRUE(prog.links.find(slot)->isFree());
    EXPECT_FALSE(prog.links.find(slot)->transport);
    EXPECT_EQ(prog.links.allocSlot(), slot);
}

TEST(ConnectAttempt, RefusedAndCancelledPasswordsFailWithoutTakingTheSlot)
{
    Program prog;
    {
        // Nobody listens on this address: the connect is refused.
        SilentAgent agent; // takes an address, then closes it again
        const uint32_t address = agent.address;
        close(agent.fd);
        agent.fd = -1;
        const Profile profile = wanProfile(address);
        const int slot = prog.prepare(profile);
        Finished finished;
        ConnectAttempt attempt(prog.context);
        attempt.start(profile, slot, prog.context.linkConfig(), finished.callback());
        ASSERT_TRUE(finished.wait());
        attempt.join();
        EXPECT_EQ(attempt.outcome(), AttemptOutcome::Failed);
        EXPECT_TRUE(prog.links.find(slot)->isFree());
        EXPECT_FALSE(prog.links.find(slot)->transport);
    }
    {
        // A WAN device with a password asks for it on the attempt's thread; Cancel
        // there fails the attempt.
        LoopbackSim sim = startLoopbackSim({"--password", "Secret"});
        const Profile profile = wanProfile(sim.address);
        const int slot = prog.prepare(profile);
        Finished finished;
        ConnectAttempt attempt(prog.context);
        attempt.start(profile, slot, prog.context.linkConfig(), finished.callback());
        ASSERT_TRUE(finished.wait());
        attempt.join();
        EXPECT_EQ(prog.prompt.asked, 1);
        EXPECT_EQ(attempt.outcome(), AttemptOutcome::Failed);
        EXPECT_EQ(attempt.handshake(), HandshakeStatus::PasswordCancelled);
        EXPECT_TRUE(prog.links.find(slot)->isFree());
        EXPECT_FALSE(prog.links.find(slot)->transport);
    }
}
