#pragma once
// The step that makes a PendingLink whose handshake passed a live connection: the
// lowest free slot number, the pictures and the device window, in one step on the
// user-interface thread, so two attempts never share a slot. A link the program
// dialled comes with the way to dial it again (Dialer::relinker).
//
// Thread: user-interface thread.

#include <memory>
#include <optional>

#include "connect/ConnectContext.h"
#include "connect/Dialer.h"
#include "connect/PendingLink.h"
#include "view/Relink.h"
#include "view/ViewRecord.h"

namespace sorvane {

// Makes a passed PendingLink a live connection: the lowest free slot number, then
// ctx.openDeviceWindow(profileIndex, slot, link, view, relinker), which makes the
// connection (the link moves into it) and its window. Returns the slot, or nullopt when
// every slot is live or the pictures could not be made; the link is then closed.
// `relinker`: how to dial the link again should it drop (a link the program dialled:
// WAN, LAN, proxy), else null.
std::optional<int> InstallLink(ConnectContext& ctx, PendingLink& link, int profileIndex, const ViewStart& view,
                               std::shared_ptr<Relinker> relinker = nullptr);

// The program's dialer: its clock, link settings (ctx.linkConfig()) and transports.
Dialer ProgramDialer(const ConnectContext& ctx);

// The SSH route the dials of profile `profileIndex` take: its gateway, asking
// ctx.sshQuestions; nullopt when it has none or is neither a WAN nor a proxy profile.
std::optional<SshRoute> ProfileSshRoute(const ConnectContext& ctx, int profileIndex);

} // namespace sorvane
