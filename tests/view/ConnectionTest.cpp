// A Connection against a scripted agent on a socket pair: jobs, polling, input that
// never waits on a stalled link, and ending a connection while its threads wait.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include <sys/socket.h>
#include <zlib.h>
#include <unistd.h>

#include "link/CommandPacket.h"
#include "link/LinkChannel.h"
#include "platform/ByteOrder.h"
#include "platform/PosixTransports.h"
#include "screen/ScreenReceiver.h"
#include "view/Connection.h"
#include "view/LinkMeter.h"
#include "../screen/TestLzwEncoder.h"

using namespace sorvane;
using namespace std::chrono_literals;

namespace {

// Reads commands and answers them: 'R' with an empty update, 'Q' with 'a'. Records
// every command, every input packet (queued ones unpacked) and every 'f' count. While
// `paused` it reads nothing.
class Agent {
public:
    // `updates`: the only answers to 'R' (none: it never answers 'R').
    explicit Agent(int fd, std::optional<std::deque<std::vector<uint8_t>>> updates = std::nullopt)
        : fd_(fd), updates_(std::move(updates)), thread_([this] { run(); })
    {
    }
    ~Agent()
    {
        resume();
        ::shutdown(fd_, SHUT_RDWR);
        thread_.join();
        ::close(fd_);
    }
    void pause()
    {
        std::lock_guard lock(m_);
        paused_ = true;
    }
    void resume()
    {
        {
            std::lock_guard lock(m_);
            paused_ = false;
        }
        wake_.notify_all();
    }
    size_t count(uint8_t code)
    {
        std::lock_guard lock(m_);
        return size_t(std::count(codes_.begin(), codes_.end(), code));
    }
    std::vector<InputPacket> input()
    {
        std::lock_guard lock(m_);
        return input_;
    }
    std::vector<uint32_t> batches()
    {
        std::lock_guard lock(m_);
        return batches_;
    }
    template <class P> bool waitFor(P pred)
    {
        for (int i = 0; i < 6000; ++i) {
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
            {
                std::unique_lock lock(m_);
                wake_.wait(lock, [this] { return !paused_; });
            }
            ssize_t r = ::read(fd_, p, std::min<size_t>(n, 64));
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
            std::vector<InputPacket> packets;
            uint32_t batch = 0;
            if (cmd[0] == CmdQueuedInput || (cmd[0] >= CmdLeftDown && cmd[0] <= CmdMouseMove)) {
                InputPacket p{};
                std::copy(cmd, cmd + 4, p.begin());
                if (!readAll(p.data() + 4, 4))
                    return;
                if (cmd[0] == CmdQueuedInput) {
                    batch = loadLe32(p.data() + 4);
                    packets.resize(batch);
                    for (auto& q : packets)
                        if (!readAll(q.data(), 8))
                            return;
                } else {
                    packets.push_back(p);
                }
            }
            {
                std::lock_guard lock(m_);
                codes_.push_back(cmd[0]);
                input_.insert(input_.end(), packets.begin(), packets.end());
                if (cmd[0] == CmdQueuedInput)
                    batches_.push_back(batch);
            }
            if (cmd[0] == CmdUpdate && updates_) {
                if (!updates_->empty()) {
                    (void)::send(fd_, updates_->front().data(), updates_->front().size(), MSG_NOSIGNAL);
                    updates_->pop_front();
                }
            } else if (cmd[0] == CmdUpdate) {
                uint8_t h[20] = {20};
                (void)::send(fd_, h, sizeof h, MSG_NOSIGNAL);
            } else if (cmd[0] == CmdRefresh) {
                const uint8_t a[4] = {'a', 0xFF, 'a', 0x11};
                (void)::send(fd_, a, 4, MSG_NOSIGNAL);
            }
        }
    }

    int fd_;
    std::optional<std::deque<std::vector<uint8_t>>> updates_;
    std::mutex m_;
    std::condition_variable wake_;
    bool paused_ = false;
    std::vector<uint8_t> codes_;
    std::vector<InputPacket> input_;
    std::vector<uint32_t> batches_;
    std::thread thread_;
};

struct Sink : ViewSink, LinkEvents {
    std::atomic<int> closed{0};
    void invalidate(const WindowRect&) override {}
    void repaintAll() override {}
    void linkClosed() override { ++closed; }
    void linkClosed(int) override { ++closed; }
    std::atomic<int> relinks{0};
    void relinked() override { ++relinks; }
};

// Dials "again" by handing out a fresh socket pair with a new scripted agent.
class PairRelinker final : public Relinker {
public:
    std::optional<RelinkedLink> attempt(std::string& error) override
    {
        ++attempts;
        if (refuse) {
            error = "not there";
            return std::nullopt;
        }
        int fds[2];
        EXPECT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
        agent = std::make_unique<Agent>(fds[1]);
        if (dropAtOnce)
            agent->closeLink();
        RelinkedLink fresh;
        fresh.record.depth = 16;
        fresh.record.width = 16;
        fresh.record.height = 8;
        fresh.record.linkKind = uint32_t(LinkKind::Wan);
        fresh.record.setDeviceName("Fake");
        fresh.transport = PosixSocket::adopt(fds[0]);
        return fresh;
    }
    void cancel() override {}
    std::atomic<bool> refuse{false};
    std::atomic<bool> dropAtOnce{false}; // the device drops each new link right after its handshake
    std::atomic<int> attempts{0};
    std::unique_ptr<Agent> agent;
};

// Real pauses, but the time the connection reads stands still until the test moves it.
struct DrivenClock final : Clock {
    std::atomic<uint32_t> now{0};
    SystemClock real;
    uint32_t tickCount() const override { return now.load(); }
    void sleepMs(uint32_t ms) override { real.sleepMs(ms); }
    void pauseForData(Transport& transport, uint32_t ms) override { real.pauseForData(transport, ms); }
};

struct Live {
    DrivenClock clock; // runs with the real one unless `driven`
    Sink sink;
    Links links;
    std::unique_ptr<Agent> agent;
    std::unique_ptr<Connection> connection;

    // updates: the agent's only answers to 'R' (see Agent).
    explicit Live(LinkKind kind = LinkKind::Wan, int sendBuffer = 0,
                  std::optional<std::deque<std::vector<uint8_t>>> updates = std::nullopt,
                  std::shared_ptr<Relinker> relinker = {}, bool driven = false,
                  std::function<void(ScreenState&, uint32_t)> afterPoll = {})
        : links(driven ? static_cast<Clock&>(clock) : clock.real, &sink)
    {
        int fds[2];
        EXPECT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
        if (sendBuffer)
            setsockopt(fds[0], SOL_SOCKET, SO_SNDBUF, &sendBuffer, sizeof sendBuffer);
        LinkSlot& s = *links.find(0);
        s.transport = PosixSocket::adopt(fds[0]);
        s.linkKind = uint32_t(kind);
        s.depth = 16;
        s.width = 16;
        s.height = 8;
        s.deviceName = "Fake";
        agent = std::make_unique<Agent>(fds[1], std::move(updates));
        Profile p;
        p.refreshRate = 18;
        std::string error;
        connection = Connection::Open(links, 0, p, 0, ViewStart{}, error);
        EXPECT_TRUE(connection) << error;
        if (relinker)
            connection->setRelinker(std::move(relinker));
        connection->setAfterPoll(std::move(afterPoll));
        connection->start(sink);
    }
    // Waits (bounded) for a job to end.
    static JobStatus outcome(const std::shared_ptr<Job>& job)
    {
        EXPECT_TRUE(job->wait(30000));
        return job->status();
    }
};

} // namespace

TEST(Connection, JobsRunInOrderOnTheConnectionThreadAndSayHowTheyEnded)
{
    Live c;
    std::vector<int> order;
    std::mutex m;
    auto served = c.connection->post(JobKind::Custom, [&](JobContext& ctx, std::string&) {
        // A reply exchange of its own: 'Q' is answered with 'a'.
        std::vector<uint8_t> q = CommandMessage(CmdRefresh);
        ctx.channel().send(q.data(), q.size());
        std::lock_guard lock(m);
        order.push_back(1);
        return ctx.channel().readReply() == ReplyAccepted;
    });
    auto failed = c.connection->post(JobKind::Status, [&](JobContext&, std::string& error) {
        std::lock_guard lock(m);
        order.push_back(2);
        error = "no status";
        return false;
    });
    EXPECT_EQ(Live::outcome(served), JobStatus::Done);
    EXPECT_EQ(Live::outcome(failed), JobStatus::Failed);
    EXPECT_EQ(failed->error(), "no status");
    EXPECT_EQ(order, (std::vector<int>{1, 2}));
    // Refresh Display ('Q', then polling goes on): tests/view_ui DeviceWindow's low colour toggle.
}

TEST(Connection, PendingJobsFailWhenTheConnectionStopsAndAreNeverServed)
{
    Live c;
    std::atomic<bool> servedLater{false};
    // A job that waits until it is told to end.
    auto running = c.connection->post(JobKind::ReceiveFiles, [](JobContext& ctx, std::string& error) {
        while (!ctx.cancelled())
            ctx.channel().sleepMs(5);
        error = "stopped";
        return false;
    });
    auto pending = c.connection->post(JobKind::Status, [&](JobContext&, std::string&) {
        servedLater = true;
        return true;
    });
    std::atomic<int> doneCalls{0};
    auto cancelled = c.connection->post(JobKind::Processes, [&](JobContext&, std::string&) { return true; },
                                        [&](const Job&) { ++doneCalls; });
    cancelled->cancel();
    EXPECT_EQ(cancelled->status(), JobStatus::Cancelled);
    EXPECT_EQ(doneCalls.load(), 1);
    ASSERT_TRUE(c.agent->waitFor([&] { return running->status() == JobStatus::Running; }));
    c.connection->stop();
    EXPECT_EQ(Live::outcome(pending), JobStatus::Failed);
    EXPECT_NE(Live::outcome(running), JobStatus::Done);
    c.connection->join();
    EXPECT_FALSE(servedLater.load());
    // A job posted to a stopped connection fails at once.
    auto late = c.connection->post(JobKind::Status, [](JobContext&, std::string&) { return true; });
    EXPECT_EQ(late->status(), JobStatus::Failed);
}

// The agent stops reading: the window hands in 10 000 clicks and keys, none of which
// waits; when the agent reads again every packet arrives in order, queued input in
// 'f' messages of at most 512 packets.
TEST(Connection, InputNeverWaitsOnAStalledLinkAndNoneIsLost)
{
    for (LinkKind kind : {LinkKind::Lan, LinkKind::Serial}) {
        Live c(kind, /*sendBuffer=*/4096);
        ASSERT_TRUE(c.agent->waitFor([&] { return c.agent->count(CmdUpdate) >= 1; }));
        c.agent->pause();
        std::vector<InputPacket> sent;
        for (int i = 0; i < 10000; ++i) {
            InputPacket p = i % 2 ? MakeKeyPacket(CmdKeyDown, uint8_t(i), uint8_t(i >> 8))
                                  : MakeMousePacket(CmdLeftDown, i & 0x7FFF, i >> 15);
            c.connection->sendInput(p, /*queueEvents=*/true);
            sent.push_back(p);
        }
        // The link really is stalled: input is still waiting to go out.
        EXPECT_GT(c.connection->sender().pending(), 0u);
        c.agent->resume();
        ASSERT_TRUE(c.agent->waitFor([&] { return c.agent->input().size() >= sent.size(); }))
            << c.agent->input().size();
        EXPECT_EQ(c.agent->input(), sent);
        const std::vector<uint32_t> batches = c.agent->batches();
        if (kind == LinkKind::Lan) {
            EXPECT_FALSE(batches.empty());
            for (uint32_t n : batches)
                EXPECT_LE(n, 512u);
        } else {
            EXPECT_TRUE(batches.empty()); // serial links send each packet at once
        }
        EXPECT_EQ(c.connection->sender().dropped(), 0u);
    }
}

TEST(Connection, LiveInputIsDroppedWhileAScenarioPlays)
{
    Live c(LinkKind::Serial);
    c.connection->view().recordState = 40010;
    c.connection->sendInput(MakeMousePacket(CmdLeftUp, 1, 2), false);
    c.connection->view().recordState = 0;
    c.connection->sendInput(MakeMousePacket(CmdMouseMove, 1, 2), false);
    EXPECT_TRUE(c.agent->waitFor([&] { return c.agent->count(CmdMouseMove) == 1; }));
    EXPECT_EQ(c.agent->count(CmdLeftUp), 0u);
}

TEST(Connection, DestroyingItWhileItsThreadWaitsInAReceiveFreesTheSlot)
{
    Live c(LinkKind::Wan, 0, std::deque<std::vector<uint8_t>>()); // never answers 'R'
    ASSERT_TRUE(c.agent->waitFor([&] { return c.agent->count(CmdUpdate) == 1; }));
    EXPECT_EQ(c.links.liveConnections.load(), 1u);
    std::this_thread::sleep_for(50ms); // the thread now waits for the update
    c.connection.reset();
    EXPECT_EQ(c.links.allocSlot(), 0);
    EXPECT_FALSE(c.links.find(0)->transport);
    EXPECT_EQ(c.links.liveConnections.load(), 0u);
}

// The status line's figures over a clock the test drives: rates per second, the last
// update's request-to-picture time, waiting and the reconnect countdown, and a byte
// count that wraps at 4 GiB.
TEST(LinkMeterTest, FiguresFollowTheReportedExchanges)
{
    std::atomic<uint32_t> received{0xFFFFFF00u}; // wraps during the test
    std::atomic<uint32_t> sent{0};
    LinkMeter m(received, sent);
    m.exchangeStarted(1000);
    received += 0x200; // 512 bytes arrive
    sent += 3000;      // and an upload leaves
    m.exchangeEnded(1040, true);
    for (uint32_t t = 1100; t < 2000; t += 100) {
        m.exchangeStarted(t);
        received += 1024;
        m.exchangeEnded(t + 25, t % 200 == 0); // every other one changes the picture
    }
    LinkFigures f = m.figures(2030);
    EXPECT_EQ(f.state, LinkState::Live);
    EXPECT_EQ(f.updates, 1u + 4u);
    EXPECT_EQ(f.bytesReceived, 512u + 9u * 1024u);
    EXPECT_EQ(f.latencyMs, 25);
    EXPECT_NEAR(f.updatesPerSecond, 5.0 * 1000 / 1030, 0.01);
    EXPECT_NEAR(f.bytesPerSecond, (512.0 + 9 * 1024) * 1000 / 1030, 0.5);
    EXPECT_EQ(f.bytesSent, 3000u);
    EXPECT_EQ(LinkStatusText(f), "live \xC2\xB7 4.9 updates/s \xC2\xB7 9.2 KB/s in \xC2\xB7 2.8 KB/s out \xC2\xB7 25 ms");
    // Polls answered, nothing changed for a whole period: a still screen, not a dead link.
    for (uint32_t t = 2100; t < 3100; t += 100) {
        m.exchangeStarted(t);
        m.exchangeEnded(t + 25, false);
    }
    EXPECT_EQ(LinkStatusText(m.figures(3100)).rfind("live \xC2\xB7 screen still \xC2\xB7 0 B/s in", 0), 0u);
    // What the window does comes first on the line.
    const struct {
        WindowActivity activity;
        const char* text;
    } activities[] = {
        {{record_state::kRecording}, "recording"},
        {{record_state::kRecording, true, "", 650, 10, 15u << 20}, "recording video 1:05 \xC2\xB7 15.0 MB"},
        {{record_state::kPlaying, false, "Smoke"}, "playing Smoke: input paused"},
        {{record_state::kPaused, true, "Smoke"}, "Smoke paused"},
        {{record_state::kStopped}, ""},
    };
    for (const auto& a : activities)
        EXPECT_EQ(ActivityText(a.activity), a.text);

    // Nothing arrives for more than two seconds: waiting, and no rate is claimed.
    f = m.figures(3125 + kWaitingAfterMs + 1);
    EXPECT_EQ(f.state, LinkState::Waiting);
    EXPECT_EQ(f.bytesPerSecond, 0.0);
    // Bytes still moving (a long transfer) keep it live.
    received += 1;
    EXPECT_EQ(m.figures(3125 + kWaitingAfterMs + 2).state, LinkState::Live);

    m.reconnecting(5000, 9000);
    f = m.figures(6500);
    EXPECT_EQ(f.state, LinkState::Reconnecting);
    EXPECT_EQ(f.reconnectInSeconds, 3u);
    EXPECT_EQ(LinkStatusText(f).rfind("reconnecting in 3 s \xC2\xB7", 0), 0u);
    m.relinked(9100);
    EXPECT_EQ(m.figures(9200).state, LinkState::Live);
}

// The status line's totals are the connection's own: five whole-screen updates and then
// silence give exactly five updates and the bytes of their replies.
TEST(ConnectionTest, FiguresCountTheUpdatesAndBytesThatArrived)
{
    // The third update is spoiled: it is refreshed, not counted, and the zeroed picture
    // it leaves is no AVI frame (the frames come after polls 1, 2, 4 and 5).
    std::vector<uint8_t> pixels(16 * 8 * 2);
    std::deque<std::vector<uint8_t>> replies;
    size_t bytes = 0;
    for (int i = 0; i < 5; ++i) {
        std::fill(pixels.begin(), pixels.end(), uint8_t(0x11 * (i + 1)));
        const std::vector<uint8_t> payload = test::lzwEncode(pixels, true);
        std::vector<uint8_t> r(20);
        ScreenUpdateHeader h;
        h.headerLength = 20;
        h.payloadLength = uint32_t(payload.size());
        h.checksum = ~uint32_t(crc32(0xFFFFFFFFul, payload.data(), uInt(payload.size()))) ^ (i == 2 ? 1 : 0);
        h.right = 15; // inclusive
        h.bottom = 7;
        h.encode(r.data());
        r.insert(r.end(), payload.begin(), payload.end());
        bytes += r.size();
        replies.push_back(std::move(r));
    }
    std::mutex m;
    std::vector<uint32_t> frames;
    Live live(LinkKind::Wan, 0, std::move(replies), {}, false, [&](ScreenState&, uint32_t position) {
        std::lock_guard lock(m);
        frames.push_back(position);
    });
    Connection& c = *live.connection;
    ASSERT_TRUE(live.agent->waitFor([&] {
        std::lock_guard lock(m);
        return c.figures().updates == 4 && c.figures().bytesReceived >= bytes && !frames.empty() && frames.back() == 5;
    })) << c.figures().updates << " updates, " << c.figures().bytesReceived << " of " << bytes << " bytes";
    EXPECT_GE(c.figures().latencyMs, 0);
    std::lock_guard lock(m);
    EXPECT_EQ(frames, (std::vector<uint32_t>{1, 2, 4, 5}));
}


// A dropped link is dialled again, polling goes on over the new one in the same slot,
// and its counters go on. A device that drops each new link at once is dialled after
// 1, 2, 4 ... 30 s on the connection's clock; a link up for 30 s starts the waits from
// 1 s again. After endReconnects a drop closes the window instead.
TEST(ConnectionTest, DroppedLinkIsMadeAgainUntilReconnectsEnd)
{
    auto relinker = std::make_shared<PairRelinker>();
    Live live(LinkKind::Wan, 0, std::nullopt, relinker, /*driven=*/true);
    Sink& sink = live.sink;
    Agent* first = live.agent.get();
    Connection* c = live.connection.get();
    LinkSlot& s = *live.links.find(0);
    ASSERT_TRUE(first->waitFor([&] { return first->count(CmdUpdate) >= 2; }));

    // Drops after the link was up for `upMs`: the countdown to the next attempt is
    // `wait` s; once that time has passed on the clock the new link comes.
    int relinks = 0;
    auto dropAndRelink = [&](Agent* agent, uint32_t upMs, uint32_t wait) {
        live.clock.now += upMs;
        agent->closeLink();
        ASSERT_TRUE(first->waitFor([&] { return c->reconnecting() && c->figures().reconnectInSeconds == wait; }))
            << wait << " s expected, " << c->figures().reconnectInSeconds << " s shown";
        EXPECT_EQ(relinker->attempts.load(), relinks);
        EXPECT_EQ(c->post(JobKind::Status, [](JobContext&, std::string&) { return true; })->status(),
                  JobStatus::Failed);
        live.clock.now += wait * 1000;
        ASSERT_TRUE(first->waitFor([&] { return sink.relinks.load() == relinks + 1; }));
        ++relinks;
        EXPECT_FALSE(c->adoptRelink()); // same display: no refit
    };
    const uint32_t before = s.bytesReceived.load();
    dropAndRelink(first, 0, 1);
    EXPECT_EQ(sink.closed.load(), 1); // only the link layer's report; the window was not told to close
    EXPECT_FALSE(c->reconnecting());
    ASSERT_TRUE(first->waitFor([&] { return relinker->agent->count(CmdUpdate) >= 2; }));
    EXPECT_GE(s.bytesReceived.load(), before + 20); // counted on from where it was

    relinker->dropAtOnce = true;
    for (uint32_t wait : {2, 4, 8, 16, 30, 30})
        dropAndRelink(relinker->agent.get(), 0, wait);
    relinker->dropAtOnce = false;
    dropAndRelink(relinker->agent.get(), 0, 30);
    dropAndRelink(relinker->agent.get(), Connection::kStableLinkMs - 1000, 30);
    dropAndRelink(relinker->agent.get(), Connection::kStableLinkMs, 1);

    c->endReconnects();
    const int closed = sink.closed.load();
    relinker->agent->closeLink();
    ASSERT_TRUE(first->waitFor([&] { return sink.closed.load() >= closed + 2; }));
    EXPECT_EQ(relinker->attempts.load(), relinks);
}
