#pragma once
// The step that makes a PendingLink whose handshake passed a live connection: the
// lowest free slot number, the pictures and the device window, in one step on the
// user-interface thread, so two attempts never share a slot. A link the program
// dialled gets the way to dial it again (Redial.h) on its way in.
//
// Thread: user-interface thread.

#include <optional>

#include "connect/ConnectContext.h"
#include "connect/PendingLink.h"
#include "settings/Profile.h"
#include "view/ViewRecord.h"

namespace sorvane {

// Makes a passed PendingLink a live connection: the lowest free slot number, then
// ctx.openDeviceWindow(profileIndex, slot, link, view), which makes the connection
// (the link moves into it) and its window. Returns the slot, or nullopt when every slot is live or the pictures could
// not be made; the link is then closed. `dialled`: the profile a link the program
// dialled (WAN, LAN, proxy) was made from; while openDeviceWindow runs,
// ctx.relinker then holds the way to dial it again should it drop.
std::optional<int> InstallLink(ConnectContext& ctx, PendingLink& link, int profileIndex, const ViewStart& view,
                               const Profile* dialled = nullptr);

} // namespace sorvane
