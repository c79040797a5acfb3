#pragma once
// Recording a device's input as a script: Start Recording (40009) and Stop Recording
// (40011) of a device, the input sent to it while recording, the prompt when a
// recording device closes, and saving the recording.
//
// The recorder is keyed by the Device, not by a window: a view (the device window),
// a command or the command line hands it the device whose recording it means. What a
// view shows of the recording (the device window's title) is the view's: the commands
// say what changed, and ShowRecordingChange() carries that to a device window.
//
// Checkpoints (Add Checkpoint: a region of the device's picture and the picture shown
// there) are kept in memory among the events as check lines; when the save dialog
// names the script, each picture is written beside it as "<script>-check-N.png" (N from
// 1; the script's name made safe for a script line: only A-Z, a-z, 0-9, '.', '_' and
// '-', no "..") and then the script, whose lines name them. A cancelled save writes
// nothing; a restart drops them with the events.
//
// One event list serves the whole program (one recording can usefully run at a time).
// Devices whose profile records AVI video (recording method 1) are left to the video
// recorder: Start Recording does nothing for them, and Stop Recording only ends a
// scenario that plays there.
//
// Thread: user-interface thread.

#include <string>
#include <vector>

#include "platform/Clock.h"
#include "platform/UiPorts.h"
#include "scripts/ScriptText.h"
#include "view/InputPackets.h"

namespace sorvane {

class Device;
class DeviceWindow;
struct CheckpointRegion;

class ScriptRecorder {
public:
    // What a command did to the device's recording, for the view that shows it.
    enum class Change { None, Started, Ended };

    // recordedDataDir: where the save dialog starts (the program's RECORDED_DATA).
    ScriptRecorder(MessageBoxPort& messages, FileDialogPort& files, std::string recordedDataDir);

    Change startRecording(Device& device);
    Change stopRecording(Device& device);
    // Every input packet sent to the device, before it is sent.
    void inputSent(Device& device, const InputPacket& packet);
    // A checkpoint marked on the device's window while it records: a CHECKSCREEN line,
    // a WAITSCREEN line when `waits`.
    void checkpoint(Device& device, const CheckpointRegion& region);
    // The device's window is about to close.
    void closing(Device& device);

    const EventList& events() const { return events_; }
    const std::vector<ScriptCheck>& checks() const { return checks_; }

private:
    void save();

    MessageBoxPort& messages_;
    FileDialogPort& files_;
    std::string recordedDataDir_;
    SystemClock clock_;
    EventList events_;
    std::vector<ScriptCheck> checks_; // the checkpoints, by their events' arg()
};

// The name of checkpoint `n` (1 = first) of the script saved as `scriptPath`.
std::string CheckpointFileName(const std::string& scriptPath, int n);

// The device window's title while a recording runs on its device: the device name
// followed by " Recording..." from Started, the title before it again at Ended.
void ShowRecordingChange(DeviceWindow& window, ScriptRecorder::Change change);

} // namespace sorvane
