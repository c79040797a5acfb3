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
// One event list serves the whole program (one recording can usefully run at a time).
// Devices whose profile records AVI video (recording method 1) are left to the video
// recorder: Start Recording does nothing for them, and Stop Recording only ends a
// scenario that plays there.
//
// Thread: user-interface thread.

#include <string>

#include "platform/Clock.h"
#include "platform/UiPorts.h"
#include "scripts/ScriptText.h"
#include "view/InputPackets.h"

namespace sorvane {

class Device;
class DeviceWindow;

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
    // The device's window is about to close.
    void closing(Device& device);

    const EventList& events() const { return events_; }

private:
    void save();

    MessageBoxPort& messages_;
    FileDialogPort& files_;
    std::string recordedDataDir_;
    SystemClock clock_;
    EventList events_;
};

// The device window's title while a recording runs on its device: the device name
// followed by " Recording..." from Started, the title before it again at Ended.
void ShowRecordingChange(DeviceWindow& window, ScriptRecorder::Change change);

} // namespace sorvane
