#pragma once
// One live connection: everything of one device from a passing handshake until the
// link is closed. It owns its link (transport, device facts, counters, palette, send
// mutex), the way to dial it again, the view record with its pictures, the input
// sender and the connection thread. The slot number it was installed under is the
// device's number on the wire and in the windows; it is released when the connection
// is destroyed.
//
// The connection thread is the only reader of the link. It pauses 1000 / refresh rate
// ms on the program's clock between screen polls, polls the display in use, asks the input sender to flush
// queued input after each poll, and runs the posted jobs one at a time in the order
// they were posted; polling waits while a job runs, and one poll follows each job at
// once, so the picture goes on between jobs. A job that expects a reply ends at its
// own time-out (JobReplyLimitMs) when none comes. Scenario playback is such a job:
// it paces the link for as long as it plays (polling the screen itself every 32nd
// cycle through its context), and other jobs wait behind it. Input and device commands that
// expect no reply go through the input sender, which writes each as one whole message
// under the link's send mutex, in order.
//
// A drop is noticed on the connection thread only (a poll or a job that finds the
// link gone) and reported once to the observer (ConnectionObserver.h): Reconnecting
// while it is dialled again, Live when the new link has taken the old one's place
// inside this connection, Closed when the link has ended.
//
// Views: any number of views (ConnectionView) may be attached, before or after start.
// The connection thread tells each the changed areas in device coordinates; it polls at
// the minimised rate only while every attached view is hidden (none attached: at the
// full rate).
//
// Lifecycle: Open (checks and builds the pictures; nothing runs yet) -> start(observer)
// -> stop() (the link is shut down, so any receive or send returns at once; pending
// jobs fail) -> join() -> destruction (buffers freed, link closed, slot number
// released). The destructor does whatever of stop and join has not been done.
//
// Threads: every member from any thread unless it says otherwise; the views and the
// observer are called on the connection thread and must only queue work.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "link/Links.h"
#include "platform/LinkTarget.h"
#include "settings/Profile.h"
#include "view/InputSender.h"
#include "view/ConnectionObserver.h"
#include "view/Job.h"
#include "view/LinkMeter.h"
#include "view/Relink.h"
#include "view/ConnectionView.h"
#include "screen/ScreenReceiver.h"
#include "view/ViewRecord.h"

namespace sorvane {

// The screen-buffer step of a new connection: the device facts and palette of the
// link go into the screen state and the pictures are built. False when the
// device's display cannot be shown.
bool BuildConnectionBuffers(const LinkSlot& link, ScreenState& screen);

class Connection final : public JobPort {
public:
    // A link that stays up this long (on the program's clock) counts as working again:
    // the waits between reconnect attempts start from 1 s after it.
    static constexpr uint32_t kStableLinkMs = 30000;

    // Makes the connection of a link that passed its handshake, installed as slot
    // number `slot` of `links` (taken by the caller; released again by a connection
    // that was started): the view record from the profile and `start`, the pictures
    // from the device facts. nullptr with `error` set when the device's display cannot
    // be shown (the link is then closed).
    static std::unique_ptr<Connection> Open(Links& links, int slot, std::unique_ptr<LinkSlot> link,
                                            const Profile& profile, int profileIndex, const ViewStart& start,
                                            std::string& error);
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    int slot() const { return slot_; }
    Clock& clock() { return clock_; }
    ViewRecord& view() { return view_; }
    ScreenState& screen() { return view_.screen; }

    // The link's facts. Name and kind stay what the handshake found; the display's
    // may change when a dropped link comes back.
    const std::string& deviceName() const { return link_->deviceName; }
    LinkKind linkKind() const { return LinkKind(link_->linkKind); }
    DisplayGeometry display() const;
    // The link's counters; the window adds the keys and clicks it hands in.
    struct Counts {
        uint32_t bytesSent = 0, bytesReceived = 0, keyPresses = 0, mouseClicks = 0;
    };
    Counts counts() const;
    void countInput(uint32_t keyPresses, uint32_t mouseClicks);

    // Starts the connection thread and the input sender (once).
    void start(ConnectionObserver& observer);
    // Adds a view; it hears of every change from now on. Not from inside a view's call.
    void attach(ConnectionView& view);
    // Removes a view: once this returns no call into it is in progress or will come.
    // Not from inside a view's call.
    void detach(ConnectionView& view);
    // Tells both threads to end and shuts the link down so that no link call waits;
    // pending jobs fail. Safe to call more than once.
    void stop();
    // Waits for both threads to end. Not from the connection thread itself.
    void join();
    bool running() const { return running_.load(); }

    // Queues a job (post it through JobPort::post, see Job.h). A connection that is not
    // running, or whose link is down, fails it at once.
    void submit(const std::shared_ptr<Job>& job) override;
    // Refresh Display: 'Q' before the next poll (one pending refresh at a time).
    void requestRefresh();

    // One input packet from the window. Dropped while a scenario plays; queued for the
    // next poll when `queueEvents` (the program-wide setting) is on and the link is a
    // WAN, LAN or proxy link; otherwise sent at once. Never waits on the link.
    void sendInput(const InputPacket& packet, bool queueEvents);
    // A whole message that expects no reply (device commands), sent in order with input.
    void sendMessage(std::vector<uint8_t> message);
    const InputSender& sender() const { return sender_; }

    // While held, the connection thread does not poll (it still runs jobs): the state a
    // finished file transfer leaves behind until the explorer lets polling go on.
    void holdPolling(bool hold);

    // Called on the connection thread after each poll that reached the device and left a
    // picture that is the device's (not after a refresh), with the poll's position (AVI
    // frames). Set before start().
    void setAfterPoll(std::function<void(ScreenState&, uint32_t updateCounter)> afterPoll);

    // Reconnecting by itself. With a relinker, a link the device dropped (not one the
    // window closed) is made again while `wanted()` says so (read on the connection
    // thread at the drop; empty: always): the window stays, the picture is kept, a playing scenario
    // pauses (see takeScenarioPausedByDrop), pending jobs fail, and attempts follow
    // after 1, 2, 4 ... 30 s until one passes or the connection stops. The waits go on
    // growing across links that drop again within kStableLinkMs of being made, and
    // start from 1 s once a link has stayed up that long. They run on the program's
    // clock. The new link takes the dropped one's place on the connection thread (its
    // counters go on), the pictures are rebuilt from its facts, the views repaint,
    // a refresh is asked for and polling resumes. Set before start().
    void setRelinker(std::shared_ptr<Relinker> relinker, std::function<bool()> wanted = {});
    // From now on a drop ends the connection (Suspend: the device goes away on purpose).
    void endReconnects();
    // True when a drop now would be reconnected rather than close the window.
    bool reconnects() const;
    bool reconnecting() const { return reconnecting_.load(); }
    // True once after a drop paused the scenario that was playing: it resumes now.
    bool takeScenarioPausedByDrop() { return scenarioPausedByDrop_.exchange(false); }

    // The status line's figures.
    LinkFigures figures() const;

private:
    Connection(Links& links, int slot, std::unique_ptr<LinkSlot> link, const Profile& profile, int profileIndex,
               const ViewStart& start);
    class ThreadContext;
    class ScreenEvents;

    void threadMain(ConnectionObserver& observer);
    bool relink(ConnectionObserver& observer);
    bool takeRelinked(RelinkedLink fresh);
    uint32_t now() const { return clock_.tickCount(); }
    bool pause(uint32_t ms, bool wakeForJobs);
    PollOutcome pollOnce(LinkChannel& channel, ScreenEvents& sink, bool forCheck = false);
    void linkDropped();
    bool dropped();
    bool allViewsHidden();
    template <class Call> void tellViews(Call call);
    std::shared_ptr<Job> nextJob();
    void failPending(const std::string& reason);

    Links& links_;
    Clock& clock_;
    const int slot_;
    std::unique_ptr<LinkSlot> link_;
    // Guards the transport's replacement against stop() shutting it down, and the
    // display facts against readers on other threads.
    std::mutex transportMutex_;
    mutable std::mutex factsMutex_;
    ViewRecord view_;
    InputSender sender_;
    std::function<void(ScreenState&, uint32_t)> afterPoll_;
    bool pictureIsDevices_ = true; // connection thread only
    LinkMeter meter_;
    std::shared_ptr<Relinker> relinker_;
    std::function<bool()> reconnectWanted_;
    std::atomic<bool> reconnectsEnded_{false};
    std::atomic<bool> reconnecting_{false};
    std::atomic<bool> scenarioPausedByDrop_{false};
    unsigned relinkAttempts_ = 0; // since a link last stayed up (connection thread)
    uint32_t linkUpSince_ = 0;    // when the link in use was made (connection thread, or before start)

    std::atomic<bool> running_{false};
    std::atomic<bool> started_{false};
    std::atomic<bool> holdPolling_{false};
    std::atomic<bool> refreshPending_{false};

    std::mutex viewsMutex_; // held while a view is called
    std::vector<ConnectionView*> views_;

    std::mutex jobsMutex_;
    std::condition_variable jobsWake_;
    std::deque<std::shared_ptr<Job>> jobs_;
    bool dropped_ = false; // the link was found gone (guarded by jobsMutex_)
    std::thread thread_;
};

} // namespace sorvane
