#pragma once
// The device half of one connection's view: the settings taken from the profile, the
// screen state with its pictures, recording and playback state. How a view shows the
// picture (scale, rotation, skin, its window state) is the view's own. It is
// part of the connection's Connection object and lives exactly as long as it: made
// from the profile when the connection opens, so nothing is ever reset by hand.
//
// Threads: the window thread and the connection thread share the record. The fields
// both touch are atomic; the pictures are guarded by screen.pictureMutex. Fields that
// are plain are written only by the window thread.

#include <atomic>
#include <cstdint>

#include "screen/ScreenState.h"
#include "settings/Profile.h"
#include "view/RecordState.h"

namespace sorvane {

// How the view of a new connection starts beyond its profile: the connect flows
// choose the scale and, for 16-bit devices, low colour.
struct ViewStart {
    int scale = 1;        // 1..4 (other values count as 1); the device window's
    int32_t lowColor = 0; // kept only for 16-bit devices
};

struct ViewRecord {
    ViewRecord() = default;
    ViewRecord(const Profile& profile, int profileIndex, const ViewStart& start);
    ViewRecord(const ViewRecord&) = delete;
    ViewRecord& operator=(const ViewRecord&) = delete;

    // Settings copied from the profile when the connection opens.
    int recordingMethod = 0;
    int captureMode = 0;
    int clickFormat = 0;
    int queueEvents = 0; // the connection's own check box; input follows the program-wide setting
    int profileIndex = -1;

    std::atomic<RecordState> recordState{RecordState::Idle};
    // Counts the playback runs posted to this connection. A run that is no longer the
    // newest stops at once and leaves recordState to the run that replaced it (a Stop
    // followed at once by Play must not let the old run see "playing" again).
    std::atomic<uint32_t> playRun{0};

    ScreenState screen;
};

} // namespace sorvane
