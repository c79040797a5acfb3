#pragma once
// Recording a device window's input as a script: Start Recording (40009) and Stop
// Recording (40011) of the device windows, the input they send while recording, the
// prompt when a recording window closes, and saving the recording.
//
// One event list serves the whole program (one recording can usefully run at a time).
// Windows whose profile records AVI video (recording method 1) are left to the video
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

class DeviceWindow;

class ScriptRecorder {
public:
    // recordedDataDir: where the save dialog starts (the program's RECORDED_DATA).
    ScriptRecorder(MessageBoxPort& messages, FileDialogPort& files, std::string recordedDataDir);

    void startRecording(DeviceWindow& window);
    void stopRecording(DeviceWindow& window);
    // Every input packet the window sends, before it is sent.
    void inputSent(DeviceWindow& window, const InputPacket& packet);
    // The window is about to close.
    void closing(DeviceWindow& window);

    const EventList& events() const { return events_; }

private:
    void save(DeviceWindow& window);

    MessageBoxPort& messages_;
    FileDialogPort& files_;
    std::string recordedDataDir_;
    SystemClock clock_;
    EventList events_;
};

} // namespace sorvane
