#pragma once
// Copy from device: the device clipboard's text ('q') through the connection's thread
// onto the PC clipboard, read as Windows-1252, its CR LF line ends as LF. An empty
// device clipboard leaves the PC's as it is.
//
// Thread: user-interface thread.

#include <functional>

#include <QString>

#include "tools/ui/DeviceToolsPort.h"

class QObject;

namespace sorvane {

struct CopyOutcome {
    enum class Kind { Copied, Empty, NoReply, Refused } kind = Kind::NoReply;
    QString text; // Copied: what went onto the clipboard
};

// Asks for the text; `done` runs on the user-interface thread (queued on receiver)
// once the job has ended. Refused: the device announced more than 1 MiB (nothing was
// read or allocated for it, and what followed it was read past); the link may be out
// of step, so the caller has the display refreshed.
void CopyFromDevice(DeviceToolsPort& port, QObject* receiver, std::function<void(const CopyOutcome&)> done);

} // namespace sorvane
