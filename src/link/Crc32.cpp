#include "link/Crc32.h"

#include <bit>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define SORVANE_CRC_FOLDING 1
#endif

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

// Eight bytes as a little-endian number: byte 0 in the low bits.
uint64_t load64(const uint8_t* p)
{
    uint64_t v;
    std::memcpy(&v, p, 8);
    if constexpr (std::endian::native == std::endian::big)
        v = __builtin_bswap64(v);
    return v;
}

#ifdef SORVANE_CRC_FOLDING

bool foldingAvailable()
{
    return __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
}

// Folds 64 bytes at a time with carry-less multiplication, then reduces to 32 bits
// (the technique of Gopal et al., "Fast CRC Computation for Generic Polynomials Using
// PCLMULQDQ"). The constants are powers of x modulo the reflected polynomial. Takes
// and gives the plain register; len is at least 64 and a multiple of 16.
#define SORVANE_CLMUL __attribute__((target("pclmul,sse4.1")))

SORVANE_CLMUL inline __m128i load(const uint8_t* at) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at)); }

// x times the two halves of k, both products added to next.
SORVANE_CLMUL inline __m128i fold(__m128i x, __m128i k, __m128i next)
{
    __m128i lo = _mm_clmulepi64_si128(x, k, 0x00);
    __m128i hi = _mm_clmulepi64_si128(x, k, 0x11);
    return _mm_xor_si128(_mm_xor_si128(hi, lo), next);
}

SORVANE_CLMUL uint32_t foldCrc(uint32_t reg, const uint8_t* p, size_t len)
{
    alignas(16) static const uint64_t k1k2[2] = {0x0154442bd4, 0x01c6e41596};
    alignas(16) static const uint64_t k3k4[2] = {0x01751997d0, 0x00ccaa009e};
    alignas(16) static const uint64_t k5k0[2] = {0x0163cd6124, 0x0000000000};
    alignas(16) static const uint64_t poly[2] = {0x01db710641, 0x01f7011641};
    __m128i x1 = _mm_xor_si128(load(p), _mm_cvtsi32_si128(int(reg)));
    __m128i x2 = load(p + 16);
    __m128i x3 = load(p + 32);
    __m128i x4 = load(p + 48);
    p += 64;
    len -= 64;
    __m128i k = _mm_load_si128(reinterpret_cast<const __m128i*>(k1k2));
    while (len >= 64) {
        x1 = fold(x1, k, load(p));
        x2 = fold(x2, k, load(p + 16));
        x3 = fold(x3, k, load(p + 32));
        x4 = fold(x4, k, load(p + 48));
        p += 64;
        len -= 64;
    }
    k = _mm_load_si128(reinterpret_cast<const __m128i*>(k3k4));
    x1 = fold(x1, k, x2);
    x1 = fold(x1, k, x3);
    x1 = fold(x1, k, x4);
    while (len >= 16) {
        x1 = fold(x1, k, load(p));
        p += 16;
        len -= 16;
    }
    // 128 bits to 64.
    __m128i x = _mm_clmulepi64_si128(x1, k, 0x10);
    const __m128i low32 = _mm_setr_epi32(~0, 0, ~0, 0);
    x1 = _mm_xor_si128(_mm_srli_si128(x1, 8), x);
    k = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(k5k0));
    x = _mm_srli_si128(x1, 4);
    x1 = _mm_xor_si128(_mm_clmulepi64_si128(_mm_and_si128(x1, low32), k, 0x00), x);
    // Barrett reduction to 32 bits.
    k = _mm_load_si128(reinterpret_cast<const __m128i*>(poly));
    x = _mm_clmulepi64_si128(_mm_and_si128(x1, low32), k, 0x10);
    x = _mm_clmulepi64_si128(_mm_and_si128(x, low32), k, 0x00);
    x1 = _mm_xor_si128(x1, x);
    return uint32_t(_mm_extract_epi32(x1, 1));
}

#else

bool foldingAvailable() { return false; }
uint32_t foldCrc(uint32_t reg, const uint8_t*, size_t) { return reg; }

#endif

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
    folding_ = foldingAvailable();
}

uint32_t CrcTable::update(uint32_t reg, std::span<const uint8_t> bytes) const
{
    if (folding_ && bytes.size() >= kFoldMinimum) {
        const size_t folded = bytes.size() & ~size_t(15);
        reg = foldCrc(reg, bytes.data(), folded);
        bytes = bytes.subspan(folded);
    }
    return updateByTables(reg, bytes);
}

uint32_t CrcTable::updateByTables(uint32_t reg, std::span<const uint8_t> bytes) const
{
    const uint8_t* p = bytes.data();
    size_t n = bytes.size();
    const auto& t = slices_;
    // Sixteen bytes per step: byte k of the block goes through the table of a byte
    // followed by 15 - k zero bytes.
    while (n >= 16) {
        const uint64_t a = load64(p) ^ reg;
        const uint64_t b = load64(p + 8);
        reg = t[15][a & 0xFF] ^ t[14][(a >> 8) & 0xFF] ^ t[13][(a >> 16) & 0xFF] ^ t[12][(a >> 24) & 0xFF]
            ^ t[11][(a >> 32) & 0xFF] ^ t[10][(a >> 40) & 0xFF] ^ t[9][(a >> 48) & 0xFF] ^ t[8][a >> 56]
            ^ t[7][b & 0xFF] ^ t[6][(b >> 8) & 0xFF] ^ t[5][(b >> 16) & 0xFF] ^ t[4][(b >> 24) & 0xFF]
            ^ t[3][(b >> 32) & 0xFF] ^ t[2][(b >> 40) & 0xFF] ^ t[1][(b >> 48) & 0xFF] ^ t[0][b >> 56];
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
