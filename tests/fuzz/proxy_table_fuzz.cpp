// A proxy server's answers over a connection: the device table, then the open
// request's answer and the device's handshake on a second connection. Every socket
// the flow opens reads on through the same input, handed out in pieces of varying
// size; the table and the rows made of it stay within their limits.

#include <cstdint>
#include <memory>

#include "fuzz_input.h"
#include "connect/PendingLink.h"
#include "connect/ProxyClient.h"

using namespace sorvane;

namespace {

class StreamFactory final : public TransportFactory {
public:
    explicit StreamFactory(fuzz::Input& in) : in_(in) {}
    std::unique_ptr<SocketTransport> openTcp() override { return std::make_unique<fuzz::InputTransport>(in_, 61); }
    std::unique_ptr<SocketTransport> openIrda() override { return nullptr; }
    std::unique_ptr<Transport> openSerial(const std::string&, SerialSetup) override { return nullptr; }

private:
    fuzz::Input& in_;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::Input in{data, size};
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
