#include "tools/DeviceRecords.h"

#include "platform/ByteOrder.h"

namespace sorvane {

void DeviceStatusRecord::encode(std::span<uint8_t, kSize> out) const
{
    uint8_t* p = out.data();
    const uint32_t words[] = {osMajor, osMinor, osBuild, programTotal, programFree,
                              unread20, unread24, storageTotal, storageFree, processorType};
    for (size_t i = 0; i < std::size(words); ++i)
        storeLe32(p + 4 * i, words[i]);
    p[40] = mainBattery;
    p[41] = backupBattery;
    p[42] = charging;
    p[43] = unread43;
    storeLe32(p + 44, memoryLoad);
}

DeviceStatusRecord DeviceStatusRecord::decode(std::span<const uint8_t, kSize> in)
{
    const uint8_t* p = in.data();
    DeviceStatusRecord r;
    r.osMajor = loadLe32(p);
    r.osMinor = loadLe32(p + 4);
    r.osBuild = loadLe32(p + 8);
    r.programTotal = loadLe32(p + 12);
    r.programFree = loadLe32(p + 16);
    r.unread20 = loadLe32(p + 20);
    r.unread24 = loadLe32(p + 24);
    r.storageTotal = loadLe32(p + 28);
    r.storageFree = loadLe32(p + 32);
    r.processorType = loadLe32(p + 36);
    r.mainBattery = p[40];
    r.backupBattery = p[41];
    r.charging = p[42];
    r.unread43 = p[43];
    r.memoryLoad = loadLe32(p + 44);
    return r;
}

void ProcessRecord::encode(std::span<uint8_t, kSize> out) const
{
    storeLe32(out.data(), processId);
    storeLe32(out.data() + 4, windowHandle);
    storeFixedString(out.subspan(8, kTextField), name);
    storeFixedString(out.subspan(8 + kTextField, kTextField), title);
}

ProcessRecord ProcessRecord::decode(std::span<const uint8_t, kSize> in)
{
    ProcessRecord r;
    r.processId = loadLe32(in.data());
    r.windowHandle = loadLe32(in.data() + 4);
    r.name = std::string(fixedString(in.subspan(8, kTextField)));
    r.title = std::string(fixedString(in.subspan(8 + kTextField, kTextField)));
    return r;
}

} // namespace sorvane
