#pragma once
// What the status line under a device window shows: how fast the picture updates,
// how many bytes arrive and leave, how long the last update took from request to
// picture, whether the link is alive, and what the window is doing besides (a
// recording, a scenario, a video).
//
// The connection thread reports each screen exchange and the reconnect countdown;
// the window reads the figures now and then. The rates are worked out on the
// connection thread over periods of at least a second, so reading them costs the
// connection nothing.
//
// Threads: the report calls from the connection thread, figures() from any thread.

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "view/RecordState.h"

namespace sorvane {

enum class LinkState {
    Live,         // exchanges finish
    Waiting,      // nothing has arrived for kWaitingAfterMs
    Reconnecting, // the link dropped; the program is making it again
};

// With no byte and no finished exchange for this long, the link is "waiting for the device".
inline constexpr uint32_t kWaitingAfterMs = 2000;

struct LinkFigures {
    double updatesPerSecond = 0;
    double bytesPerSecond = 0;     // received
    double sentPerSecond = 0;
    int latencyMs = -1; // request to picture of the last applied update; -1: none yet
    LinkState state = LinkState::Live;
    uint32_t reconnectInSeconds = 0; // while reconnecting: to the next attempt; 0: trying now
    uint64_t updates = 0;            // updates applied since the connection opened
    uint64_t bytesReceived = 0;      // bytes received since the connection opened
    uint64_t bytesSent = 0;          // bytes sent since the connection opened
};

class LinkMeter {
public:
    // `received`, `sent`: the link's running counts of bytes (they may wrap).
    LinkMeter(const std::atomic<uint32_t>& received, const std::atomic<uint32_t>& sent)
        : received_(received), sent_(sent)
    {
    }

    // A screen exchange is about to send its request.
    void exchangeStarted(uint32_t nowMs);
    // It ended; `applied`: it brought an update that changed the picture.
    void exchangeEnded(uint32_t nowMs, bool applied);
    // The link dropped: the next attempt is made at `attemptAtMs` (now: trying).
    void reconnecting(uint32_t nowMs, uint32_t attemptAtMs);
    // The link is back; the counts go on.
    void relinked(uint32_t nowMs);

    LinkFigures figures(uint32_t nowMs) const;

private:
    // Under mutex_: takes the bytes received since the last look and closes the rate
    // period when a second has passed. Also run by figures(), so the rates and the
    // waiting state stay true while a long job (a file transfer) keeps the thread.
    void roll(uint32_t nowMs) const;

    const std::atomic<uint32_t>& received_;
    const std::atomic<uint32_t>& sent_;
    mutable std::mutex mutex_;
    bool reconnecting_ = false;
    uint32_t attemptAtMs_ = 0;
    uint32_t requestAtMs_ = 0;
    int latencyMs_ = -1;
    mutable bool started_ = false;     // the first look has been taken
    mutable uint32_t lastSeen_ = 0;    // the received count at the last look
    mutable uint64_t bytes_ = 0;       // received since the first look
    mutable uint32_t lastSent_ = 0;
    mutable uint64_t sentBytes_ = 0;
    mutable uint64_t periodSent_ = 0;
    mutable double sentPerSecond_ = 0;
    mutable uint64_t updates_ = 0;
    mutable uint32_t lastActivityMs_ = 0;
    // The period the rates are counted over, and the rates of the last one.
    mutable uint32_t periodStartMs_ = 0;
    mutable uint64_t periodBytes_ = 0;
    mutable uint64_t periodUpdates_ = 0;
    mutable double updatesPerSecond_ = 0;
    mutable double bytesPerSecond_ = 0;
};

// "live · 12.0 updates/s · 48.2 KB/s in · 120 B/s out · 35 ms": the link's part of the
// status line. A live link whose picture did not change in the last second says
// "live · screen still" instead of a rate of updates.
std::string LinkStatusText(const LinkFigures& figures);

// What a device window is doing besides showing the device.
struct WindowActivity {
    RecordState recordState = RecordState::Idle; // the window's
    bool recordsVideo = false; // its profile records AVI video
    std::string scenario;      // the scenario playing or paused there; empty: none known
    // The video being recorded from this window: frames (stream positions), their rate
    // and the file's size. frames < 0: none.
    int64_t videoFrames = -1;
    int videoRate = 1;
    uint64_t videoBytes = 0;
};

// "recording", "recording video 1:05 · 14.8 MB", "playing Smoke: input paused",
// "Smoke paused"; empty when the window does nothing besides.
std::string ActivityText(const WindowActivity& activity);

} // namespace sorvane
