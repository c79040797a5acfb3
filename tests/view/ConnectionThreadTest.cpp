// The connection thread against a scripted agent on a socket pair: mailbox, idle
// after a transfer, queued input, and ending a connection while a receive waits.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include <sys/socket.h>
#include <unistd.h>

#include "link/LinkTransport.h"
#include "platform/ByteOrder.h"
#include "platform/PosixTransports.h"
#include "view/Connection.h"

using namespace sorvane;
using namespace std::chrono_literals;

namespace {

// Reads commands and answers them: 'R' with an empty update, 'Q' with 'a'; records
// every command and every queued batch. In `silent` mode it answers nothing.
class Agent {
public:
    explicit Agent(int fd, bool silent = false) : fd_(fd), silent_(silent), thread_([this] { run(); }) {}
    ~Agent()
    {
        ::shutdown(fd_, SHUT_RDWR);
        thread_.join();
        ::close(fd_);
    }
    std::vector<uint8_t> codes()
    {
        std::lock_guard lock(m_);
        return codes_;
    }
    std::vector<uint32_t> batches()
    {
        std::lock_guard lock(m_);
        return batches_;
    }
    size_t count(uint8_t code)
    {
        std::lock_guard lock(m_);
        return size_t(std::count(codes_.begin(), codes_.end(), code));
    }
    // Waits (bounded) until pred holds; pred may call the accessors above.
    template <class P> bool waitFor(P pred)
    {
        for (int i = 0; i < 4000; ++i) {
            if (pred())
                return true;
            std::this_thread::sleep_for(5ms);
        }
        return false;
    }
    void closeLink() { ::shutdown(fd_, SHUT_RDWR); }

private:
    bool readAll(uint8_t* p, size_t n)
    {
        while (n) {
            ssize_t r = ::read(fd_, p, n);
            if (r <= 0)
                return false;
            p += r;
            n -= size_t(r);
        }
        return true;
    }
    void run()
    {
        uint8_t cmd[4];
        while (readAll(cmd, 4)) {
            uint32_t batch = 0;
            if (cmd[0] == 'f' || (cmd[0] >= 'T' && cmd[0] <= 'X')) {
                uint8_t rest[4];
                if (!readAll(rest, 4))
                    return;
                if (cmd[0] == 'f') {
                    batch = loadLe32(rest);
                    std::vector<uint8_t> packets(size_t(batch) * 8);
                    if (!readAll(packets.data(), packets.size()))
                        return;
                }
            }
            {
                std::lock_guard lock(m_);
                codes_.push_back(cmd[0]);
                if (cmd[0] == 'f')
                    batches_.push_back(batch);
            }
            if (silent_)
                continue;
            if (cmd[0] == 'R') {
                uint8_t h[20] = {20};
                ::write(fd_, h, sizeof h);
            } else if (cmd[0] == 'Q') {
                const uint8_t a[4] = {'a', 0xFF, 'a', 0x11};
                ::write(fd_, a, 4);
            }
        }
    }

    int fd_;
    bool silent_;
    std::mutex m_;
    std::vector<uint8_t> codes_;
    std::vector<uint32_t> batches_;
    std::thread thread_;
};

struct Sink : ViewSink, LinkEvents {
    std::atomic<int> closed{0};
    void invalidate(int, const WindowRect&) override {}
    void repaintAll(int) override {}
    void linkClosed(int) override { ++closed; }
    void postCommand(int, int) override {}
};

struct Live {
    SystemClock clock;
    Sink sink;
    Links links{clock, &sink};
    Views views;
    std::unique_ptr<Agent> agent;

    explicit Live(uint32_t kind = 4, bool silent = false)
    {
        int fds[2];
        EXPECT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
        LinkSlot& s = *links.find(0);
        s.transport = PosixSocket::adopt(fds[0]);
        s.linkKind = kind;
        s.depth = 16;
        s.width = 16;
        s.height = 8;
        s.deviceName = "Fake";
        EXPECT_TRUE(BuildConnectionBuffers(links, views, 0));
        agent = std::make_unique<Agent>(fds[1], silent);
        Profile p;
        p.refreshRate = 18;
        OpenConnection(links, views, 0, p, 0, sink);
    }
    ~Live()
    {
        EndConnection(links, views, 0);
    }
    ViewRecord& view() { return views[0]; }
};

} // namespace

TEST(ConnectionThread, MailboxRequestIsServedOncePerPostingAndStopsPolling)
{
    Live c;
    std::atomic<int> served{0};
    c.view().serveRequest = [&](uint32_t code) {
        EXPECT_EQ(code, 111u);
        ++served;
    };
    c.view().requestDone = 0;
    c.view().request = 111;
    for (int i = 0; i < 2000 && c.view().requestDone.load() == 0; ++i)
        std::this_thread::sleep_for(5ms);
    ASSERT_EQ(c.view().requestDone.load(), 1u);
    // Wait several passes: the request is not served again and no poll goes out.
    const size_t polls = c.agent->count('R');
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(served.load(), 1);
    EXPECT_EQ(c.agent->count('R'), polls);
    c.view().request = 82;
    EXPECT_TRUE(c.agent->waitFor([&] { return c.agent->count('R') > polls + 1; }));
}

TEST(ConnectionThread, IdleAfterATransferUntilPollingIsAskedFor)
{
    Live c;
    std::atomic<int> transfers{0};
    c.view().serveRequest = [&](uint32_t) { ++transfers; };
    c.view().request = 104;
    for (int i = 0; i < 2000 && c.view().request.load() != 101; ++i)
        std::this_thread::sleep_for(5ms);
    ASSERT_EQ(c.view().request.load(), 101u);
    const size_t polls = c.agent->count('R');
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(transfers.load(), 1);
    EXPECT_EQ(c.agent->count('R'), polls);
}

TEST(ConnectionThread, QueuedInputGoesOutAsOneMessagePerPoll)
{
    Live c(5);
    c.view().request = 101; // idle: no polls while the input is queued
    std::this_thread::sleep_for(100ms);
    const size_t before = c.agent->codes().size();
    for (int i = 0; i < 3; ++i)
        SendInputEvent(c.links, c.view(), 0, MakeMousePacket('T', i, i), true);
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(c.agent->codes().size(), before); // nothing on the link yet
    c.view().request = 82;
    ASSERT_TRUE(c.agent->waitFor([&] { return !c.agent->batches().empty(); }));
    EXPECT_EQ(c.agent->batches(), (std::vector<uint32_t>{3}));
    // A full queue is sent by the appender itself: nothing is dropped.
    c.view().request = 101;
    std::this_thread::sleep_for(100ms);
    for (int i = 0; i < 513; ++i)
        SendInputEvent(c.links, c.view(), 0, MakeMousePacket('X', i, i), true);
    ASSERT_TRUE(c.agent->waitFor([&] { return c.agent->batches().size() == 2; }));
    EXPECT_EQ(c.agent->batches()[1], 512u);
    EXPECT_EQ(c.view().queue.count(), 1u);
}

TEST(ConnectionThread, SerialKindsSendInputAtOnce)
{
    Live c(1);
    c.view().request = 101;
    SendInputEvent(c.links, c.view(), 0, MakeMousePacket('T', 1, 2), true);
    EXPECT_TRUE(c.agent->waitFor([&] { return c.agent->count('T') == 1; }));
    // During scenario playback live input is dropped.
    c.view().recordState = 40010;
    SendInputEvent(c.links, c.view(), 0, MakeMousePacket('U', 1, 2), true);
    c.view().recordState = 0;
    SendInputEvent(c.links, c.view(), 0, MakeMousePacket('X', 1, 2), true);
    EXPECT_TRUE(c.agent->waitFor([&] { return c.agent->count('X') == 1; }));
    EXPECT_EQ(c.agent->count('U'), 0u);
}

TEST(ConnectionThread, EndingWhileAReceiveWaitsFreesTheSlot)
{
    Live c(4, /*silent=*/true);
    ASSERT_TRUE(c.agent->waitFor([&] { return c.agent->count('R') == 1; }));
    std::this_thread::sleep_for(50ms); // the thread is now waiting for the update
    EndConnection(c.links, c.views, 0);
    EXPECT_EQ(c.links.allocSlot(), 0);
    EXPECT_FALSE(c.view().screen.bitmaps.built());
    EXPECT_EQ(c.links.liveConnections.load(), 0u);
}

TEST(ConnectionThread, AgentClosingTheLinkReachesTheWindow)
{
    Live c;
    ASSERT_TRUE(c.agent->waitFor([&] { return c.agent->count('R') >= 1; }));
    c.agent->closeLink();
    for (int i = 0; i < 2000 && c.sink.closed.load() == 0; ++i)
        std::this_thread::sleep_for(5ms);
    EXPECT_GT(c.sink.closed.load(), 0);
}
