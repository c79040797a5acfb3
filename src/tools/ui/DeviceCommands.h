#pragma once
// The device window's direct device commands: Paste to device (40023), Soft Reset
// (40061) and Suspend (40062), and a short note on a device window.
//
// Thread: user-interface thread.

#include <cstddef>
#include <functional>

#include <QString>

#include "tools/ui/DeviceToolsPort.h"

class QMimeData;
class QObject;
class QWidget;

namespace sorvane {

struct PasteOutcome {
    enum class Kind { NoText, Sent, TooLong } kind = Kind::NoText;
    size_t bytes = 0;      // device bytes sent (or that would have been)
    size_t unmappable = 0; // characters sent as '?'
};

// Sends the clipboard's text as 'd': converted to Windows-1252 with CR LF line ends.
// Nothing is sent when the clipboard holds no text, or when the text is longer than
// the device takes in one message. An empty text is sent as length 0.
PasteOutcome PasteToDevice(DeviceToolsPort& port, const QMimeData* clipboard);
// What to tell the user about a paste; empty when there is nothing to say.
QString PasteNote(const PasteOutcome& outcome);

void SoftResetDevice(DeviceToolsPort& port);
// Sends 'u' and then runs `close` (the window closes, which ends the connection): once
// the message has gone out on the connection's thread, or after 5 seconds at most.
void SuspendDevice(DeviceToolsPort& port, QObject* receiver, std::function<void()> close);

// A short note on a device window: in its status bar where it has one, else as a tip
// at its lower left for a few seconds.
void ShowDeviceNote(QWidget* window, const QString& text);

} // namespace sorvane
