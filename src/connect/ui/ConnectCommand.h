#pragma once
// The Connect command of the main window for one profile, and the connections made
// at start-up.
//
// ConnectProfile: a profile whose link is already in use by a live connection
// (ProfileInUse: the same COM port, any ActiveSync link, the same WAN address) is
// refused with "This type of connection only supports a single instance and it is
// currently being used." (caption: the link kind's name, stop icon). Otherwise the
// dialog of its kind runs: "MAKECONNECTION" for IrDA, COM, ActiveSync and WAN,
// "USBCONNECT", "LANCONNECT" and "PROXYCONNECT" for USB, LAN and proxy.
//
// AutoConnectProfiles: every profile marked for it, in table order, except proxy
// profiles, one after the other, without the in-use check: "MAKECONNECTION" (a LAN
// profile goes straight to its address), except that a USB profile runs the USB
// discovery, since the timed dialog makes no USB attempts.
//
// Thread: user-interface thread; both return once their dialogs have closed.

#include <QWidget>

#include "connect/ConnectContext.h"

namespace sorvane {

inline constexpr const char* kSingleInstanceText =
    "This type of connection only supports a single instance and it is currently being used.";

void ConnectProfile(QWidget* owner, ConnectContext& context, int profileIndex);
void AutoConnectProfiles(QWidget* owner, ConnectContext& context);

} // namespace sorvane
