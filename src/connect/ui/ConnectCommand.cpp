#include "connect/ui/ConnectCommand.h"

#include "connect/ProfileInUse.h"
#include "connect/ui/LanConnectDialog.h"
#include "connect/ui/MakeConnectionDialog.h"
#include "connect/ui/ProxyConnectDialog.h"
#include "connect/ui/UsbConnectDialog.h"

namespace sorvane {

void ConnectProfile(QWidget* owner, ConnectContext& context, int profileIndex)
{
    const Profile* p = context.profiles.get(profileIndex);
    if (!p)
        return;
    const uint32_t kind = p->linkKind;
    if (ProfileInUse(context.links, *p)) {
        context.messages.show(MessageRequest{kSingleInstanceText, std::string(linkKindName(kind)), MessageIcon::Stop,
                                             MessageButtons::Ok});
        return;
    }
    switch (LinkKind(kind)) {
    case LinkKind::Usb:
        RunUsbConnectDialog(owner, context, profileIndex);
        return;
    case LinkKind::Lan:
        RunLanConnectDialog(owner, context, profileIndex);
        return;
    case LinkKind::Proxy:
        RunProxyConnectDialog(owner, context, profileIndex);
        return;
    case LinkKind::IrDA:
    case LinkKind::Serial:
    case LinkKind::ActiveSync:
    case LinkKind::Wan:
        RunMakeConnectionDialog(owner, context, profileIndex);
        return;
    default:
        context.beep.beep();
        return;
    }
}

void AutoConnectProfiles(QWidget* owner, ConnectContext& context)
{
    for (int i = 0; i < context.profiles.ConnTypes(); ++i) {
        const Profile* p = context.profiles.get(i);
        if (!p || !p->autoConnect || p->linkKind == uint32_t(LinkKind::Proxy) || p->linkKind > uint32_t(LinkKind::Proxy))
            continue;
        // The timed dialog makes no USB attempts; a USB profile runs its discovery.
        if (p->linkKind == uint32_t(LinkKind::Usb)) {
            RunUsbConnectDialog(owner, context, i);
            continue;
        }
        RunMakeConnectionDialog(owner, context, i);
    }
}

} // namespace sorvane
