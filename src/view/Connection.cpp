#include "view/Connection.h"

#include <algorithm>
#include <chrono>
#include <pthread.h>
#include <utility>

#include "link/LinkTransport.h"
#include "link/SlotLinkChannel.h"
#include "screen/ScreenReceiver.h"
#include "view/PictureRender.h"

namespace sorvane {
namespace {

uint32_t pollPeriodMs(const ScreenState& screen) { return uint32_t(1000 / std::clamp(screen.refreshRate.load(), 1, 18)); }

} // namespace

// Hands changed picture rectangles, in device coordinates, to the views.
class Connection::ScreenEvents final : public ScreenSink {
public:
    explicit ScreenEvents(Connection& c) : c_(c) {}

    void pictureChanged(int l, int t, int r, int b) override
    {
        const DeviceRect area{l, t, r + 1, b + 1}; // the receiver's bounds are inclusive
        c_.tellViews([&](ConnectionView& v) { v.invalidate(area); });
    }
    void picturesRebuilt() override
    {
        c_.tellViews([](ConnectionView& v) { v.repaintAll(); });
    }
    void linkDropped() override { dropped = true; }

    bool dropped = false;

private:
    Connection& c_;
};

bool BuildConnectionBuffers(const LinkSlot& s, ScreenState& st)
{
    std::lock_guard lock(st.pictureMutex);
    st.facts = s.display();
    std::copy(s.palette.begin(), s.palette.end(), st.palette.begin());
    return BuildViewBitmaps(st.bitmaps, st.facts, st.palette);
}

ViewRecord::ViewRecord(const Profile& profile, int index, const ViewStart& start)
    : recordingMethod(profile.recordingMethod)
    , captureMode(profile.captureMode)
    , clickFormat(profile.clickFormat)
    , queueEvents(profile.queueEvents)
    , profileIndex(index)
{
    screen.refreshRate = std::clamp(profile.refreshRate, 1, 18);
    screen.lowColor = start.lowColor != 0 ? 1 : 0;
}

// What a job sees: the connection's link, pictures and stop state.
class Connection::ThreadContext final : public JobContext {
public:
    ThreadContext(Connection& c, LinkChannel& channel, ScreenEvents& sink) : c_(c), channel_(channel), sink_(sink) {}

    LinkChannel& channel() override { return channel_; }
    ScreenState& screen() override { return c_.view_.screen; }
    bool cancelled() const override { return !c_.running_.load() || (job && job->cancelRequested()); }
    void pollScreen() override { c_.pollOnce(channel_, sink_); }
    bool pollScreenForCheck() override
    {
        const PollOutcome outcome = c_.pollOnce(channel_, sink_, true);
        return outcome == PollOutcome::Applied || outcome == PollOutcome::Unchanged;
    }

    Job* job = nullptr;

private:
    Connection& c_;
    LinkChannel& channel_;
    ScreenEvents& sink_;
};

std::unique_ptr<Connection> Connection::Open(Links& links, int slot, std::unique_ptr<LinkSlot> link,
                                             const Profile& profile, int profileIndex, const ViewStart& start,
                                             std::string& error)
{
    if (!link || link->isFree() || !link->transport) {
        if (link)
            CloseLinkTransport(*link);
        error = "the link is not open";
        return nullptr;
    }
    LinkSlot* s = link.get();
    std::unique_ptr<Connection> c(new Connection(links, slot, std::move(link), profile, profileIndex, start));
    if (s->depth != 16)
        c->view_.screen.lowColor = 0; // low colour is a 16-bit device's mode
    if (!BuildConnectionBuffers(*s, c->view_.screen)) {
        error = "the device's display cannot be shown";
        return nullptr;
    }
    return c;
}

Connection::Connection(Links& links, int slot, std::unique_ptr<LinkSlot> link, const Profile& profile,
                       int profileIndex, const ViewStart& start)
    : links_(links)
    , clock_(links.clock())
    , slot_(slot)
    , link_(std::move(link))
    , view_(profile, profileIndex, start)
    , sender_([this](std::span<const uint8_t> message) { return LinkSend(*link_, clock_, message) == message.size(); },
              clock_)
    , meter_(link_->bytesReceived, link_->bytesSent)
{
}

Connection::~Connection()
{
    stop();
    join();
    {
        std::lock_guard lock(view_.screen.pictureMutex);
        FreeViewBitmaps(view_.screen.bitmaps);
    }
    CloseLinkTransport(*link_);
    link_->transport.reset();
    if (!started_.load())
        return; // never started: the slot number stays with whoever installed it
    links_.release(slot_);
    uint32_t live = links_.liveConnections.load();
    while (live > 0 && !links_.liveConnections.compare_exchange_weak(live, live - 1)) {
    }
}

void Connection::start(ConnectionObserver& observer)
{
    if (started_.exchange(true))
        return;
    running_ = true;
    linkUpSince_ = now();
    links_.liveConnections.fetch_add(1);
    sender_.setHoldLimitMs(2 * pollPeriodMs(view_.screen) + 100);
    sender_.start();
    thread_ = std::thread([this, &observer] {
        pthread_setname_np(pthread_self(), "connection");
        threadMain(observer);
    });
}

void Connection::attach(ConnectionView& view)
{
    std::lock_guard lock(viewsMutex_);
    if (std::find(views_.begin(), views_.end(), &view) == views_.end())
        views_.push_back(&view);
}

void Connection::detach(ConnectionView& view)
{
    std::lock_guard lock(viewsMutex_);
    views_.erase(std::remove(views_.begin(), views_.end(), &view), views_.end());
}

template <class Call> void Connection::tellViews(Call call)
{
    std::lock_guard lock(viewsMutex_);
    for (ConnectionView* v : views_)
        call(*v);
}

bool Connection::allViewsHidden()
{
    std::lock_guard lock(viewsMutex_);
    return !views_.empty() && std::all_of(views_.begin(), views_.end(), [](const ConnectionView* v) {
        return v->hidden();
    });
}

void Connection::stop()
{
    running_ = false;
    if (relinker_)
        relinker_->cancel();
    // A thread inside a receive or a send can wait many seconds; shutting the link
    // down makes both return at once.
    if (started_.load()) {
        std::lock_guard lock(transportMutex_);
        ShutdownLinkTransport(*link_);
    }
    sender_.stop();
    jobsWake_.notify_all();
    failPending("the connection ended");
}

void Connection::join()
{
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id())
        thread_.join();
    sender_.join();
}

void Connection::submit(const std::shared_ptr<Job>& job)
{
    std::string refusal;
    {
        std::lock_guard lock(jobsMutex_);
        if (!running_.load())
            refusal = "the connection has ended";
        else if (dropped_)
            refusal = reconnects() ? "the device is reconnecting" : "the device closed the link";
        else
            jobs_.push_back(job);
    }
    if (!refusal.empty()) {
        job->finish(JobStatus::Failed, refusal);
        return;
    }
    jobsWake_.notify_all();
}

void Connection::requestRefresh()
{
    if (refreshPending_.exchange(true))
        return;
    post(JobKind::Refresh, [this](JobContext& ctx, std::string&) {
        refreshPending_ = false;
        RefreshScreen(ctx.channel(), ctx.screen());
        return true;
    }, [this](const Job& job) {
        if (job.status() != JobStatus::Done)
            refreshPending_ = false;
    });
}

void Connection::sendInput(const InputPacket& packet, bool queueEvents)
{
    if (view_.recordState.load() == RecordState::Playing)
        return; // a scenario drives the device now
    if (reconnecting_.load())
        return; // nobody is there to take it
    const auto kind = linkKind();
    const bool queued = queueEvents && (kind == LinkKind::Wan || kind == LinkKind::Lan || kind == LinkKind::Proxy);
    sender_.push(packet, queued);
}

void Connection::sendMessage(std::vector<uint8_t> message) { sender_.pushMessage(std::move(message)); }

void Connection::holdPolling(bool hold)
{
    holdPolling_ = hold;
    jobsWake_.notify_all();
}

void Connection::setAfterPoll(std::function<void(ScreenState&, uint32_t)> afterPoll) { afterPoll_ = std::move(afterPoll); }

// Waits ms on the program's clock (the one the status line's countdown reads); false when
// the connection stops first or, with wakeForJobs, a job arrives. It looks at the clock
// at least every 100 ms, so a clock that jumps (a test's) is followed too; a pause of up
// to 100 ms (a poll period at the usual rates) is one wait, so one wake-up.
bool Connection::pause(uint32_t ms, bool wakeForJobs)
{
    const uint32_t start = now();
    std::unique_lock lock(jobsMutex_);
    for (;;) {
        if (!running_.load() || (wakeForJobs && !jobs_.empty()))
            return false;
        const uint32_t passed = now() - start;
        if (passed >= ms)
            return true;
        const uint32_t left = ms - passed;
        jobsWake_.wait_for(lock, std::chrono::milliseconds(left <= 100 ? left : 50));
    }
}

std::shared_ptr<Job> Connection::nextJob()
{
    std::lock_guard lock(jobsMutex_);
    if (jobs_.empty())
        return nullptr;
    auto job = std::move(jobs_.front());
    jobs_.pop_front();
    return job;
}

void Connection::failPending(const std::string& reason)
{
    std::deque<std::shared_ptr<Job>> pending;
    {
        std::lock_guard lock(jobsMutex_);
        pending.swap(jobs_);
    }
    for (auto& job : pending)
        job->finish(JobStatus::Failed, reason);
}

PollOutcome Connection::pollOnce(LinkChannel& channel, ScreenEvents& sink, bool forCheck)
{
    // Nobody sees the picture: polls go out at the minimised rate (a check's still goes).
    view_.screen.minimized = !forCheck && allViewsHidden();
    meter_.exchangeStarted(now());
    const PollOutcome outcome = PollScreen(channel, view_.screen, sink);
    if (outcome != PollOutcome::Dropped)
        meter_.exchangeEnded(now(), outcome == PollOutcome::Applied);
    if (outcome == PollOutcome::Dropped || sink.dropped) {
        sink.dropped = false;
        linkDropped();
        return PollOutcome::Dropped;
    }
    // A refresh (after a bad update or a palette change) zeroes the picture, which is not
    // the device's until the next well-formed update, applied or empty: no AVI frame is
    // made of it meanwhile (those positions repeat the frame before).
    if (outcome == PollOutcome::Applied || outcome == PollOutcome::Unchanged)
        pictureIsDevices_ = true;
    else if (outcome == PollOutcome::Refreshed || outcome == PollOutcome::PaletteChanged)
        pictureIsDevices_ = false;
    if (pictureIsDevices_ && outcome != PollOutcome::Skipped && outcome != PollOutcome::Unsupported && afterPoll_)
        afterPoll_(view_.screen, view_.screen.updateCounter.load());
    sender_.flushQueued();
    return outcome;
}

// The link was found gone (a poll or a job): noticed here, on the connection thread,
// and nowhere else.
void Connection::linkDropped()
{
    // A scenario that was playing waits for the link to come back.
    RecordState playing = RecordState::Playing;
    if (reconnects() && view_.recordState.compare_exchange_strong(playing, RecordState::Paused))
        scenarioPausedByDrop_ = true;
    {
        std::lock_guard lock(jobsMutex_);
        dropped_ = true;
    }
    failPending(reconnects() ? "the device is reconnecting" : "the device closed the link");
}

void Connection::threadMain(ConnectionObserver& observer)
{
    SlotLinkChannel channel(*link_, clock_);
    ScreenEvents sink(*this);
    ThreadContext context(*this, channel, sink);
    uint32_t holdLimit = 0;
    bool pollDue = false; // a job ran since the last poll
    observer.stateChanged(DeviceState::Live);
    if (pause(250, false)) {
        uint32_t lastPollStart = now(); // the first poll is a period after the opening pause
        while (running_.load()) {
            // The picture goes on between jobs: one poll after each, at once, so that a
            // row of jobs (an explorer's listings and deletes) never freezes it.
            if (pollDue && !holdPolling_.load() && !dropped()) {
                pollDue = false;
                lastPollStart = now();
                pollOnce(channel, sink);
                continue;
            }
            if (std::shared_ptr<Job> job = nextJob()) {
                if (!job->begin())
                    continue; // cancelled while it waited
                context.job = job.get();
                // A reply that does not come ends the job at its own time-out, not at the
                // link's much longer receive limit.
                if (const uint32_t limit = JobReplyLimitMs(job->kind()))
                    channel.limit(limit);
                std::string error;
                const bool served = job->run(context, error);
                channel.unlimit();
                context.job = nullptr;
                pollDue = true;
                if (served)
                    job->finish(JobStatus::Done, {});
                else if (job->cancelRequested())
                    job->finish(JobStatus::Cancelled, error.empty() ? "cancelled" : error);
                else
                    job->finish(JobStatus::Failed, error.empty() ? std::string(JobKindName(job->kind())) + " failed"
                                                                 : error);
                // The device closed the link while the job ran (polling may be held).
                if (link_->closedByPeer.load() && !dropped())
                    linkDropped();
                continue;
            }
            if (dropped()) {
                if (reconnects() && relink(observer))
                    continue;
                break; // the link has ended
            }
            if (holdPolling_.load()) {
                pause(20, true);
                continue;
            }
            const uint32_t period = pollPeriodMs(view_.screen);
            if (2 * period + 100 != holdLimit) {
                holdLimit = 2 * period + 100;
                sender_.setHoldLimitMs(holdLimit);
            }
            // Polls start a period apart, counted from the previous start, so the time an
            // exchange takes does not slow the rate. A poll that is already due when
            // the previous exchange ends (it overran) starts at once, and the period
            // counts from there: a slow exchange is never made up by a burst of polls.
            const uint32_t sinceLast = now() - lastPollStart;
            if (sinceLast < period) {
                if (!pause(period - sinceLast, true))
                    continue; // stopping, or a job arrived: it goes first
                lastPollStart += period;
            } else {
                lastPollStart = now();
            }
            pollOnce(channel, sink);
        }
    }
    failPending("the connection ended");
    observer.stateChanged(DeviceState::Closed);
}

void Connection::setRelinker(std::shared_ptr<Relinker> relinker, std::function<bool()> wanted)
{
    relinker_ = std::move(relinker);
    reconnectWanted_ = std::move(wanted);
}

void Connection::endReconnects() { reconnectsEnded_ = true; }

bool Connection::reconnects() const
{
    return relinker_ && !reconnectsEnded_.load() && running_.load() && (!reconnectWanted_ || reconnectWanted_());
}

LinkFigures Connection::figures() const { return meter_.figures(clock_.tickCount()); }

DisplayGeometry Connection::display() const
{
    std::lock_guard lock(factsMutex_);
    return link_->display();
}

Connection::Counts Connection::counts() const
{
    const LinkSlot& s = *link_;
    return Counts{s.bytesSent.load(std::memory_order_relaxed), s.bytesReceived.load(std::memory_order_relaxed),
                  s.keyPresses.load(std::memory_order_relaxed), s.mouseClicks.load(std::memory_order_relaxed)};
}

void Connection::countInput(uint32_t keyPresses, uint32_t mouseClicks)
{
    link_->keyPresses.fetch_add(keyPresses);
    link_->mouseClicks.fetch_add(mouseClicks);
}

// Dials the dropped link again until an attempt passes (true: live again) or
// reconnecting ends (false: the link has ended). Connection thread.
bool Connection::relink(ConnectionObserver& observer)
{
    reconnecting_ = true;
    observer.stateChanged(DeviceState::Reconnecting);
    // A device that passes the handshake and drops at once is no reason to dial it
    // every second: only a link that stayed up a while starts the waits again.
    if (now() - linkUpSince_ >= kStableLinkMs)
        relinkAttempts_ = 0;
    while (reconnects()) {
        const uint32_t delayMs = RelinkDelaySeconds(relinkAttempts_) * 1000;
        meter_.reconnecting(now(), now() + delayMs);
        if (!pause(delayMs, false))
            break; // stopping
        meter_.reconnecting(now(), now());
        ++relinkAttempts_;
        std::string error;
        std::optional<RelinkedLink> fresh = relinker_->attempt(error);
        if (!fresh)
            continue;
        if (!takeRelinked(std::move(*fresh)))
            break; // stopping, or a display that cannot be shown
        meter_.relinked(now());
        reconnecting_ = false;
        tellViews([](ConnectionView& v) { v.repaintAll(); });
        requestRefresh();
        observer.stateChanged(DeviceState::Live);
        return true;
    }
    reconnecting_ = false;
    return false;
}

// The new link takes the dropped one's place: its transport, display facts and
// palette; the device's name, kind and address stay, and the counters go on.
bool Connection::takeRelinked(RelinkedLink fresh)
{
    LinkSlot& s = *link_;
    std::unique_ptr<Transport> old;
    {
        std::lock_guard lock(transportMutex_);
        if (!running_.load())
            return false; // stopping: the new link goes with `fresh`
        // The input sender may be inside a send on the dead link.
        std::lock_guard sendLock(s.sendMutex);
        std::lock_guard factsLock(factsMutex_);
        const LinkRecord& r = fresh.record;
        s.depth = r.depth;
        s.width = r.width;
        s.height = r.height;
        s.orientation = r.orientation;
        s.altDepth = r.altDepth;
        s.altWidth = r.altWidth;
        s.altHeight = r.altHeight;
        s.altOrientation = r.altOrientation;
        s.spareInfo = r.spareInfo;
        s.proxyWords = r.proxyWords;
        s.handleWord = r.handle;
        s.spareWords = r.spareWords;
        s.tail = r.tail;
        s.palette = fresh.palette;
        s.closedByPeer = false;
        old = std::exchange(s.transport, std::move(fresh.transport));
    }
    if (old)
        old->close();
    // The agent starts again from zero reference frames, and so do the pictures.
    if (!BuildConnectionBuffers(s, view_.screen))
        return false; // the device came back with a display that cannot be shown
    {
        std::lock_guard jobsLock(jobsMutex_);
        dropped_ = false;
    }
    linkUpSince_ = now();
    return true;
}

bool Connection::dropped()
{
    std::lock_guard lock(jobsMutex_);
    return dropped_;
}

} // namespace sorvane
