#include "screen/PredictedRows.h"

#include <bit>
#include <cstring>

#include "platform/ByteOrder.h"

#if defined(__x86_64__)
#include <immintrin.h>
#define SORVANE_WIDE_APPLY 1
#endif

namespace sorvane {

void XorBytes(uint8_t* dst, const uint8_t* src, size_t n)
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

namespace {

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

// Rows `upper` and `lower` = upper + 1, or `upper` alone when lower is -1.
inline RowPair rowPair(const PredictedRows& p, int lower, int upper)
{
    const int bottom = lower >= 0 ? lower : upper;
    return {lower >= 0 ? p.delta + size_t(lower) * p.deltaStride : nullptr,
            lower >= 0 ? p.target + size_t(lower) * p.targetStride : nullptr,
            p.rowXor && bottom + 1 < p.rows ? p.delta + size_t(bottom + 1) * p.deltaStride : nullptr,
            p.delta + size_t(upper) * p.deltaStride,
            p.target + size_t(upper) * p.targetStride,
            p.rowXor && upper > 0,
            p.rowXor,
            p.pixelXor};
}

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
    const RowPair r = rowPair(p, lower, upper);
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

// The same 32 bytes at a time with 256-bit registers, for processors without AVX-512.
// The leftmost block of a row that is not a multiple of 32 bytes goes through a buffer
// of 32 bytes, zero right of the row's bytes (zeros change no suffix XOR).
#define SORVANE_AVX2 __attribute__((target("avx2")))

bool avx2Available() { return __builtin_cpu_supports("avx2"); }

// The 64-bit words' lanes moved down by one word (`Words` = 1) or two, zeros coming in.
template <int Words>
SORVANE_AVX2 inline __m256i wordsDown(__m256i v)
{
    const __m256i high = _mm256_permute2x128_si256(v, v, 0x81); // the upper half, then zeros
    if constexpr (Words == 2)
        return high;
    else
        return _mm256_alignr_epi8(high, v, 8);
}

// As suffixXor above, for four 64-bit words.
template <int PixelBytes>
SORVANE_AVX2 inline __m256i suffixXor256(__m256i v, __m256i& total)
{
    if constexpr (PixelBytes == 1)
        v = _mm256_xor_si256(v, _mm256_srli_epi64(v, 8));
    v = _mm256_xor_si256(v, _mm256_srli_epi64(v, 16));
    v = _mm256_xor_si256(v, _mm256_srli_epi64(v, 32));
    const __m256i firstPixel =
        PixelBytes == 2 ? _mm256_set_epi32(0x09080908, 0x09080908, 0x01000100, 0x01000100, 0x09080908, 0x09080908,
                                           0x01000100, 0x01000100)
                        : _mm256_set_epi32(0x08080808, 0x08080808, 0, 0, 0x08080808, 0x08080808, 0, 0);
    const __m256i word = _mm256_shuffle_epi8(v, firstPixel);
    total = _mm256_xor_si256(word, wordsDown<1>(word));
    total = _mm256_xor_si256(total, wordsDown<2>(total));
    return _mm256_xor_si256(v, _mm256_xor_si256(total, word));
}

SORVANE_AVX2 inline __m256i load256(const uint8_t* p) { return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)); }
SORVANE_AVX2 inline void store256(uint8_t* p, __m256i v) { _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v); }

template <int PixelBytes>
SORVANE_AVX2 inline __m256i undoBlock256(__m256i decoded, bool pixelXor, __m256i& carry)
{
    if (!pixelXor)
        return decoded;
    if (_mm256_testz_si256(decoded, decoded))
        return carry;
    __m256i total;
    const __m256i undone = suffixXor256<PixelBytes>(decoded, total);
    const __m256i change = _mm256_xor_si256(undone, carry);
    carry = _mm256_xor_si256(carry, _mm256_broadcastq_epi64(_mm256_castsi256_si128(total)));
    return change;
}

template <bool Partial>
SORVANE_AVX2 inline __m256i loadBlock256(const uint8_t* p, size_t n)
{
    if constexpr (Partial) {
        alignas(32) uint8_t b[32] = {};
        std::memcpy(b, p, n);
        return load256(b);
    } else {
        return load256(p);
    }
}

template <bool Partial>
SORVANE_AVX2 inline void storeBlock256(uint8_t* p, size_t n, __m256i v)
{
    if constexpr (Partial) {
        alignas(32) uint8_t b[32];
        store256(b, v);
        std::memcpy(p, b, n);
    } else {
        store256(p, v);
    }
}

// The pair's blocks at byte `at`: 32 bytes, or the row's leftmost n < 32 when Partial.
template <int PixelBytes, bool Partial>
SORVANE_AVX2 inline void applyBlocks256(const RowPair& r, size_t at, size_t n, __m256i& lowerCarry, __m256i& carry)
{
    __m256i below = r.below ? loadBlock256<Partial>(r.below + at, n) : _mm256_setzero_si256();
    if (r.lowerDelta) {
        const __m256i change = _mm256_xor_si256(
            undoBlock256<PixelBytes>(loadBlock256<Partial>(r.lowerDelta + at, n), r.pixelXor, lowerCarry), below);
        storeBlock256<Partial>(r.lowerTarget + at, n,
                               _mm256_xor_si256(loadBlock256<Partial>(r.lowerTarget + at, n), change));
        below = r.rowXor ? change : _mm256_setzero_si256();
    }
    const __m256i change = _mm256_xor_si256(
        undoBlock256<PixelBytes>(loadBlock256<Partial>(r.delta + at, n), r.pixelXor, carry), below);
    if (r.keep)
        storeBlock256<Partial>(r.delta + at, n, change);
    storeBlock256<Partial>(r.target + at, n, _mm256_xor_si256(loadBlock256<Partial>(r.target + at, n), change));
}

template <int PixelBytes>
SORVANE_AVX2 void applyRows256(const PredictedRows& p, int lower, int upper)
{
    const size_t left = p.rowBytes % 32;
    const RowPair r = rowPair(p, lower, upper);
    __m256i lowerCarry = _mm256_setzero_si256(), carry = _mm256_setzero_si256();
    for (size_t at = p.rowBytes; at >= left + 32;) {
        at -= 32;
        applyBlocks256<PixelBytes, false>(r, at, 32, lowerCarry, carry);
    }
    if (left)
        applyBlocks256<PixelBytes, true>(r, 0, left, lowerCarry, carry);
}

template <int PixelBytes>
SORVANE_AVX2 void applyAvx2(const PredictedRows& p)
{
    int row = p.rows - 1;
    if (p.rows % 2)
        applyRows256<PixelBytes>(p, -1, row--);
    for (; row > 0; row -= 2)
        applyRows256<PixelBytes>(p, row, row - 1);
}
#if !defined(__clang__)
#pragma GCC diagnostic pop
#endif
#endif

void applyPortable(const PredictedRows& p)
{
    for (int row = p.rows - 1; row >= 0; --row) {
        uint8_t* d = p.delta + size_t(row) * p.deltaStride;
        if (p.rowXor && row + 1 < p.rows)
            XorBytes(d, d + p.deltaStride, p.rowBytes);
        uint8_t* target = p.target + size_t(row) * p.targetStride;
        if (p.pixelXor && p.pixelBytes == 2)
            suffixXorInto<2>(target, d, p.rowBytes);
        else if (p.pixelXor)
            suffixXorInto<1>(target, d, p.rowBytes);
        else
            XorBytes(target, d, p.rowBytes);
    }
}

} // namespace

bool predictionKernelsAvailable(PredictionKernels kernels)
{
#ifdef SORVANE_WIDE_APPLY
    static const bool avx2 = avx2Available(), avx512 = wideAvailable();
    if (kernels == PredictionKernels::Avx2)
        return avx2;
    if (kernels == PredictionKernels::Avx512)
        return avx512;
#endif
    return kernels == PredictionKernels::Portable;
}

bool ApplyPredictedRowsWith(PredictionKernels kernels, const PredictedRows& p)
{
    if (!predictionKernelsAvailable(kernels))
        return false;
#ifdef SORVANE_WIDE_APPLY
    if (kernels == PredictionKernels::Avx512) {
        p.pixelBytes == 2 ? applyWide<2>(p) : applyWide<1>(p);
        return true;
    }
    if (kernels == PredictionKernels::Avx2) {
        p.pixelBytes == 2 ? applyAvx2<2>(p) : applyAvx2<1>(p);
        return true;
    }
#endif
    applyPortable(p);
    return true;
}

void ApplyPredictedRows(const PredictedRows& p)
{
    static const PredictionKernels best = predictionKernelsAvailable(PredictionKernels::Avx512) ? PredictionKernels::Avx512
                                          : predictionKernelsAvailable(PredictionKernels::Avx2) ? PredictionKernels::Avx2
                                                                                                 : PredictionKernels::Portable;
    ApplyPredictedRowsWith(best, p);
}

} // namespace sorvane
