#include "WireRecords.h"

#include "platform/ByteOrder.h"

#include <zlib.h>

namespace sorvane::sim {

std::array<uint8_t, kCommandPacketSize> encodeCommandPacket(uint8_t code) { return {code, 0xFF, code, 0x11}; }

std::optional<uint8_t> decodeCommandPacket(std::span<const uint8_t, kCommandPacketSize> b)
{
    if (b[1] == 0xFF && b[3] == 0x11 && b[0] == b[2])
        return b[0];
    return std::nullopt;
}

std::array<uint8_t, kDeviceInfoBlockSize> encodeDeviceInfoBlock(const DeviceInfo& info)
{
    std::array<uint8_t, kDeviceInfoBlockSize> out{};
    uint8_t* p = out.data();
    storeLe32(p + 0, uint32_t(info.depth));
    storeLe32(p + 4, uint32_t(info.width));
    storeLe32(p + 8, uint32_t(info.height));
    storeLe32(p + 12, uint32_t(info.orientation));
    storeLe32(p + 16, uint32_t(info.altDepth));
    storeLe32(p + 20, uint32_t(info.altWidth));
    storeLe32(p + 24, uint32_t(info.altHeight));
    storeLe32(p + 28, uint32_t(info.altOrientation));
    storeLe32(p + 36, uint32_t(info.spareInfo));
    storeFixedString(std::span<uint8_t>(p + 44, 256), info.name);
    storeFixedString(std::span<uint8_t>(p + 300, 32), info.password);
    return out;
}

std::array<uint8_t, kScreenUpdateHeaderSize> encodeScreenUpdateHeader(const ScreenUpdateHeader& h)
{
    std::array<uint8_t, kScreenUpdateHeaderSize> out{};
    uint8_t* p = out.data();
    storeLe16(p + 0, h.headerLength);
    p[2] = h.flags;
    p[3] = h.reserved;
    storeLe32(p + 4, h.payloadLength);
    storeLe32(p + 8, h.checksum);
    storeLe16(p + 12, h.left);
    storeLe16(p + 14, h.top);
    storeLe16(p + 16, h.right);
    storeLe16(p + 18, h.bottom);
    return out;
}

uint32_t linkChecksum(std::span<const uint8_t> bytes)
{
    // zlib inverts the register on entry and on exit: entering with 0xFFFFFFFF starts
    // the register at 0, and inverting its result undoes the final inversion.
    uLong crc = 0xFFFFFFFFul;
    const uint8_t* p = bytes.data();
    size_t left = bytes.size();
    while (left > 0) {
        uInt chunk = left > 0x40000000u ? 0x40000000u : uInt(left);
        crc = crc32(crc, p, chunk);
        // Between chunks zlib's own inversions cancel out, so nothing to adjust.
        p += chunk;
        left -= chunk;
    }
    return bytes.empty() ? 0u : uint32_t(~crc);
}

} // namespace sorvane::sim
