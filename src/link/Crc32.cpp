#include "link/Crc32.h"

#include <bit>
#include <cstring>

namespace sorvane {
namespace {

uint32_t reverseBits(uint32_t v, int bits)
{
    uint32_t r = 0;
    for (int i = 0; i < bits; ++i)
        if (v & (1u << i))
            r |= 1u << (bits - 1 - i);
    return r;
}

uint32_t load32(const uint8_t* p)
{
    uint32_t v;
    std::memcpy(&v, p, 4);
    if constexpr (std::endian::native == std::endian::big)
        v = (v >> 24) | ((v >> 8) & 0xFF00) | ((v << 8) & 0xFF0000) | (v << 24);
    return v;
}

} // namespace

CrcTable::CrcTable()
{
    // The byte-wise table by bit reversal, as the agent's side builds it: reverse i,
    // run the polynomial over it from the top, reverse the register back.
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t reg = reverseBits(i, 8) << 24;
        for (int k = 0; k < 8; ++k)
            reg = (reg & 0x80000000u) ? (reg << 1) ^ 0x04C11DB7u : reg << 1;
        slices_[0][i] = reverseBits(reg, 32);
    }
    // Slice k gives the effect of a byte followed by k zero bytes.
    for (size_t k = 1; k < kSlices; ++k)
        for (size_t i = 0; i < 256; ++i) {
            uint32_t prev = slices_[k - 1][i];
            slices_[k][i] = (prev >> 8) ^ slices_[0][prev & 0xFF];
        }
}

uint32_t CrcTable::update(uint32_t reg, std::span<const uint8_t> bytes) const
{
    const uint8_t* p = bytes.data();
    size_t n = bytes.size();
    const auto& t = slices_;
    while (n >= 16) {
        uint32_t a = load32(p) ^ reg;
        uint32_t b = load32(p + 4);
        uint32_t c = load32(p + 8);
        uint32_t d = load32(p + 12);
        reg = t[15][a & 0xFF] ^ t[14][(a >> 8) & 0xFF] ^ t[13][(a >> 16) & 0xFF] ^ t[12][a >> 24]
            ^ t[11][b & 0xFF] ^ t[10][(b >> 8) & 0xFF] ^ t[9][(b >> 16) & 0xFF] ^ t[8][b >> 24]
            ^ t[7][c & 0xFF] ^ t[6][(c >> 8) & 0xFF] ^ t[5][(c >> 16) & 0xFF] ^ t[4][c >> 24]
            ^ t[3][d & 0xFF] ^ t[2][(d >> 8) & 0xFF] ^ t[1][(d >> 16) & 0xFF] ^ t[0][d >> 24];
        p += 16;
        n -= 16;
    }
    while (n--)
        reg = (reg >> 8) ^ t[0][(reg ^ *p++) & 0xFF];
    return reg;
}

CrcTable BuildCrcTable() { return CrcTable(); }

uint32_t Crc32(const CrcTable& table, std::span<const uint8_t> bytes) { return table.update(0, bytes); }

const CrcTable& sharedCrcTable()
{
    static const CrcTable table;
    return table;
}

uint32_t Crc32(std::span<const uint8_t> bytes) { return sharedCrcTable().update(0, bytes); }

} // namespace sorvane
