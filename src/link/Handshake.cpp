#include "link/Handshake.h"

#include <array>
#include <vector>

#include "link/CommandPacket.h"
#include "link/DeviceInfoBlock.h"
#include "link/DisplayBounds.h"
#include "link/LinkTransport.h"
#include "link/Links.h"
#include "platform/ByteOrder.h"
#include "platform/LinkTarget.h"

namespace sorvane {
namespace {

bool supportedDepth(int32_t depth) { return depth == 2 || depth == 4 || depth == 8 || depth == 16; }

// Step 1: hello. 'a' passes; 'e' makes us read again while the answers stay 'e', and
// whatever comes after them goes on to the device information.
bool hello(LinkSlot& link, Clock& clock)
{
    SendCommand(link, clock, CmdHello);
    LinkAwaitReply(link, clock, 10);
    uint8_t reply = ReadReply(link, clock);
    if (reply == ReplyAccepted)
        return true;
    if (reply != ReplyNotYet)
        return false;
    // An agent that only ever says "not yet" would hold the connect flow for good;
    // give it as long as one silent receive would get.
    const uint32_t start = clock.tickCount();
    while (reply == ReplyNotYet) {
        if (clock.tickCount() - start >= kHelloNotYetLimitMs)
            return false;
        reply = ReadReply(link, clock);
    }
    return true;
}

// Step 5: the palette. For an accepted depth it lands in the link's own palette when
// it arrives whole. The handshake has already failed for other depths below 16; their
// palette is read (when it is of a sane size) and dropped, so the link stays in step.
void palette(LinkSlot& s, Clock& clock, bool accepted)
{
    SendCommand(s, clock, CmdPalette);
    LinkAwaitReply(s, clock, 20);
    uint8_t flag[4];
    if (LinkRecv(s, clock, flag) < 4 || loadLe32(flag) == 0)
        return;
    if (s.depth < 0)
        return;
    std::vector<uint8_t> bytes(size_t(4) << s.depth);
    if (LinkRecv(s, clock, bytes) < bytes.size())
        return;
    if (accepted && bytes.size() <= s.palette.size())
        std::copy(bytes.begin(), bytes.end(), s.palette.begin());
}

} // namespace

HandshakeStatus DeviceHandshake(LinkSlot& link, Clock& clock, HandshakeEnv& env)
{
    LinkSlot* s = &link;
    if (!s->transport)
        return HandshakeStatus::NoLink;

    if (!hello(link, clock))
        return HandshakeStatus::HelloRefused;

    SendCommand(link, clock, CmdDeviceInfo);
    LinkAwaitReply(link, clock, 10);
    std::array<uint8_t, DeviceInfoBlock::kSize> raw;
    if (LinkRecv(link, clock, raw) < raw.size())
        return HandshakeStatus::InfoShort;
    const DeviceInfoBlock info = DeviceInfoBlock::decode(raw);

    s->depth = info.depth;
    if (info.depth != 16 && env.lowColor)
        env.lowColor->store(0);

    const bool accepted = supportedDepth(info.depth);
    std::string name;
    if (accepted) {
        s->width = info.width;
        s->height = info.height;
        s->orientation = info.orientation;
        s->altDepth = info.altDepth;
        s->altWidth = info.altWidth;
        s->altHeight = info.altHeight;
        s->altOrientation = info.altOrientation;
        s->spareInfo = info.spareInfo;
        // A block that claims huge displays would make every picture and buffer of the
        // connection huge: refuse it before asking anything more of the device.
        if (!DisplayBoundsProblem(info.depth, info.width, info.height, info.altDepth, info.altWidth, info.altHeight)
                 .empty())
            return HandshakeStatus::DisplayTooLarge;
        name = std::string(info.nameView().substr(0, LinkRecord::kNameSize - 1));
        if (name.empty())
            name = kUnnamedDevice;
        if (env.admit && !env.admit(name))
            return HandshakeStatus::NotAdmitted;

        if (!info.passwordView().empty() && s->linkKind == uint32_t(LinkKind::Wan)) {
            env.passwords.setPasswordBytes(0, info.password);
            if (!env.prompt)
                return HandshakeStatus::PasswordRequired;
            if (env.prompt->askPassword(env.passwords, 0) != 1)
                return HandshakeStatus::PasswordCancelled;
        }
    }

    if (info.depth < 16)
        palette(link, clock, accepted);

    if (!accepted)
        return HandshakeStatus::UnsupportedDepth;

    s->resetCounters();
    if (env.buildFrameBuffers && !env.buildFrameBuffers(link))
        return HandshakeStatus::FrameBuffersFailed;
    s->deviceName = std::move(name);
    return HandshakeStatus::Passed;
}

ConnectOutcome ConnectLink(LinkSlot& link, Clock& clock, const Ipv4Endpoint& target, HandshakeEnv& env)
{
    LinkSlot* s = &link;
    if (!s->transport || s->transport->family() != Transport::Family::Socket)
        return {};
    const auto kind = LinkKind(s->linkKind);
    if (kind != LinkKind::IrDA && kind != LinkKind::ActiveSync && kind != LinkKind::Wan && kind != LinkKind::Lan)
        return {};
    auto& socket = static_cast<SocketTransport&>(*s->transport);

    bool connected = false;
    if (kind == LinkKind::IrDA) {
        // The first device in range that takes the service gets the handshake. An
        // IrDA socket has no use for the IPv4 target, so there is no fallback to it.
        for (uint32_t id : socket.irdaDevices()) {
            ConnectStatus c = socket.connectIrda(id, kIrdaServiceName);
            if (c == ConnectStatus::InProgress)
                c = socket.waitConnected(kConnectWaitMs);
            if (c == ConnectStatus::Connected) {
                connected = true;
                break;
            }
        }
    } else {
        ConnectStatus c = socket.connect(target);
        if (c == ConnectStatus::InProgress)
            c = socket.waitConnected(kConnectWaitMs);
        connected = c == ConnectStatus::Connected;
    }
    if (!connected)
        return {};
    HandshakeStatus h = DeviceHandshake(link, clock, env);
    return {h == HandshakeStatus::Passed ? LinkConnectStatus::Passed : LinkConnectStatus::HandshakeFailed, h};
}

} // namespace sorvane
