// A proxy server's answers over a connection: the device table, then the open
// request's answer and the device's handshake on a second connection. Every socket
// the flow opens reads on through the same input, handed out in pieces of varying
// size; the table and the rows made of it stay within their limits.

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>

#include "connect/PendingLink.h"
#include "connect/ProxyClient.h"

using namespace sorvane;

namespace {

struct Input {
    const uint8_t* data;
    size_t size;
    size_t at = 0;
};

class StreamSocket final : public SocketTransport {
public:
    explicit StreamSocket(Input& in) : in_(in) {}
    IoResult receive(std::span<uint8_t> buffer) override
    {
        if (in_.at >= in_.size)
            return {IoStatus::PeerClosed, 0};
        size_t n = std::min({buffer.size(), size_t(1) + in_.data[in_.at] % 61, in_.size - in_.at});
        std::memcpy(buffer.data(), in_.data + in_.at, n);
        in_.at += n;
        return {IoStatus::Ok, n};
    }
    IoResult send(std::span<const uint8_t> d) override { return {IoStatus::Ok, d.size()}; }
    void shutdown() override {}
    bool close() override { return true; }
    ConnectStatus connect(const Ipv4Endpoint&) override { return ConnectStatus::Connected; }
    ConnectStatus waitConnected(uint32_t) override { return ConnectStatus::Connected; }

private:
    Input& in_;
};

class StreamFactory final : public TransportFactory {
public:
    explicit StreamFactory(Input& in) : in_(in) {}
    std::unique_ptr<SocketTransport> openTcp() override { return std::make_unique<StreamSocket>(in_); }
    std::unique_ptr<SocketTransport> openIrda() override { return nullptr; }
    std::unique_ptr<Transport> openSerial(const std::string&, SerialSetup) override { return nullptr; }

private:
    Input& in_;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Input in{data, size};
    StreamFactory factory(in);
    ManualClock clock;
    Profile profile;
    profile.linkKind = uint32_t(LinkKind::Proxy);
    profile.ipAddress = 0x7F000001;
    profile.port = 1234;
    ProxyTable table = FetchProxyTable(clock, profile, factory);
    if (table.status != ProxyTableStatus::Ok)
        return 0;
    if (table.records.empty() || table.records.size() > kProxyMaxRecords)
        __builtin_trap();
    const std::vector<ProxyRow> rows = proxyRows(table.records);
    for (const ProxyRow& row : rows)
        if (row.index >= table.records.size() || row.name.empty() || row.name.size() > 255)
            __builtin_trap();
    if (rows.empty())
        return 0;
    PendingLink link(clock);
    ProxyOpenDetail detail;
    const ProxyOpenStatus status =
        OpenProxyDevice(link, profile, table.records[rows[0].index], rows[0].index, factory, &detail);
    if ((status == ProxyOpenStatus::Passed) != link.passed())
        __builtin_trap();
    return 0;
}
