// A Connection against a scripted agent on a socket pair: jobs, polling, input that
// never waits on a stalled link, and ending a connection while its threads wait.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <future>
#include <map>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include <poll.h>
#include <sys/socket.h>
#include <zlib.h>
#include <pthread.h>
#include <unistd.h>

#include "connect/Dialer.h"
#include "link/CommandPacket.h"
#include "link/LinkChannel.h"
#include "platform/ByteOrder.h"
#include "platform/PosixTransports.h"
#include "screen/ScreenReceiver.h"
#include "view/Connection.h"
#include "view/LinkMeter.h"
#include "support/LoopbackSockets.h"
#include "../screen/TestLzwEncoder.h"

using namespace sorvane;
using namespace std::chrono_literals;

namespace {

// Reads commands and answers them: 'R' with an empty update, 'Q' with 'a', the hello
// with 'a' and the device information with a 16-bit 16 x 8 display named `name`.
// Records every command (the time of `clock` of each 'R' when given), every input
// packet (queued ones unpacked) and every 'f' count. While `paused` it reads nothing.
class Agent {
public:
    // `updates`: the only answers to 'R' (none: it never answers 'R').
    explicit Agent(int fd, std::optional<std::deque<std::vector<uint8_t>>> updates = std::nullopt,
                   const std::atomic<uint32_t>* clock = nullptr, std::string name = "Fake")
        : fd_(fd), updates_(std::move(updates)), clock_(clock), name_(std::move(name)), thread_([this] { run(); })
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
    std::vector<uint32_t> updateTimes()
    {
        std::lock_guard lock(m_);
        return updateTimes_;
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
                if (cmd[0] == CmdUpdate && clock_)
                    updateTimes_.push_back(clock_->load());
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
            } else if (cmd[0] == CmdRefresh || cmd[0] == CmdHello) {
                const uint8_t a[4] = {'a', 0xFF, 'a', 0x11};
                (void)::send(fd_, a, 4, MSG_NOSIGNAL);
            } else if (cmd[0] == CmdDeviceInfo) {
                uint8_t info[332] = {16, 0, 0, 0, 16, 0, 0, 0, 8}; // depth, width, height
                std::copy(name_.begin(), name_.end(), info + 44);
                (void)::send(fd_, info, sizeof info, MSG_NOSIGNAL);
            }
        }
    }

    int fd_;
    std::optional<std::deque<std::vector<uint8_t>>> updates_;
    const std::atomic<uint32_t>* clock_;
    const std::string name_;
    std::mutex m_;
    std::condition_variable wake_;
    bool paused_ = false;
    std::vector<uint8_t> codes_;
    std::vector<uint32_t> updateTimes_;
    std::vector<InputPacket> input_;
    std::vector<uint32_t> batches_;
    std::thread thread_;
};

// The connection's owner, and a view where a test attaches it.
struct Sink : ConnectionView, ConnectionObserver {
    std::atomic<int> closed{0}, lives{0}, reconnects{0}, repaints{0};
    void invalidate(const DeviceRect&) override {}
    void repaintAll() override { ++repaints; }
    bool hidden() const override { return false; }
    void stateChanged(DeviceState state) override
    {
        if (state == DeviceState::Closed)
            ++closed;
        else if (state == DeviceState::Reconnecting)
            ++reconnects;
        else if (state == DeviceState::Live)
            ++lives;
    }
};

// Real pauses, but the time the connection reads stands still until the test moves it.
// It counts how often each thread (by name) has looked at the time since it was moved.
struct DrivenClock final : Clock {
    std::atomic<uint32_t> now{0};
    SystemClock real;
    uint32_t tickCount() const override
    {
        char name[16] = {};
        pthread_getname_np(pthread_self(), name, sizeof name);
        std::lock_guard lock(m);
        ++looks[name];
        return now.load();
    }
    void sleepMs(uint32_t ms) override { real.sleepMs(ms); }
    void pauseForData(Transport& transport, uint32_t ms) override { real.pauseForData(transport, ms); }
    void moveTo(uint32_t t) // never back: an exchange may have moved it on
    {
        std::lock_guard lock(m);
        now = std::max(now.load(), t);
        looks.clear();
    }
    int looksBy(const std::string& thread)
    {
        std::lock_guard lock(m);
        return looks[thread];
    }
    mutable std::mutex m;
    mutable std::map<std::string, int> looks;
};

struct Live {
    DrivenClock clock; // runs with the real one unless `driven`
    Sink sink;
    Links links;
    std::unique_ptr<Agent> agent;
    std::unique_ptr<Connection> connection;
    std::atomic<size_t> polls{0}; // polls that reached the device
    bool held = false;

    // updates: the agent's only answers to 'R' (see Agent).
    explicit Live(LinkKind kind = LinkKind::Wan, int sendBuffer = 0,
                  std::optional<std::deque<std::vector<uint8_t>>> updates = std::nullopt,
                  std::function<std::shared_ptr<Relinker>(Clock&)> relinker = {}, bool driven = false,
                  std::function<void(ScreenState&, uint32_t)> afterPoll = {}, int rate = 18)
        : links(driven ? static_cast<Clock&>(clock) : clock.real)
    {
        int fds[2];
        EXPECT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
        if (sendBuffer)
            setsockopt(fds[0], SOL_SOCKET, SO_SNDBUF, &sendBuffer, sizeof sendBuffer);
        auto link = std::make_unique<LinkSlot>();
        LinkSlot& s = *link;
        s.transport = PosixSocket::adopt(fds[0]);
        s.linkKind = uint32_t(kind);
        s.depth = 16;
        s.width = 16;
        s.height = 8;
        s.deviceName = "Fake";
        agent = std::make_unique<Agent>(fds[1], std::move(updates), &clock.now);
        Profile p;
        p.refreshRate = rate;
        std::string error;
        links.take(0, SlotUse{uint32_t(kind)});
        connection = Connection::Open(links, 0, std::move(link), p, 0, ViewStart{}, error);
        EXPECT_TRUE(connection) << error;
        if (relinker)
            connection->setRelinker(relinker(links.clock()));
        connection->setAfterPoll([this, afterPoll](ScreenState& screen, uint32_t position) {
            ++polls;
            if (afterPoll)
                afterPoll(screen, position);
        });
        connection->start(sink);
        if (driven)
            EXPECT_TRUE(settle()); // its opening pause counts from 0
    }
    void hold(bool on) { connection->holdPolling(held = on); }
    // Waits (bounded) until `thread` has looked at the clock `looks` times since it was
    // moved, or `done`. The connection thread is woken to look.
    bool settle(const char* thread = "connection", int looks = 4, std::function<bool()> done = {})
    {
        return agent->waitFor([&] {
            connection->holdPolling(held);
            return clock.looksBy(thread) >= looks || (done && done());
        });
    }
    // Moves the clock to t, waits for `done` and then until the connection thread has
    // looked at the clock four more times: whatever that time was due for has happened
    // and the thread waits again.
    bool step(uint32_t t, std::function<bool()> done = {})
    {
        clock.moveTo(t);
        if (done && !agent->waitFor(done))
            return false;
        clock.moveTo(t);
        return settle();
    }
    // Waits (bounded) for a job to end.
    static JobStatus outcome(const std::shared_ptr<Job>& job)
    {
        EXPECT_TRUE(job->wait(30000));
        return job->status();
    }
};

} // namespace

TEST(Connection, JobsRunInOrderSayHowTheyEndedAndPendingOnesFailWhenItStops)
{
    Live c;
    std::vector<int> order;
    std::mutex m;
    // A typed job gives its poster the value its work gave, or the reason it gave none.
    std::promise<JobResult<uint8_t>> servedResult, failedResult;
    auto served = c.connection->post<uint8_t>(
        JobKind::Custom,
        [&](JobContext& ctx, std::string&) -> std::optional<uint8_t> {
            // A reply exchange of its own: 'Q' is answered with 'a'.
            std::vector<uint8_t> q = CommandMessage(CmdRefresh);
            ctx.channel().send(q.data(), q.size());
            std::lock_guard lock(m);
            order.push_back(1);
            return ctx.channel().readReply();
        },
        [&](JobResult<uint8_t> r) { servedResult.set_value(std::move(r)); });
    auto failed = c.connection->post<uint8_t>(
        JobKind::Status,
        [&](JobContext&, std::string& error) -> std::optional<uint8_t> {
            std::lock_guard lock(m);
            order.push_back(2);
            error = "no status";
            return std::nullopt;
        },
        [&](JobResult<uint8_t> r) { failedResult.set_value(std::move(r)); });
    EXPECT_EQ(Live::outcome(served), JobStatus::Done);
    EXPECT_EQ(Live::outcome(failed), JobStatus::Failed);
    std::future<JobResult<uint8_t>> s = servedResult.get_future(), f = failedResult.get_future();
    ASSERT_EQ(s.wait_for(30s), std::future_status::ready);
    ASSERT_EQ(f.wait_for(30s), std::future_status::ready);
    const JobResult<uint8_t> sr = s.get(), fr = f.get();
    EXPECT_EQ(sr.status, JobStatus::Done);
    EXPECT_EQ(sr.value, std::optional<uint8_t>(ReplyAccepted));
    EXPECT_EQ(fr.status, JobStatus::Failed);
    EXPECT_EQ(fr.value, std::nullopt);
    EXPECT_EQ(fr.error, "no status");
    EXPECT_EQ(order, (std::vector<int>{1, 2}));
    // Refresh Display ('Q', then polling goes on): tests/view_ui DeviceWindow's low colour toggle.

    // Pending jobs fail when the connection stops and are never served.
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

TEST(Connection, DestroyingItWhileItsThreadWaitsInAReceiveFreesTheSlot)
{
    Live c(LinkKind::Wan, 0, std::deque<std::vector<uint8_t>>()); // never answers 'R'
    ASSERT_TRUE(c.agent->waitFor([&] { return c.agent->count(CmdUpdate) == 1; }));
    EXPECT_EQ(c.links.liveConnections.load(), 1u);
    EXPECT_EQ(c.links.allocSlot(), 1);
    std::this_thread::sleep_for(50ms); // the thread now waits for the update
    c.connection.reset();
    EXPECT_EQ(c.links.allocSlot(), 0);
    EXPECT_EQ(c.links.liveConnections.load(), 0u);
    EXPECT_EQ(c.sink.closed.load(), 1); // stopping ends the link: told once

    // A job that finds the link closed ends it while polling is held (after a transfer).
    Live held;
    held.hold(true);
    held.agent->closeLink();
    EXPECT_NE(Live::outcome(held.connection->post(JobKind::Custom, [](JobContext& ctx, std::string&) {
        return ctx.channel().readReply() == ReplyAccepted;
    })), JobStatus::Done);
    EXPECT_TRUE(held.agent->waitFor([&] { return held.sink.closed.load() == 1; }));
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
        {{RecordState::Recording}, "recording"},
        {{RecordState::Recording, true, "", 650, 10, 15u << 20}, "recording video 1:05 \xC2\xB7 15.0 MB"},
        {{RecordState::Playing, false, "Smoke"}, "playing Smoke: input paused"},
        {{RecordState::Paused, true, "Smoke"}, "Smoke paused"},
        {{RecordState::Stopped}, ""},
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


// The pacing, on the links' clock: after the opening 250 ms one poll every 1000 / rate
// ms (integer division); while every view attached is hidden (minimised) only every
// (2 x rate)-th poll reaches the device; with no view at all, every one. The clock is
// moved to just before and to each poll's time.
TEST(ConnectionTest, PollsFollowTheRefreshRateOnTheClock)
{
    struct View final : ConnectionView {
        explicit View(bool h) : hide(h) {}
        void invalidate(const DeviceRect&) override {}
        void repaintAll() override {}
        bool hidden() const override { return hide; }
        const bool hide;
    };
    const struct {
        int rate;
        int hiddenViews, shownViews;
        uint32_t periodMs, seconds;
        size_t exchanges;
    } rows[] = {
        {1, 0, 0, 1000, 2, 2}, {4, 0, 1, 250, 1, 4}, {7, 0, 0, 142, 1, 7}, {18, 0, 0, 55, 1, 18},
        {2, 1, 0, 500, 4, 2},  {3, 2, 0, 333, 4, 2}, {3, 1, 1, 333, 1, 3},
    };
    for (const auto& row : rows) {
        Live live(LinkKind::Wan, 0, std::nullopt, {}, /*driven=*/true, {}, row.rate);
        std::vector<std::unique_ptr<View>> views;
        for (int v = 0; v < row.hiddenViews + row.shownViews; ++v)
            live.connection->attach(*views.emplace_back(std::make_unique<View>(v < row.hiddenViews)));
        const bool minimized = row.shownViews == 0 && row.hiddenViews > 0;
        const std::atomic<uint32_t>& passes = live.connection->screen().updateCounter;
        ASSERT_TRUE(live.step(250));
        std::vector<uint32_t> exchanges;
        for (uint32_t k = 1; k * row.periodMs <= row.seconds * 1000; ++k) {
            const uint32_t due = 250 + k * row.periodMs;
            ASSERT_TRUE(live.step(due - 1));
            ASSERT_EQ(passes.load(), k - 1) << "rate " << row.rate << ": early at " << due - 1;
            if (!minimized || k % (2 * row.rate) == 0)
                exchanges.push_back(due);
            ASSERT_TRUE(live.step(due, [&] { return passes.load() == k && live.polls.load() == exchanges.size(); }))
                << "rate " << row.rate << ": no poll at " << due;
        }
        EXPECT_EQ(exchanges.size(), row.exchanges);
        EXPECT_EQ(live.agent->updateTimes(), exchanges) << "rate " << row.rate;
    }
    // Polls start a period after the previous START, however long the exchange took; one
    // that overran is followed at once, and the period counts from there (no burst).
    for (const auto& [secondMs, starts] : {std::pair{20u, std::vector<uint32_t>{305, 360, 415, 470}},
                                          std::pair{70u, std::vector<uint32_t>{305, 360, 430, 485}}}) {
        Live live(LinkKind::Wan, 0, std::nullopt, {}, true, [&, ms = secondMs](ScreenState&, uint32_t n) {
            live.clock.moveTo(live.clock.now + (n == 2 ? ms : 0)); // the second exchange takes secondMs
        });
        ASSERT_TRUE(live.step(250));
        for (size_t k = 0; k < starts.size(); ++k) {
            ASSERT_TRUE(live.step(starts[k] - 1)); // a poll here would be early
            ASSERT_TRUE(live.step(starts[k], [&] { return live.polls.load() > k; })) << "no poll at " << starts[k];
        }
        EXPECT_EQ(live.agent->updateTimes(), starts);
    }
    // A job is followed by a poll at once, not a period later: a row of jobs never
    // freezes the picture.
    Live live(LinkKind::Wan, 0, std::nullopt, {}, /*driven=*/true, {}, 1);
    ASSERT_TRUE(live.step(600));
    EXPECT_EQ(Live::outcome(live.connection->post(JobKind::Custom, [](JobContext&, std::string&) { return true; })),
              JobStatus::Done);
    ASSERT_TRUE(live.step(600, [&] { return live.polls.load() == 1; }));
    EXPECT_EQ(live.agent->updateTimes(), std::vector<uint32_t>{600});
}

// A reply that does not come ends its job at its kind's limit on the links' clock, not
// before, and polling goes on.
TEST(ConnectionTest, UnansweredJobEndsAtItsKindsReplyLimit)
{
    const struct {
        JobKind kind;
        uint32_t limitMs;
    } rows[] = {{JobKind::ListDirectory, 2000}, {JobKind::Rename, 2000}, {JobKind::Status, 5000}};
    for (const auto& [kind, limitMs] : rows) {
        SCOPED_TRACE(JobKindName(kind));
        Live live(LinkKind::Wan, 0, std::nullopt, {}, /*driven=*/true, {}, 1);
        ASSERT_TRUE(live.step(250));
        auto job = live.connection->post<uint8_t>(
            kind,
            [](JobContext& ctx, std::string&) -> std::optional<uint8_t> {
                uint8_t reply = 0;
                return ctx.channel().recv(&reply, 1) == 1 ? std::optional(reply) : std::nullopt;
            },
            {});
        ASSERT_TRUE(live.step(250, [&] { return job->status() == JobStatus::Running; }));
        ASSERT_TRUE(live.step(250 + limitMs - 1));
        EXPECT_EQ(job->status(), JobStatus::Running) << "ended before its limit";
        ASSERT_TRUE(live.step(250 + limitMs));
        EXPECT_TRUE(job->finished()) << "still waiting at its limit";
        ASSERT_TRUE(live.step(250 + limitMs, [&] { return live.polls.load() == 1; }));
    }
}

// Queued input waits for a poll, but not for ever: with polling held it goes out by
// itself once it has waited twice the poll period and 100 ms on the links' clock. Live
// input while a scenario plays is dropped.
TEST(ConnectionTest, QueuedInputGoesOutAtTheHoldLimitWhenNoPollComes)
{
    const struct {
        int rate;
        uint32_t holdMs;
    } rows[] = {{18, 210}, {1, 2100}};
    for (const auto& row : rows) {
        Live live(LinkKind::Lan, 0, std::nullopt, {}, /*driven=*/true, {}, row.rate);
        live.hold(true);
        live.connection->view().recordState = RecordState::Playing; // a scenario drives the device
        live.connection->sendInput(MakeMousePacket(CmdLeftUp, 1, 2), false);
        live.connection->view().recordState = RecordState::Idle;
        const InputPacket queued = MakeMousePacket(CmdLeftDown, 3, 4);
        live.connection->sendInput(queued, /*queueEvents=*/true);
        live.clock.moveTo(row.holdMs - 1);
        ASSERT_TRUE(live.settle("input-sender", 2, [&] { return !live.agent->input().empty(); }));
        EXPECT_TRUE(live.agent->input().empty()) << "rate " << row.rate << ": sent before the hold limit";
        live.clock.moveTo(row.holdMs);
        EXPECT_TRUE(live.agent->waitFor([&] { return live.agent->batches() == std::vector<uint32_t>{1}; }))
            << "rate " << row.rate << ": still held at the hold limit";
        EXPECT_EQ(live.agent->input(), std::vector<InputPacket>{queued}); // the one while it played was dropped
        EXPECT_EQ(live.agent->count(CmdUpdate), 0u);
    }
}

// A dropped WAN link is dialled again at its address by the connection thread alone
// (this thread only drives the clock and answers the dials): a different device
// answering there fails the attempt, the same one takes the dropped link's place,
// the owner hears Reconnecting once per drop and Live once it is back, the view
// repaints, polling goes on over it and the counters go on. Attempts follow 1, 2, 4
// ... 30 s on the clock after the drop, growing across links that drop within 30 s,
// from 1 s again after a link that stayed up that long. After endReconnects a drop
// closes it, told once.
TEST(ConnectionTest, DroppedLinkIsDialledAgainAfterGrowingWaits)
{
    PosixTransportFactory factory;
    test::OtherListener device;                   // where the link goes; the test answers each dial
    std::vector<std::unique_ptr<Agent>> answered; // by the device of its row
    Live live(LinkKind::Wan, 0, std::nullopt, [&](Clock& clock) {
        LinkConfig config;
        config.agentPort = uint16_t(device.port);
        Profile dialled;
        dialled.linkKind = uint32_t(LinkKind::Wan);
        dialled.ipAddress = 0x7F000001; // 127.0.0.1
        return std::make_shared<Redialer>(clock, config, factory, dialled, "Fake", "");
    }, /*driven=*/true);
    Connection& c = *live.connection;
    Sink& sink = live.sink;
    c.attach(sink); // the one view, told to repaint when a new link is in
    ASSERT_TRUE(live.step(250));
    ASSERT_TRUE(live.step(305, [&] { return live.polls.load() == 1; }));
    const uint32_t received = c.counts().bytesReceived;
    Agent* inUse = live.agent.get();
    uint32_t t = 305;
    // Each row: the link in use drops after it was up upMs (0: no drop, the attempt
    // before failed); the next attempt comes waitS s later, and `device` answers it.
    const struct {
        uint32_t upMs;
        std::string_view device;
        uint32_t waitS;
    } rows[] = {
        {55, "Fake", 1},  {55, "Other", 2}, {0, "Fake", 4},  {55, "Fake", 8},
        {55, "Fake", 16}, {55, "Fake", 30}, {55, "Fake", 30}, {Connection::kStableLinkMs - 1, "Fake", 30},
        {Connection::kStableLinkMs, "Other", 1}, {0, "Fake", 2},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << "up " << row.upMs << " ms, " << row.device << " after " << row.waitS << " s");
        const int reconnects = sink.reconnects.load(), lives = sink.lives.load(), repaints = sink.repaints.load();
        const size_t polls = live.polls.load();
        if (row.upMs) {
            inUse->closeLink();
            ASSERT_TRUE(live.step(t += row.upMs, [&] { return c.figures().reconnectInSeconds > 0; }));
            EXPECT_EQ(sink.reconnects.load(), reconnects + 1);
        }
        EXPECT_EQ(c.figures().reconnectInSeconds, row.waitS);
        EXPECT_TRUE(c.reconnecting());
        EXPECT_EQ(c.post(JobKind::Status, [](JobContext&, std::string&) { return true; })->status(),
                  JobStatus::Failed);
        ASSERT_TRUE(live.step(t + row.waitS * 1000 - 1));
        pollfd dial{device.socket.fd, POLLIN, 0};
        ASSERT_EQ(::poll(&dial, 1, 0), 0) << "an attempt before its time";
        live.clock.moveTo(t += row.waitS * 1000);
        ASSERT_EQ(::poll(&dial, 1, 30000), 1) << "not dialled";
        const int fd = ::accept(device.socket.fd, nullptr, nullptr);
        answered.push_back(std::make_unique<Agent>(fd, std::nullopt, nullptr, std::string(row.device)));
        if (row.device != "Fake") {
            ASSERT_TRUE(live.step(t, [&] { return c.figures().reconnectInSeconds > 0; }));
            continue;
        }
        ASSERT_TRUE(live.agent->waitFor([&] { return sink.lives.load() > lives; }));
        EXPECT_FALSE(c.reconnecting());
        EXPECT_EQ(sink.reconnects.load(), reconnects + (row.upMs ? 1 : 0));
        EXPECT_GT(sink.repaints.load(), repaints);
        // The refresh the new link starts with, and the poll that follows it at once.
        ASSERT_TRUE(live.step(t, [&] { return live.polls.load() > polls; }));
        inUse = answered.back().get();
    }
    // Polling goes on over the new link, and the counters go on from where they were.
    const size_t polls = live.polls.load();
    ASSERT_TRUE(live.step(t += 55, [&] { return live.polls.load() > polls; }));
    EXPECT_GE(c.counts().bytesReceived, received + 20);
    EXPECT_EQ(inUse->count(CmdRefresh), 1u); // the new link starts from a refreshed picture

    c.endReconnects();
    EXPECT_EQ(sink.closed.load(), 0);
    inUse->closeLink();
    live.clock.moveTo(t += 55); // the thread ends with the link: nothing more looks at the clock
    ASSERT_TRUE(live.agent->waitFor([&] { return sink.closed.load() > 0; }));
    c.stop();
    c.join();
    EXPECT_EQ(sink.closed.load(), 1);
}
