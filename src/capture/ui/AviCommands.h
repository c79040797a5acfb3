#pragma once
// AVI recording from a device window whose connection records video
// (recordingMethod 1): Start Recording (40009) asks for the file and the
// compressor and starts the program's one AviRecording; Stop Recording (40011)
// closes the file. While a recording runs, the PC's pointer over the recording
// window is followed (device coordinates, left button) for the cursor in the frames.
// Closing the recording window closes the file whole (nothing recorded is lost).
//
// The frames themselves are written by the connection thread after every poll:
// AviRecording::frameAfterPoll(slot, screen, updateCounter - 1).
//
// Thread: user-interface thread.

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>

#include <QDialog>
#include <QObject>
#include <QPointer>

#include "capture/AviRecording.h"
#include "platform/UiPorts.h"

class QComboBox;
class QSpinBox;
class QTimer;

namespace sorvane {

class DeviceWindow;
struct DeviceWindowServices;

// The compressor dialog ("AVICOMPRESSOR"): "Full Frames (Uncompressed)" or "Motion
// JPEG" with its quality.
class CompressorDialog final : public QDialog {
    Q_OBJECT
public:
    explicit CompressorDialog(QWidget* parent = nullptr);
    AviOptions options() const;

private:
    QComboBox* codec_ = nullptr;
    QSpinBox* quality_ = nullptr;
};

struct AviUiContext {
    AviRecording& recording;
    std::filesystem::path programDir; // the save dialog starts in RECORDED_DATA
    MessageBoxPort& messages;
    BeepPort& beep;
    FileDialogPort& files;
    // The compressor choice; empty: the compressor dialog over the window. nullopt: cancelled.
    std::function<std::optional<AviOptions>(QWidget* owner)> chooseCompressor;
};

class AviCommands final : public QObject {
    Q_OBJECT
public:
    explicit AviCommands(AviUiContext context, QObject* parent = nullptr);
    ~AviCommands() override;

    // StartAvi, after "Only one AVI file..." was ruled out: false when a dialog was
    // cancelled or the file cannot be created (the window's recordState is then Stopped).
    bool startAvi(DeviceWindow& window);
    // StopAvi for the recording window; reports a recording cut short.
    void stopAvi();

    // Adds 40009 and 40011 to a window's services. For connections that record
    // script events the commands go to the handlers registered before, if any.
    static void addTo(DeviceWindowServices& services, std::shared_ptr<AviCommands> commands);

private:
    void followPointer();
    void finish(bool report);

    AviUiContext context_;
    DeviceWindow* window_ = nullptr; // the recording window; cleared when it is destroyed
    QMetaObject::Connection windowGone_;
    QTimer* pointerTimer_ = nullptr;
};

} // namespace sorvane
