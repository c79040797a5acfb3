#include "connect/ProxyClient.h"

#include <array>

#include "link/LinkTransport.h"
#include "platform/ByteOrder.h"

namespace sorvane {
namespace {

// A connected socket on link, or false. The link is described by the profile first.
bool connectOnce(PendingLink& link, const Profile& profile, TransportFactory& factory)
{
    std::unique_ptr<SocketTransport> socket = factory.openTcp();
    if (!socket)
        return false;
    SocketTransport* raw = socket.get();
    link.attach(std::move(socket)); // watched from here, so a cancel cuts the wait short
    ConnectStatus c = raw->connect(Ipv4Endpoint{profile.ipAddress, uint16_t(profile.port)});
    if (c == ConnectStatus::InProgress)
        c = raw->waitConnected(kProxyConnectWaitMs);
    return c == ConnectStatus::Connected;
}

} // namespace

bool validProxyPort(uint32_t port) { return port >= 1 && port <= 65535; }

bool ProxyConnect(PendingLink& link, const Profile& profile, TransportFactory& factory)
{
    link.close();
    link.describe(profile);
    if (!validProxyPort(profile.port))
        return false;
    // A socket whose connect failed cannot be connected again here, so each attempt
    // takes a fresh one.
    for (int attempt = 0; attempt < kProxyConnectAttempts; ++attempt) {
        if (connectOnce(link, profile, factory))
            return true;
        link.close();
        link.describe(profile);
    }
    return false;
}

ProxyTable FetchProxyTable(Clock& clock, const Profile& profile, TransportFactory& factory, CancelToken* cancel)
{
    ProxyTable table;
    if (!validProxyPort(profile.port)) {
        table.status = ProxyTableStatus::BadPort;
        return table;
    }
    PendingLink link(clock, cancel);
    if (!ProxyConnect(link, profile, factory)) {
        table.status = ProxyTableStatus::Unreachable;
        return table;
    }
    const uint8_t request = kProxyTableRequest;
    uint8_t countBytes[4];
    if (LinkSend(link.slot(), link.clock(), {&request, 1}) != 1 ||
        LinkRecv(link.slot(), link.clock(), countBytes) != sizeof countBytes) {
        table.status = ProxyTableStatus::BadCount;
        return table;
    }
    const uint32_t count = loadLe32(countBytes);
    if (count < 1 || count > kProxyMaxRecords) {
        table.status = ProxyTableStatus::BadCount;
        return table;
    }
    std::vector<uint8_t> bytes(size_t(count) * LinkRecord::kSize);
    if (LinkRecv(link.slot(), link.clock(), bytes) != bytes.size()) {
        table.status = ProxyTableStatus::Short;
        return table;
    }
    for (uint32_t i = 0; i < count; ++i)
        table.records.push_back(
            LinkRecord::decode(std::span<const uint8_t, LinkRecord::kSize>(bytes.data() + i * LinkRecord::kSize,
                                                                            LinkRecord::kSize)));
    table.status = ProxyTableStatus::Ok;
    return table; // the link closes the table's connection
}

std::string proxyClientAddress(uint32_t w)
{
    // The word was read little-endian from bytes in network order: the first octet is
    // its lowest byte.
    return std::to_string(w & 0xFF) + "." + std::to_string((w >> 8) & 0xFF) + "." + std::to_string((w >> 16) & 0xFF) +
           "." + std::to_string(w >> 24);
}

std::vector<ProxyRow> proxyRows(const std::vector<LinkRecord>& records)
{
    std::vector<ProxyRow> rows;
    for (size_t i = 0; i < records.size(); ++i) {
        const LinkRecord& r = records[i];
        if (r.handle == 0 || r.deviceNameView().empty())
            continue;
        rows.push_back(ProxyRow{std::string(r.deviceNameView().substr(0, LinkRecord::kNameSize - 1)),
                                r.proxyWords[0] != 0 ? proxyClientAddress(r.ipAddress) : "Available",
                                uint32_t(i)});
    }
    return rows;
}

ProxyOpenStatus OpenProxyDevice(PendingLink& link, const Profile& profile, const LinkRecord& record, uint32_t index,
                                TransportFactory& factory, ProxyOpenDetail* detail)
{
    ProxyOpenDetail scratch;
    ProxyOpenDetail& d = detail ? *detail : scratch;
    d = ProxyOpenDetail{};
    if (!validProxyPort(profile.port))
        return ProxyOpenStatus::BadPort;
    if (!ProxyConnect(link, profile, factory))
        return ProxyOpenStatus::Unreachable;
    LinkSlot& s = link.slot();
    s.spareInfo = record.spareInfo;
    s.depth = record.depth;
    s.orientation = record.orientation;
    s.width = record.width;
    s.height = record.height;

    std::array<uint8_t, 5> open{kProxyOpenRequest};
    storeLe32(open.data() + 1, index);
    uint8_t answer = 0;
    d.answered = LinkSend(link.slot(), link.clock(), open) == open.size() &&
                 LinkRecv(link.slot(), link.clock(), {&answer, 1}) == 1;
    if (!d.answered && s.transport) {
        // A closed connection keeps reporting its close; a silent one reports nothing.
        uint8_t probe = 0;
        d.peerClosed = s.transport->receive({&probe, 1}).status == IoStatus::PeerClosed;
    }
    if (!d.answered || answer != kProxyGranted) {
        link.close();
        return ProxyOpenStatus::Refused;
    }
    // Proxy links never ask for a password.
    d.handshake = link.handshake(nullptr);
    if (d.handshake != HandshakeStatus::Passed) {
        link.close();
        return ProxyOpenStatus::HandshakeFailed;
    }
    return ProxyOpenStatus::Passed;
}

} // namespace sorvane
