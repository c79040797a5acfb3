#include "imaging/JpegIdct.h"

#include <algorithm>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace sorvane::jpeg {

namespace {

constexpr int kConstBits = 13;
constexpr int kPass1Bits = 2;

// The constants, scaled by 2^13.
constexpr int64_t k0_298631336 = 2446;
constexpr int64_t k0_390180644 = 3196;
constexpr int64_t k0_541196100 = 4433;
constexpr int64_t k0_765366865 = 6270;
constexpr int64_t k0_899976223 = 7373;
constexpr int64_t k1_175875602 = 9633;
constexpr int64_t k1_501321110 = 12299;
constexpr int64_t k1_847759065 = 15137;
constexpr int64_t k1_961570560 = 16069;
constexpr int64_t k2_053119869 = 16819;
constexpr int64_t k2_562915447 = 20995;
constexpr int64_t k3_072711026 = 25172;

constexpr int64_t descale(int64_t x, int n) { return (x + (int64_t(1) << (n - 1))) >> n; }

// The one-dimensional transform of eight inputs; returns the outputs before descaling
// in out[0..7]. Sixty-four-bit arithmetic keeps corrupt coefficients from overflowing.
inline void idct1d(int64_t i0, int64_t i1, int64_t i2, int64_t i3, int64_t i4, int64_t i5, int64_t i6,
                   int64_t i7, int64_t out[8])
{
    // Even part.
    int64_t z1 = (i2 + i6) * k0_541196100;
    int64_t tmp2 = z1 - i6 * k1_847759065;
    int64_t tmp3 = z1 + i2 * k0_765366865;
    int64_t tmp0 = (i0 + i4) * (int64_t(1) << kConstBits);
    int64_t tmp1 = (i0 - i4) * (int64_t(1) << kConstBits);
    int64_t tmp10 = tmp0 + tmp3;
    int64_t tmp13 = tmp0 - tmp3;
    int64_t tmp11 = tmp1 + tmp2;
    int64_t tmp12 = tmp1 - tmp2;

    // Odd part.
    tmp0 = i7;
    tmp1 = i5;
    tmp2 = i3;
    tmp3 = i1;
    z1 = tmp0 + tmp3;
    int64_t z2 = tmp1 + tmp2;
    int64_t z3 = tmp0 + tmp2;
    int64_t z4 = tmp1 + tmp3;
    int64_t z5 = (z3 + z4) * k1_175875602;
    tmp0 *= k0_298631336;
    tmp1 *= k2_053119869;
    tmp2 *= k3_072711026;
    tmp3 *= k1_501321110;
    z1 *= -k0_899976223;
    z2 *= -k2_562915447;
    z3 = z3 * -k1_961570560 + z5;
    z4 = z4 * -k0_390180644 + z5;
    tmp0 += z1 + z3;
    tmp1 += z2 + z4;
    tmp2 += z2 + z3;
    tmp3 += z1 + z4;

    out[0] = tmp10 + tmp3;
    out[7] = tmp10 - tmp3;
    out[1] = tmp11 + tmp2;
    out[6] = tmp11 - tmp2;
    out[2] = tmp12 + tmp1;
    out[5] = tmp12 - tmp1;
    out[3] = tmp13 + tmp0;
    out[4] = tmp13 - tmp0;
}

inline uint8_t clampSample(int64_t v) { return uint8_t(std::clamp<int64_t>(v + 128, 0, 255)); }

// Divisors above 32767 are limited to it (no valid coefficient survives such a
// divisor), and the product to the 16-bit range.
inline int64_t dequantize(int16_t c, uint16_t q)
{
    return std::clamp<int64_t>(int64_t(c) * std::min<int64_t>(q, 32767), -32768, 32767);
}

} // namespace

void inverseDctScalar(const int16_t* coefs, const uint16_t* quant, uint8_t* out, ptrdiff_t stride)
{
    int64_t work[64];
    int64_t r[8];

    // Pass 1: columns, keeping kPass1Bits extra bits.
    for (int c = 0; c < 8; ++c) {
        const int16_t* in = coefs + c;
        const uint16_t* q = quant + c;
        if (in[8] == 0 && in[16] == 0 && in[24] == 0 && in[32] == 0 && in[40] == 0 && in[48] == 0 &&
            in[56] == 0) {
            int64_t dc = std::clamp<int64_t>(dequantize(in[0], q[0]) * (1 << kPass1Bits), -32768, 32767);
            for (int k = 0; k < 8; ++k)
                work[k * 8 + c] = dc;
            continue;
        }
        idct1d(dequantize(in[0], q[0]), dequantize(in[8], q[8]), dequantize(in[16], q[16]),
               dequantize(in[24], q[24]), dequantize(in[32], q[32]), dequantize(in[40], q[40]),
               dequantize(in[48], q[48]), dequantize(in[56], q[56]), r);
        for (int k = 0; k < 8; ++k)
            work[k * 8 + c] = std::clamp<int64_t>(descale(r[k], kConstBits - kPass1Bits), -32768, 32767);
    }

    // Pass 2: rows, removing the extra bits and the factor 8 of the two passes.
    constexpr int shift = kConstBits + kPass1Bits + 3;
    for (int row = 0; row < 8; ++row) {
        const int64_t* w = work + row * 8;
        uint8_t* o = out + row * stride;
        if (w[1] == 0 && w[2] == 0 && w[3] == 0 && w[4] == 0 && w[5] == 0 && w[6] == 0 && w[7] == 0) {
            uint8_t v = clampSample(descale(w[0], kPass1Bits + 3));
            for (int k = 0; k < 8; ++k)
                o[k] = v;
            continue;
        }
        idct1d(w[0], w[1], w[2], w[3], w[4], w[5], w[6], w[7], r);
        for (int k = 0; k < 8; ++k)
            o[k] = clampSample(descale(r[k], shift));
    }
}

#if defined(__SSE2__)

namespace {

// Eight 32-bit lanes: the products of one vector of eight 16-bit lanes.
struct Wide {
    __m128i lo, hi;
};

inline Wide operator+(Wide a, Wide b) { return {_mm_add_epi32(a.lo, b.lo), _mm_add_epi32(a.hi, b.hi)}; }
inline Wide operator-(Wide a, Wide b) { return {_mm_sub_epi32(a.lo, b.lo), _mm_sub_epi32(a.hi, b.hi)}; }

inline __m128i pair(int16_t a, int16_t b) { return _mm_setr_epi16(a, b, a, b, a, b, a, b); }

// a * ka + b * kb in each lane, exactly, with the two constants in k = pair(ka, kb).
inline Wide madd(__m128i a, __m128i b, __m128i k)
{
    return {_mm_madd_epi16(_mm_unpacklo_epi16(a, b), k), _mm_madd_epi16(_mm_unpackhi_epi16(a, b), k)};
}

// The one-dimensional transform of idct1d() with its products regrouped into pairs
// of inputs (the integer results are the same): each vector holds one input for
// eight columns.
inline void idct8(const __m128i in[8], Wide out[8])
{
    const int16_t one = 1 << kConstBits;
    Wide tmp0 = madd(in[0], in[4], pair(one, one));
    Wide tmp1 = madd(in[0], in[4], pair(one, -one));
    Wide tmp2 = madd(in[2], in[6], pair(4433, 4433 - 15137));
    Wide tmp3 = madd(in[2], in[6], pair(4433 + 6270, 4433));
    Wide tmp10 = tmp0 + tmp3, tmp13 = tmp0 - tmp3, tmp11 = tmp1 + tmp2, tmp12 = tmp1 - tmp2;

    Wide t0 = madd(in[7], in[1], pair(-11363, 2260)) + madd(in[3], in[5], pair(-6436, 9633));
    Wide t1 = madd(in[7], in[1], pair(9633, 6437)) + madd(in[3], in[5], pair(-11362, 2261));
    Wide t2 = madd(in[7], in[1], pair(-6436, 9633)) + madd(in[3], in[5], pair(-2259, -11362));
    Wide t3 = madd(in[7], in[1], pair(2260, 11363)) + madd(in[3], in[5], pair(9633, 6437));

    out[0] = tmp10 + t3;
    out[7] = tmp10 - t3;
    out[1] = tmp11 + t2;
    out[6] = tmp11 - t2;
    out[2] = tmp12 + t1;
    out[5] = tmp12 - t1;
    out[3] = tmp13 + t0;
    out[4] = tmp13 - t0;
}

inline __m128i descaleNarrow(Wide w, __m128i bias, int shift)
{
    return _mm_packs_epi32(_mm_srai_epi32(_mm_add_epi32(w.lo, bias), shift),
                           _mm_srai_epi32(_mm_add_epi32(w.hi, bias), shift));
}

inline void transpose(__m128i r[8])
{
    __m128i a0 = _mm_unpacklo_epi16(r[0], r[1]), a1 = _mm_unpackhi_epi16(r[0], r[1]);
    __m128i a2 = _mm_unpacklo_epi16(r[2], r[3]), a3 = _mm_unpackhi_epi16(r[2], r[3]);
    __m128i a4 = _mm_unpacklo_epi16(r[4], r[5]), a5 = _mm_unpackhi_epi16(r[4], r[5]);
    __m128i a6 = _mm_unpacklo_epi16(r[6], r[7]), a7 = _mm_unpackhi_epi16(r[6], r[7]);
    __m128i b0 = _mm_unpacklo_epi32(a0, a2), b1 = _mm_unpackhi_epi32(a0, a2);
    __m128i b2 = _mm_unpacklo_epi32(a1, a3), b3 = _mm_unpackhi_epi32(a1, a3);
    __m128i b4 = _mm_unpacklo_epi32(a4, a6), b5 = _mm_unpackhi_epi32(a4, a6);
    __m128i b6 = _mm_unpacklo_epi32(a5, a7), b7 = _mm_unpackhi_epi32(a5, a7);
    r[0] = _mm_unpacklo_epi64(b0, b4);
    r[1] = _mm_unpackhi_epi64(b0, b4);
    r[2] = _mm_unpacklo_epi64(b1, b5);
    r[3] = _mm_unpackhi_epi64(b1, b5);
    r[4] = _mm_unpacklo_epi64(b2, b6);
    r[5] = _mm_unpackhi_epi64(b2, b6);
    r[6] = _mm_unpacklo_epi64(b3, b7);
    r[7] = _mm_unpackhi_epi64(b3, b7);
}

} // namespace

void inverseDct(const int16_t* coefs, const uint16_t* quant, uint8_t* out, ptrdiff_t stride)
{
    // Dequantize with the product saturated to 16 bits (divisors above 32767 are
    // limited too: no valid coefficient survives such a divisor).
    __m128i v[8];
    __m128i acOr = _mm_setzero_si128();
    const __m128i maxQ = _mm_set1_epi16(0x7FFF);
    for (int r = 0; r < 8; ++r) {
        __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(coefs + 8 * r));
        __m128i q = _mm_loadu_si128(reinterpret_cast<const __m128i*>(quant + 8 * r));
        // unsigned minimum via the sign bit: values >= 0x8000 become 0x7FFF
        q = _mm_or_si128(_mm_and_si128(q, maxQ), _mm_srai_epi16(q, 15));
        q = _mm_and_si128(q, maxQ);
        __m128i lo = _mm_mullo_epi16(c, q), hi = _mm_mulhi_epi16(c, q);
        v[r] = _mm_packs_epi32(_mm_unpacklo_epi16(lo, hi), _mm_unpackhi_epi16(lo, hi));
        if (r > 0)
            acOr = _mm_or_si128(acOr, v[r]);
    }
    acOr = _mm_or_si128(acOr, _mm_srli_si128(v[0], 2));
    if (_mm_movemask_epi8(_mm_cmpeq_epi8(acOr, _mm_setzero_si128())) == 0xFFFF) {
        // Only the DC coefficient: a flat block, as both passes would compute it.
        int dc = int16_t(_mm_cvtsi128_si32(v[0]));
        int pass1 = std::clamp(dc * (1 << kPass1Bits), -32768, 32767);
        int value = std::clamp((pass1 + 16) >> 5, -128, 127) + 128;
        for (int r = 0; r < 8; ++r)
            std::fill(out + r * stride, out + r * stride + 8, uint8_t(value));
        return;
    }
    Wide w[8];
    idct8(v, w);
    const __m128i bias1 = _mm_set1_epi32(1 << (kConstBits - kPass1Bits - 1));
    for (int r = 0; r < 8; ++r)
        v[r] = descaleNarrow(w[r], bias1, kConstBits - kPass1Bits);
    transpose(v);
    idct8(v, w);
    constexpr int shift = kConstBits + kPass1Bits + 3;
    const __m128i bias2 = _mm_set1_epi32((1 << (shift - 1)) + (128 << shift));
    for (int r = 0; r < 8; ++r)
        v[r] = descaleNarrow(w[r], bias2, shift);
    transpose(v);
    for (int r = 0; r < 8; r += 2) {
        __m128i bytes = _mm_packus_epi16(v[r], v[r + 1]);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + r * stride), bytes);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + (r + 1) * stride), _mm_srli_si128(bytes, 8));
    }
}

#else

void inverseDct(const int16_t* coefs, const uint16_t* quant, uint8_t* out, ptrdiff_t stride)
{
    inverseDctScalar(coefs, quant, out, stride);
}

#endif

} // namespace sorvane::jpeg
