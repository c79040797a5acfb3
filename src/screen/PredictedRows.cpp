#include "screen/PredictedRows.h"

#include <bit>
#include <cstring>

#include "platform/ByteOrder.h"

#if defined(__x86_64__)
#include <immintrin.h>
#define SORVANE_WIDE_APPLY 1
#endif

namespace sorvane {
namespace {

void xorBytes(uint8_t* dst, const uint8_t* src, size_t n)
{
    size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        uint64_t a, b;
        std::memcpy(&a, dst + i, 8);
        std::memcpy(&b, src + i, 8);
        a ^= b;
        std::memcpy(dst + i, &a, 8);
    }
    for (; i < n; ++i)
        dst[i] ^= src[i];
}

// target ^= src with its horizontal prediction undone: pixel x becomes the XOR of
// pixels x..last of src. A 64-bit word of pixels at a time from the right; the
// carry (the undone pixel to the right of the word) is the only value passed from
// word to word, so the dependency between words is one XOR.
template <int PixelBytes>
void suffixXorInto(uint8_t* target, const uint8_t* src, size_t n)
{
    static_assert(std::endian::native == std::endian::little, "lane 0 of a word is its first pixel");
    constexpr size_t lanes = 8 / PixelBytes;
    constexpr uint64_t spread = PixelBytes == 2 ? 0x0001000100010001ull : 0x0101010101010101ull;
    constexpr uint64_t laneMask = PixelBytes == 2 ? 0xFFFF : 0xFF;
    size_t x = n / PixelBytes;
    uint64_t carry = 0;
    // The rightmost pixels that do not fill a word, one at a time.
    while (x % lanes) {
        --x;
        uint64_t v = (PixelBytes == 2 ? loadLe16(src + 2 * x) : src[x]) ^ carry;
        carry = v;
        if constexpr (PixelBytes == 2)
            storeLe16(target + 2 * x, uint16_t(loadLe16(target + 2 * x) ^ v));
        else
            target[x] ^= uint8_t(v);
    }
    while (x) {
        x -= lanes;
        uint64_t v, t;
        std::memcpy(&v, src + x * PixelBytes, 8);
        if constexpr (PixelBytes == 1)
            v ^= v >> 8;
        v ^= v >> 16;
        v ^= v >> 32;
        std::memcpy(&t, target + x * PixelBytes, 8);
        t ^= v ^ (carry * spread);
        std::memcpy(target + x * PixelBytes, &t, 8);
        carry ^= v & laneMask;
    }
}

#ifdef SORVANE_WIDE_APPLY
// 64 bytes at a time with 512-bit registers. The pass works on the decoded values as
// they are: a row's change is its own values, undone horizontally, XORed with the change
// of the row below, which the pass leaves in the delta row (where the row above reads
// it). Decoded screens are mostly zero there (runs of equal rows and pixels), and a block
// of zeros only repeats the pixel to its right.
#define SORVANE_AVX512 __attribute__((target("avx512f,avx512bw")))
// GCC 12 takes the intrinsics' deliberately undefined registers for uninitialised ones.
#if !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

bool wideAvailable() { return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw"); }

// Each pixel of the block XORed with every pixel right of it in the block: within each
// 64-bit word by shifts, then each word with the totals (first pixels) of the words
// right of it. `total`: the whole block's XOR, in every lane of its first word.
template <int PixelBytes>
SORVANE_AVX512 inline __m512i suffixXor(__m512i v, __m512i& total)
{
    const __m512i zero = _mm512_setzero_si512();
    if constexpr (PixelBytes == 1)
        v = _mm512_xor_si512(v, _mm512_srli_epi64(v, 8));
    v = _mm512_xor_si512(v, _mm512_srli_epi64(v, 16));
    v = _mm512_xor_si512(v, _mm512_srli_epi64(v, 32));
    const __m512i firstPixel = PixelBytes == 2 ? _mm512_set4_epi32(0x09080908, 0x09080908, 0x01000100, 0x01000100)
                                               : _mm512_set4_epi32(0x08080808, 0x08080808, 0, 0);
    const __m512i word = _mm512_shuffle_epi8(v, firstPixel);
    // The words' totals XORed from each word to the right end, then without the word's own.
    total = _mm512_xor_si512(word, _mm512_alignr_epi64(zero, word, 1));
    total = _mm512_xor_si512(total, _mm512_alignr_epi64(zero, total, 2));
    total = _mm512_xor_si512(total, _mm512_alignr_epi64(zero, total, 4));
    return _mm512_ternarylogic_epi64(v, total, word, 0x96);
}

template <bool Masked>
SORVANE_AVX512 inline __m512i loadBlock(const uint8_t* p, __mmask64 mask)
{
    if constexpr (Masked)
        return _mm512_maskz_loadu_epi8(mask, p);
    else
        return _mm512_loadu_si512(p);
}

template <bool Masked>
SORVANE_AVX512 inline void storeBlock(uint8_t* p, __mmask64 mask, __m512i v)
{
    if constexpr (Masked)
        _mm512_mask_storeu_epi8(p, mask, v);
    else
        _mm512_storeu_si512(p, v);
}

// A block's change from its decoded values, before the row below is XORed in. carry:
// the change of the pixel right of the block, in every lane.
template <int PixelBytes>
SORVANE_AVX512 inline __m512i undoBlock(__m512i decoded, bool pixelXor, __m512i& carry)
{
    if (!pixelXor)
        return decoded;
    if (!_mm512_test_epi64_mask(decoded, decoded))
        return carry;
    __m512i total;
    const __m512i undone = suffixXor<PixelBytes>(decoded, total);
    const __m512i change = _mm512_xor_si512(undone, carry);
    carry = _mm512_xor_si512(carry, _mm512_broadcastq_epi64(_mm512_castsi512_si128(total)));
    return change;
}

// Two rows at a time where there are two: the lower row's change goes to the upper row
// in a register.
struct RowPair {
    uint8_t* lowerDelta; // null: the upper row alone
    uint8_t* lowerTarget;
    const uint8_t* below; // the change of the row below the pair, or null
    uint8_t* delta;       // the upper row
    uint8_t* target;
    bool keep; // the row above reads the upper row's change
    bool rowXor, pixelXor;
};

// The pair's blocks at byte `at`; `mask` selects their bytes when Masked (the leftmost
// block of a row that is not a multiple of 64 bytes).
template <int PixelBytes, bool Masked>
SORVANE_AVX512 inline void applyBlocks(const RowPair& r, size_t at, __mmask64 mask, __m512i& lowerCarry,
                                       __m512i& carry)
{
    __m512i below = r.below ? loadBlock<Masked>(r.below + at, mask) : _mm512_setzero_si512();
    if (r.lowerDelta) {
        const __m512i change =
            _mm512_xor_si512(undoBlock<PixelBytes>(loadBlock<Masked>(r.lowerDelta + at, mask), r.pixelXor, lowerCarry),
                             below);
        storeBlock<Masked>(r.lowerTarget + at, mask,
                           _mm512_xor_si512(loadBlock<Masked>(r.lowerTarget + at, mask), change));
        below = r.rowXor ? change : _mm512_setzero_si512();
    }
    const __m512i change =
        _mm512_xor_si512(undoBlock<PixelBytes>(loadBlock<Masked>(r.delta + at, mask), r.pixelXor, carry), below);
    if (r.keep)
        storeBlock<Masked>(r.delta + at, mask, change);
    storeBlock<Masked>(r.target + at, mask, _mm512_xor_si512(loadBlock<Masked>(r.target + at, mask), change));
}

// Rows `upper` and `lower` = upper + 1, or `upper` alone when lower is -1.
template <int PixelBytes>
SORVANE_AVX512 void applyRows(const PredictedRows& p, int lower, int upper)
{
    const size_t left = p.rowBytes % 64;
    const __mmask64 leftMask = left ? (~0ull >> (64 - left)) : 0;
    const int bottom = lower >= 0 ? lower : upper;
    const RowPair r{lower >= 0 ? p.delta + size_t(lower) * p.deltaStride : nullptr,
                    lower >= 0 ? p.target + size_t(lower) * p.targetStride : nullptr,
                    p.rowXor && bottom + 1 < p.rows ? p.delta + size_t(bottom + 1) * p.deltaStride : nullptr,
                    p.delta + size_t(upper) * p.deltaStride,
                    p.target + size_t(upper) * p.targetStride,
                    p.rowXor && upper > 0,
                    p.rowXor,
                    p.pixelXor};
    __m512i lowerCarry = _mm512_setzero_si512(), carry = _mm512_setzero_si512();
    for (size_t at = p.rowBytes; at >= left + 64;) {
        at -= 64;
        applyBlocks<PixelBytes, false>(r, at, 0, lowerCarry, carry);
    }
    if (left)
        applyBlocks<PixelBytes, true>(r, 0, leftMask, lowerCarry, carry);
}

template <int PixelBytes>
SORVANE_AVX512 void applyWide(const PredictedRows& p)
{
    int row = p.rows - 1;
    if (p.rows % 2)
        applyRows<PixelBytes>(p, -1, row--);
    for (; row > 0; row -= 2)
        applyRows<PixelBytes>(p, row, row - 1);
}
#if !defined(__clang__)
#pragma GCC diagnostic pop
#endif
#endif

} // namespace

void ApplyPredictedRowsPortable(const PredictedRows& p)
{
    for (int row = p.rows - 1; row >= 0; --row) {
        uint8_t* d = p.delta + size_t(row) * p.deltaStride;
        if (p.rowXor && row + 1 < p.rows)
            xorBytes(d, d + p.deltaStride, p.rowBytes);
        uint8_t* target = p.target + size_t(row) * p.targetStride;
        if (p.pixelXor && p.pixelBytes == 2)
            suffixXorInto<2>(target, d, p.rowBytes);
        else if (p.pixelXor)
            suffixXorInto<1>(target, d, p.rowBytes);
        else
            xorBytes(target, d, p.rowBytes);
    }
}

void ApplyPredictedRows(const PredictedRows& p)
{
#ifdef SORVANE_WIDE_APPLY
    static const bool wide = wideAvailable();
    if (wide) {
        if (p.pixelBytes == 2)
            applyWide<2>(p);
        else
            applyWide<1>(p);
        return;
    }
#endif
    ApplyPredictedRowsPortable(p);
}

} // namespace sorvane
