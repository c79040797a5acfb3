#pragma once
// The capture commands of a device, given from its window: 40070 "Capture to Clip&board", 40071
// "Capture to &File...", 40072 "Capture (&One Click)" and the toolbar's 40004
// "Capture Screendump", which captures with the connection's captureMode.
//
// Thread: user-interface thread. The picture is copied under the picture mutex at
// the moment of the command; dialogs, files and the clipboard work on the copy.

#include <ctime>
#include <filesystem>
#include <functional>
#include <memory>
#include <vector>

#include "imaging/ImageRecord.h"
#include "platform/UiPorts.h"
#include "settings/Settings.h"

namespace sorvane {

class Device;
struct DeviceWindowServices;

struct CaptureUiContext {
    std::filesystem::path programDir; // one-click captures go to programDir/RECORDED_DATA
    const PlatformSettings& platform; // ClickPng
    MessageBoxPort& messages;
    FileDialogPort& files;
    std::function<void()> playShutter;   // the "SHUTTER" sound; may be empty
    std::function<std::time_t()> utcNow; // the clock of one-click names; empty: the system's
};

// Capture modes (the profile's captureMode).
enum class CaptureMode { File = 0, Clipboard = 1, OneClick = 2 };

// CaptureScreen: captures the device's picture in one of the three ways. A capture
// that fails (no picture yet, a file that cannot be written, a clipboard that takes
// nothing) is reported in a message box; cancelling the save dialog is not a failure.
// Returns true when something was captured.
bool CaptureScreen(Device& device, CaptureMode mode, const CaptureUiContext& context);

// Places a captured picture on the desktop clipboard as the packed bitmap (a BMP
// file for "image/bmp") and as an image for programs that take any image format.
// False when the bitmap cannot be made or read back.
bool OfferPictureToClipboard(const ImageRecord& picture);

// Registers the four capture commands in a device window's services.
void AddCaptureCommands(DeviceWindowServices& services, std::shared_ptr<const CaptureUiContext> context);

} // namespace sorvane
