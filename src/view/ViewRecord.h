#pragma once
// Everything that belongs to one connection's window and pictures: the settings taken
// from the profile, the screen state, the input queue, the request mailbox of the
// connection thread, recording and playback state and the skin placement. Slot s of
// the view table sits beside link slot s.
//
// Threads: the window thread and the slot's connection thread share the record. The
// fields both touch are atomic; the pictures are guarded by screen.pictureMutex; the
// input queue by its own mutex. Fields that are plain are written only while no
// connection thread runs (opening) or only by the window thread.

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <thread>

#include "screen/ScreenState.h"
#include "view/InputPackets.h"
#include "view/ViewGeometry.h"

namespace sorvane {

namespace request {
inline constexpr uint32_t kPoll = 82;          // 'R': ordinary screen polling
inline constexpr uint32_t kListDirectory = 103; // 'g'
inline constexpr uint32_t kReceiveFiles = 104;  // 'h'
inline constexpr uint32_t kSendFiles = 105;     // 'i'
inline constexpr uint32_t kDelete = 109;        // 'm'
inline constexpr uint32_t kRename = 110;        // 'n'
inline constexpr uint32_t kStatus = 111;        // 'o'
inline constexpr uint32_t kProcesses = 120;     // 'x'
inline constexpr uint32_t kTransferDone = 101;  // 'e': left behind by a finished transfer
} // namespace request

namespace record_state {
inline constexpr uint32_t kRecording = 40009;
inline constexpr uint32_t kPlaying = 40010;
inline constexpr uint32_t kStopped = 40011;
inline constexpr uint32_t kPaused = 40094;
} // namespace record_state

struct ViewRecord {
    // Settings copied from the profile when the window opens.
    std::atomic<int> scale{1};
    std::atomic<int> viewRotation{0};
    int skinIndex = 0;
    int recordingMethod = 0;
    int captureMode = 0;
    int clickFormat = 0;
    int showMouseCursor = 0;
    std::atomic<int> maximized{0};
    int queueEvents = 0; // the connection's own check box; input follows the program-wide setting
    int profileIndex = -1;

    std::atomic<int> running{0};
    std::atomic<uint32_t> recordState{0};

    // The mailbox: the exchange the connection thread performs next.
    std::atomic<uint32_t> request{request::kPoll};
    std::atomic<uint32_t> requestDone{1};
    std::atomic<uint32_t> requestResult{0};
    // Refresh Display asked for by the window: served by the connection thread before
    // its next poll, because only that thread reads the link.
    std::atomic<bool> refreshRequested{false};

    ScreenState screen;
    InputQueue queue;

    // Skin placement and toolbar height, read by invalidation and input mapping.
    std::atomic<int> skinX{0};
    std::atomic<int> skinY{0};
    std::atomic<int> toolbarHeight{0};

    // Serves the mailbox codes other than polling (listings, transfers, status,
    // processes). Set by those subsystems before they post a request; called on the
    // connection thread. Empty: the request is answered as served with nothing done.
    std::function<void(uint32_t code)> serveRequest;

    std::thread thread; // the connection thread

    ViewGeometry geometry() const
    {
        return ViewGeometry{scale.load(), viewRotation.load(), skinX.load(), skinY.load(), toolbarHeight.load()};
    }
};

// The 33 view records, indexed like the link slots.
class Views {
public:
    static constexpr int kSlotCount = 33;
    ViewRecord* find(int slot) { return slot >= 0 && slot < kSlotCount ? &records_[size_t(slot)] : nullptr; }
    ViewRecord& operator[](int slot) { return records_[size_t(slot)]; }

private:
    std::array<ViewRecord, kSlotCount> records_;
};

} // namespace sorvane
