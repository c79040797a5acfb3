#include "connect/ui/ConnectCommand.h"

#include "connect/ProfileInUse.h"
#include "connect/ui/MakeConnectionDialog.h"

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
    case LinkKind::Lan:
    case LinkKind::Proxy:
        if (context.kindFlows[kind])
            context.kindFlows[kind](profileIndex);
        else
            context.beep.beep();
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
        if (!p || !p->autoConnect || p->linkKind == uint32_t(LinkKind::Proxy) || p->linkKind > 6)
            continue;
        if (p->linkKind == uint32_t(LinkKind::Usb) && context.kindFlows[p->linkKind]) {
            context.kindFlows[p->linkKind](i);
            continue;
        }
        RunMakeConnectionDialog(owner, context, i);
    }
}

} // namespace sorvane
