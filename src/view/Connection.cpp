#include "view/Connection.h"

#include <algorithm>

#include "link/CommandPacket.h"
#include "link/LinkTransport.h"
#include "screen/ScreenReceiver.h"
#include "link/SlotLinkChannel.h"

namespace sorvane {
namespace {

// Turns changed picture rectangles into window areas for the window.
class SlotScreenSink : public ScreenSink {
public:
    SlotScreenSink(ViewRecord& view, int slot, ViewSink& sink) : view_(view), slot_(slot), sink_(sink) {}

    void pictureChanged(int l, int t, int r, int b) override
    {
        const DisplayFacts& f = view_.screen.facts;
        const bool second = view_.screen.flipState.load() != 0 && f.altDepth != 0;
        const int W = second ? f.altWidth : f.width, H = second ? f.altHeight : f.height;
        sink_.invalidate(slot_, InvalidateChanged(view_.geometry(), W, H, l, r, t, b));
    }
    void picturesRebuilt() override { sink_.repaintAll(slot_); }
    void linkDropped() override { sink_.linkClosed(slot_); }
    void postCommand(int id) override { sink_.postCommand(slot_, id); }

private:
    ViewRecord& view_;
    int slot_;
    ViewSink& sink_;
};

// Sleeps ms in short steps; false as soon as the thread is told to stop.
bool pause(Links& links, const ViewRecord& view, uint32_t ms)
{
    while (ms > 0) {
        if (!view.running.load())
            return false;
        uint32_t step = std::min<uint32_t>(ms, 10);
        links.clock().sleepMs(step);
        ms -= step;
    }
    return view.running.load() != 0;
}

void sendQueued(Links& links, ViewRecord& view, int slot)
{
    view.queue.drain([&](std::span<const uint8_t> message) { LinkSend(links, slot, message); });
}

} // namespace

bool BuildConnectionBuffers(Links& links, Views& views, int slot)
{
    LinkSlot* s = links.find(slot);
    ViewRecord* v = views.find(slot);
    if (!s || !v)
        return false;
    ScreenState& st = v->screen;
    std::lock_guard lock(st.pictureMutex);
    st.facts = DisplayFacts{s->depth, s->width, s->height, s->orientation,
                            s->altDepth, s->altWidth, s->altHeight, s->altOrientation};
    std::copy(s->palette.begin(), s->palette.end(), st.palette.begin());
    return BuildViewBitmaps(st.bitmaps, st.facts, st.palette);
}

void OpenConnection(Links& links, Views& views, int slot, const Profile& profile, int profileIndex, ViewSink& sink)
{
    ViewRecord& v = views[slot];
    v.viewRotation = 0;
    v.screen.flipState = 0;
    v.skinIndex = profile.skinIndex;
    v.screen.refreshRate = std::clamp(profile.refreshRate, 1, 18);
    v.recordingMethod = profile.recordingMethod;
    v.captureMode = profile.captureMode;
    v.clickFormat = profile.clickFormat;
    v.showMouseCursor = profile.showMouseCursor;
    v.maximized = profile.openMaximized;
    v.queueEvents = profile.queueEvents;
    v.profileIndex = profileIndex;
    v.screen.updateCounter = 0;
    v.screen.minimized = false;
    v.skinX = 0;
    v.skinY = 0;
    v.running = 1;
    v.recordState = 0;
    v.request = request::kPoll;
    v.requestDone = 1;
    v.refreshRequested = false;
    v.queue.drain([](std::span<const uint8_t>) {});
    v.thread = std::thread([&links, &v, slot, &sink] { ConnectionThread(links, v, slot, sink); });
    links.liveConnections.fetch_add(1);
}

void EndConnection(Links& links, Views& views, int slot)
{
    ViewRecord* v = views.find(slot);
    LinkSlot* s = links.find(slot);
    if (!v || !s)
        return;
    v->running = 0;
    // A thread inside a receive can wait many seconds; shutting the link down makes it
    // return at once, so the join below is short.
    ShutdownLinkTransport(links, slot);
    if (v->thread.joinable())
        v->thread.join();
    {
        std::lock_guard lock(v->screen.pictureMutex);
        FreeViewBitmaps(v->screen.bitmaps);
    }
    v->queue.drain([](std::span<const uint8_t>) {});
    CloseLinkTransport(links, slot);
    if (!s->deviceName.empty()) {
        s->deviceName.clear();
        uint32_t live = links.liveConnections.load();
        while (live > 0 && !links.liveConnections.compare_exchange_weak(live, live - 1)) {
        }
    }
}

void RequestRefresh(ViewRecord& view) { view.refreshRequested = true; }

void SendInputEvent(Links& links, ViewRecord& view, int slot, const InputPacket& packet, bool queueEvents)
{
    if (view.recordState.load() == record_state::kPlaying)
        return;
    const LinkSlot* s = links.find(slot);
    if (!s)
        return;
    const uint32_t kind = s->linkKind;
    if (queueEvents && (kind == 4 || kind == 5 || kind == 6)) {
        view.queue.append(packet, [&](std::span<const uint8_t> message) { LinkSend(links, slot, message); });
        return;
    }
    LinkSend(links, slot, packet);
}

void ConnectionThread(Links& links, ViewRecord& view, int slot, ViewSink& sink)
{
    SlotLinkChannel channel(links, slot);
    SlotScreenSink screenSink(view, slot, sink);
    if (!pause(links, view, 250))
        return;
    while (view.running.load()) {
        if (view.recordState.load() == record_state::kPlaying) {
            // Scenario playback paces the link while it runs; the mailbox waits.
            pause(links, view, 20);
            continue;
        }
        const uint32_t code = view.request.load();
        switch (code) {
        case request::kPoll: {
            const int rate = std::max(1, view.screen.refreshRate.load());
            if (!pause(links, view, uint32_t(1000 / rate)))
                return;
            if (view.refreshRequested.exchange(false))
                RefreshScreen(channel, view.screen);
            PollScreen(channel, view.screen, screenSink);
            if (view.queue.count())
                sendQueued(links, view, slot);
            break;
        }
        case request::kListDirectory:
        case request::kDelete:
        case request::kRename:
        case request::kStatus:
        case request::kProcesses:
            if (view.requestDone.load() == 0) {
                if (view.serveRequest)
                    view.serveRequest(code);
                view.requestDone = 1;
            }
            break;
        case request::kReceiveFiles:
        case request::kSendFiles:
            if (view.serveRequest)
                view.serveRequest(code);
            view.request = request::kTransferDone;
            break;
        default:
            break;
        }
        if (view.request.load() != request::kPoll)
            pause(links, view, 20);
    }
}

} // namespace sorvane
