// What the connect flows take in from the network: LAN discovery replies (into the
// discovered-device table) and a proxy's device table (count, records, list rows).
// Input: byte 0 selects, the rest is the datagram or the proxy's answer.

#include <cstddef>
#include <cstdint>
#include <span>

#include "connect/LanDiscovery.h"
#include "connect/ProxyClient.h"
#include "platform/ByteOrder.h"

using namespace sorvane;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    std::span<const uint8_t> rest(data + 1, size - 1);
    if (data[0] & 1) {
        PasswordTable table;
        DiscoveredDevices devices(table);
        // The same datagram from many senders: the table fills and stops at its limit.
        for (uint32_t sender = 0; sender < 120; ++sender)
            if (auto d = decodeLanReply(rest, 0x7F000000 + sender))
                devices.append(*d);
        for (size_t i = 0; i < devices.count(); ++i)
            (void)devices.device(i).name.size();
        return 0;
    }
    if (rest.size() < 4)
        return 0;
    const uint32_t count = loadLe32(rest.data());
    if (count < 1 || count > kProxyMaxRecords || rest.size() - 4 < size_t(count) * LinkRecord::kSize)
        return 0;
    std::vector<LinkRecord> records;
    for (uint32_t i = 0; i < count; ++i)
        records.push_back(LinkRecord::decode(
            std::span<const uint8_t, LinkRecord::kSize>(rest.data() + 4 + i * LinkRecord::kSize, LinkRecord::kSize)));
    for (const ProxyRow& row : proxyRows(records))
        if (row.index >= records.size() || row.name.size() > 255)
            __builtin_trap();
    return 0;
}
