#pragma once
// The device tools' commands of a device window: Device Info (40065), Process Info
// (40086), Paste to device (40023, also F11 through the main window's accelerator,
// which hands it to the active device window), Soft Reset (40061), Suspend (40062,
// then the window closes), Copy from device (40095) and Type text (40096).
//
// Each device gets one DeviceToolsPort over its Connection, made on first use and hung
// on the Device (so it ends with it); the device's last status and process list are
// the Device's tools memory. Requests are the connection's jobs; messages go through
// Connection::sendMessage.
//
// Thread: user-interface thread.

#include <cstdint>
#include <functional>
#include <vector>

#include "platform/UiPorts.h"
#include "view/ui/DeviceWindow.h"

namespace sorvane {

class DeviceToolsPort;
struct TypeTextChoice;

// typeChoice: the Type text dialog's remembered clipboard choice (none: not kept).
void AddDeviceToolsServices(DeviceWindowServices& services, MessageBoxPort& messages,
                            TypeTextChoice* typeChoice = nullptr);

// Whole messages of the user's input a tool sent for a window (typed text, a paste).
using InputMessageTap = std::function<void(DeviceWindow&, const std::vector<uint8_t>&)>;

// What an open window gets besides its services: text dropped onto the picture typed
// on the device, and the device's tools port for this window, whose input messages
// `tap` sees after they were handed to the connection. (Its keys, Ctrl+Shift+C for
// Copy from device too, come from the command table.)
void AddDeviceToolsToWindow(DeviceWindow& window, MessageBoxPort& messages, InputMessageTap tap = {});

// The tools port of the window's device (made on first use).
DeviceToolsPort& DeviceToolsPortOf(DeviceWindow& window);

} // namespace sorvane
