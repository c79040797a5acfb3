#include "link/LinkTransport.h"

#include <algorithm>

#include "link/PortNames.h"

namespace sorvane {
namespace {

bool socketKind(uint32_t stored)
{
    switch (LinkKind(stored)) {
    case LinkKind::IrDA:
    case LinkKind::ActiveSync:
    case LinkKind::Wan:
    case LinkKind::Lan:
    case LinkKind::Proxy:
        return true;
    default:
        return false;
    }
}

// A stored kind value this program knows (0..6).
bool knownKind(uint32_t stored) { return stored <= uint32_t(LinkKind::Proxy); }

size_t recvSocket(LinkSlot& s, Clock& clock, std::span<uint8_t> buffer, uint32_t limitMs)
{
    const uint32_t start = clock.tickCount();
    size_t got = 0;
    uint32_t wouldBlocks = 0;
    while (got < buffer.size()) {
        IoResult r = s.transport->receive(buffer.subspan(got));
        if (r.status == IoStatus::Ok && r.bytes > 0) {
            got += r.bytes;
            wouldBlocks = 0;
            // The pause after progress only serves a read that still wants bytes, and it
            // ends as soon as they are there.
            if (got < buffer.size())
                clock.pauseForData(*s.transport, 1);
            continue;
        }
        if (r.status == IoStatus::PeerClosed) {
            s.closedByPeer.store(true);
            return 0;
        }
        if (r.status == IoStatus::Error)
            return 0;
        // Would-block (or an empty read, which a socket should not give).
        const uint32_t spent = clock.tickCount() - start;
        if (spent >= limitMs)
            break;
        clock.pauseForData(*s.transport, std::min<uint32_t>(10, limitMs - spent));
        if (++wouldBlocks >= kRecvWouldBlockLimit)
            break;
    }
    return got;
}

size_t recvSerial(LinkSlot& s, Clock& clock, std::span<uint8_t> buffer, uint32_t limitMs)
{
    const uint32_t start = clock.tickCount();
    auto late = [&] { return clock.tickCount() - start >= limitMs; };
    Transport& t = *s.transport;
    size_t got = 0;
    while (buffer.size() - got >= kSerialChunk && !late()) {
        IoResult r = t.receive(buffer.subspan(got, kSerialChunk));
        if (r.status != IoStatus::Ok) {
            t.clearError();
            break; // the remainder passes take over everything still wanted
        }
        if (r.bytes == 0)
            return got;
        got += r.bytes;
        clock.sleepMs(1);
    }
    while (got < buffer.size() && !late()) {
        IoResult r = t.receive(buffer.subspan(got));
        if (r.status != IoStatus::Ok) {
            t.clearError();
            return got;
        }
        if (r.bytes == 0)
            return got;
        got += r.bytes;
        clock.sleepMs(1);
    }
    return got;
}

size_t sendSocket(LinkSlot& s, Clock& clock, std::span<const uint8_t> data)
{
    size_t sent = 0;
    uint32_t refused = 0;
    while (sent < data.size()) {
        IoResult r = s.transport->send(data.subspan(sent));
        if (r.status == IoStatus::Ok && r.bytes > 0) {
            sent += r.bytes;
            refused = 0;
        } else if (r.status == IoStatus::Ok || r.status == IoStatus::WouldBlock) {
            clock.sleepMs(5);
            // A peer that never takes our bytes would hold this thread for good.
            if (++refused >= kSendWouldBlockLimit)
                return 0;
        } else {
            return 0;
        }
        // The pause between passes paces a send that did not go in one; once every byte
        // is with the socket it would only hold up the caller's next exchange.
        if (sent < data.size())
            clock.sleepMs(1);
    }
    return sent;
}

size_t sendSerial(LinkSlot& s, Clock& clock, std::span<const uint8_t> data)
{
    Transport& t = *s.transport;
    size_t sent = 0;
    uint32_t stalled = 0;
    while (sent < data.size()) {
        size_t left = data.size() - sent;
        IoResult r = t.send(data.subspan(sent, left >= kSerialChunk ? kSerialChunk : left));
        if (r.status != IoStatus::Ok) {
            t.clearError();
            return 0;
        }
        sent += r.bytes;
        clock.sleepMs(1);
        stalled = r.bytes == 0 ? stalled + 1 : 0;
        if (stalled >= kSendStallLimit)
            return 0;
    }
    return sent;
}

} // namespace

std::unique_ptr<Transport> OpenLinkTransport(TargetAddress& to, const LinkConfig& config, const LinkTarget& target,
                                             TransportFactory& factory)
{
    switch (LinkKind(target.kind)) {
    case LinkKind::IrDA:
        return factory.openIrda();
    case LinkKind::Serial:
        return factory.openSerial(devicePathForPort(config.comDevicePattern, target.port), SerialSetup::FullLine);
    case LinkKind::Usb:
        return factory.openSerial(devicePathForPort(config.usbDevicePattern, target.port), SerialSetup::RawOnly);
    case LinkKind::ActiveSync: {
        if (config.activeSyncCandidates.empty())
            return nullptr;
        unsigned index = to.activeSyncNext % config.activeSyncCandidates.size();
        to.activeSyncNext = (index + 1) % config.activeSyncCandidates.size();
        to.endpoint = {config.activeSyncCandidates[index], config.agentPort};
        return factory.openTcp();
    }
    case LinkKind::Wan:
    case LinkKind::Lan:
        to.endpoint = {target.address, config.agentPort};
        return factory.openTcp();
    default:
        return nullptr;
    }
}

size_t LinkRecv(LinkSlot& s, Clock& clock, std::span<uint8_t> buffer, uint32_t limitMs)
{
    if (!s.transport) {
        if (!socketKind(s.linkKind))
            clock.sleepMs(5);
        return 0;
    }
    size_t got = 0;
    if (s.transport->family() == Transport::Family::Socket)
        got = buffer.empty() ? 0 : recvSocket(s, clock, buffer, limitMs);
    else
        got = recvSerial(s, clock, buffer, limitMs);
    s.bytesReceived.fetch_add(uint32_t(got));
    return got;
}

void LinkAwaitReply(LinkSlot& s, Clock& clock, uint32_t ms)
{
    if (s.transport)
        clock.pauseForData(*s.transport, ms);
    else
        clock.sleepMs(ms);
}

size_t LinkSend(LinkSlot& s, Clock& clock, std::span<const uint8_t> data)
{
    if (data.empty())
        return 0;
    // The transport is read under the send mutex: a reconnect replaces it under it.
    std::lock_guard lock(s.sendMutex);
    if (!s.transport)
        return 0;
    size_t sent = s.transport->family() == Transport::Family::Socket ? sendSocket(s, clock, data)
                                                                     : sendSerial(s, clock, data);
    s.bytesSent.fetch_add(uint32_t(sent));
    return sent;
}

void ShutdownLinkTransport(LinkSlot& s)
{
    if (s.transport)
        s.transport->shutdown();
}

int CloseLinkTransport(LinkSlot& s)
{
    if (!s.transport || !knownKind(s.linkKind))
        return 0;
    bool ok = s.transport->close();
    const bool file = s.transport->family() == Transport::Family::File;
    s.transport.reset();
    return file && !ok ? 1 : 0;
}

} // namespace sorvane
