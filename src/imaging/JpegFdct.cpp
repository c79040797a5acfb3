#include "imaging/JpegFdct.h"

#include "imaging/JpegTables.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(SORVANE_JPEG_AVX2)
#include <immintrin.h>
#endif

namespace sorvane::jpeg {

namespace {

// The transform leaves coefficient (u, v) multiplied by 8 * s[u] * s[v].
double aanScale(int k) { return k == 0 ? 1.0 : std::cos(k * M_PI / 16.0) * std::sqrt(2.0); }

// The coefficients come out transposed (the horizontal frequency selects the row).
// index[k] is the place of the k-th coefficient in zigzag order in that layout;
// zigzagBits[i][b] turns byte i of a mask over that layout into a zigzag-order mask.
struct CoefficientLayout {
    uint8_t index[64];
    uint64_t zigzagBits[8][256];
    CoefficientLayout()
    {
        uint8_t zigzagOf[64];
        for (int k = 0; k < 64; ++k) {
            int n = kZigzag[size_t(k)];
            index[k] = uint8_t((n % 8) * 8 + n / 8);
            zigzagOf[index[k]] = uint8_t(k);
        }
        for (int i = 0; i < 8; ++i)
            for (int b = 0; b < 256; ++b) {
                uint64_t m = 0;
                for (int j = 0; j < 8; ++j)
                    if (b & (1 << j))
                        m |= uint64_t(1) << zigzagOf[8 * i + j];
                zigzagBits[i][b] = m;
            }
    }
};

const CoefficientLayout& layout()
{
    static const CoefficientLayout t;
    return t;
}

inline uint64_t zigzagMask(uint64_t natural)
{
    const CoefficientLayout& l = layout();
    uint64_t m = 0;
    for (int i = 0; i < 8; ++i)
        m |= l.zigzagBits[i][(natural >> (8 * i)) & 0xFF];
    return m & ~uint64_t(1);
}

constexpr float kC4 = 0.707106781f; // cos(4 pi / 16)
constexpr float kC6 = 0.382683433f; // cos(6 pi / 16)
constexpr float kC2mC6 = 0.541196100f;
constexpr float kC2pC6 = 1.306562965f;

// One-dimensional transform of eight rows of lanes; T is float or a SIMD vector
// (whose lanes each see exactly the operations a float would).
template <typename T>
[[gnu::always_inline]] inline void fdct8(T* d)
{
    T tmp0 = d[0] + d[7], tmp7 = d[0] - d[7];
    T tmp1 = d[1] + d[6], tmp6 = d[1] - d[6];
    T tmp2 = d[2] + d[5], tmp5 = d[2] - d[5];
    T tmp3 = d[3] + d[4], tmp4 = d[3] - d[4];

    T tmp10 = tmp0 + tmp3, tmp13 = tmp0 - tmp3;
    T tmp11 = tmp1 + tmp2, tmp12 = tmp1 - tmp2;
    d[0] = tmp10 + tmp11;
    d[4] = tmp10 - tmp11;
    T z1 = (tmp12 + tmp13) * kC4;
    d[2] = tmp13 + z1;
    d[6] = tmp13 - z1;

    tmp10 = tmp4 + tmp5;
    tmp11 = tmp5 + tmp6;
    tmp12 = tmp6 + tmp7;
    T z5 = (tmp10 - tmp12) * kC6;
    T z2 = tmp10 * kC2mC6 + z5;
    T z4 = tmp12 * kC2pC6 + z5;
    T z3 = tmp11 * kC4;
    T z11 = tmp7 + z3, z13 = tmp7 - z3;
    d[5] = z13 + z2;
    d[3] = z13 - z2;
    d[1] = z11 + z4;
    d[7] = z11 - z4;
}

} // namespace

const uint8_t* coefficientOrder() { return layout().index; }

QuantDivisors::QuantDivisors(const uint8_t* quant)
{
    static const auto scale = [] {
        std::array<double, 8> s{};
        for (int k = 0; k < 8; ++k)
            s[size_t(k)] = aanScale(k);
        return s;
    }();
    for (int u = 0; u < 8; ++u)
        for (int v = 0; v < 8; ++v)
            recip[v * 8 + u] = float(1.0 / (double(quant[u * 8 + v]) * scale[size_t(u)] * scale[size_t(v)] * 8.0));
}

#if defined(__SSE2__)

namespace {

inline void transpose4(__m128& a, __m128& b, __m128& c, __m128& d) { _MM_TRANSPOSE4_PS(a, b, c, d); }

// The magnitude categories of eight coefficients as 16-bit lanes: the exponent of
// each absolute value converted to float (exact below 2^24), less 126; 0 stays 0.
inline __m128i categories(__m128i v)
{
    const __m128i zero = _mm_setzero_si128();
    const __m128i a = _mm_max_epi16(v, _mm_sub_epi16(zero, v)); // -32768 stays 0x8000: 32768 unsigned
    __m128i lo = _mm_srli_epi32(_mm_castps_si128(_mm_cvtepi32_ps(_mm_unpacklo_epi16(a, zero))), 23);
    __m128i hi = _mm_srli_epi32(_mm_castps_si128(_mm_cvtepi32_ps(_mm_unpackhi_epi16(a, zero))), 23);
    return _mm_subs_epu16(_mm_packs_epi32(lo, hi), _mm_set1_epi16(126));
}

} // namespace

uint64_t forwardDctQuantize(const float* in, ptrdiff_t stride, const QuantDivisors& q, QuantizedBlock& out)
{
    int16_t* coef = out.value;
    __m128 lo[8], hi[8];
    for (int r = 0; r < 8; ++r) {
        lo[r] = _mm_loadu_ps(in + r * stride);
        hi[r] = _mm_loadu_ps(in + r * stride + 4);
    }
    // Columns: each lane is one column.
    fdct8(lo);
    fdct8(hi);
    // Transpose: rows become lanes.
    __m128 tlo[8], thi[8];
    transpose4(lo[0], lo[1], lo[2], lo[3]);
    transpose4(hi[0], hi[1], hi[2], hi[3]);
    transpose4(lo[4], lo[5], lo[6], lo[7]);
    transpose4(hi[4], hi[5], hi[6], hi[7]);
    for (int i = 0; i < 4; ++i) {
        tlo[i] = lo[i];
        thi[i] = lo[i + 4];
        tlo[i + 4] = hi[i];
        thi[i + 4] = hi[i + 4];
    }
    fdct8(tlo);
    fdct8(thi);
    // Now row v, lane u holds coefficient (u, v): quantize, round, narrow.
    uint64_t natural = 0;
    const __m128i zero = _mm_setzero_si128();
    for (int v = 0; v < 8; v += 2) {
        __m128i a = _mm_cvtps_epi32(_mm_mul_ps(tlo[v], _mm_load_ps(q.recip + v * 8)));
        __m128i b = _mm_cvtps_epi32(_mm_mul_ps(thi[v], _mm_load_ps(q.recip + v * 8 + 4)));
        __m128i c = _mm_cvtps_epi32(_mm_mul_ps(tlo[v + 1], _mm_load_ps(q.recip + v * 8 + 8)));
        __m128i d = _mm_cvtps_epi32(_mm_mul_ps(thi[v + 1], _mm_load_ps(q.recip + v * 8 + 12)));
        __m128i r0 = _mm_packs_epi32(a, b), r1 = _mm_packs_epi32(c, d);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(coef + v * 8), r0);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(coef + v * 8 + 8), r1);
        const __m128i bits = _mm_packus_epi16(categories(r0), categories(r1));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out.bits + v * 8), bits);
        __m128i isZero = _mm_packs_epi16(_mm_cmpeq_epi16(r0, zero), _mm_cmpeq_epi16(r1, zero));
        natural |= uint64_t(~uint32_t(_mm_movemask_epi8(isZero)) & 0xFFFFu) << (8 * v);
    }
    return zigzagMask(natural);
}

#else

uint64_t forwardDctQuantize(const float* in, ptrdiff_t stride, const QuantDivisors& q, QuantizedBlock& out)
{
    int16_t* coef = out.value;
    float work[64];
    float col[8];
    for (int c = 0; c < 8; ++c) {
        for (int r = 0; r < 8; ++r)
            col[r] = in[r * stride + c];
        fdct8(col);
        for (int u = 0; u < 8; ++u)
            work[c * 8 + u] = col[u]; // row c of work: column c's frequencies
    }
    uint64_t natural = 0;
    for (int u = 0; u < 8; ++u) {
        for (int c = 0; c < 8; ++c)
            col[c] = work[c * 8 + u];
        fdct8(col);
        for (int v = 0; v < 8; ++v) {
            coef[v * 8 + u] = int16_t(std::clamp(std::lrint(col[v] * q.recip[v * 8 + u]), -32768L, 32767L));
            natural |= uint64_t(coef[v * 8 + u] != 0) << (v * 8 + u);
            const int a = coef[v * 8 + u] < 0 ? -coef[v * 8 + u] : coef[v * 8 + u];
            out.bits[v * 8 + u] = uint8_t(a ? 32 - std::countl_zero(uint32_t(a)) : 0);
        }
    }
    return zigzagMask(natural);
}

#endif

#if defined(SORVANE_JPEG_AVX2)

namespace {

// The magnitude categories of sixteen coefficients as 16-bit lanes: the exponent of
// each absolute value converted to float (exact below 2^24), less 126; 0 stays 0.
SORVANE_TARGET_AVX2 inline __m256i categoriesAvx2(__m256i v)
{
    const __m256i zero = _mm256_setzero_si256();
    const __m256i a = _mm256_abs_epi16(v); // -32768 stays 0x8000: 32768 unsigned
    __m256i lo = _mm256_srli_epi32(_mm256_castps_si256(_mm256_cvtepi32_ps(_mm256_unpacklo_epi16(a, zero))), 23);
    __m256i hi = _mm256_srli_epi32(_mm256_castps_si256(_mm256_cvtepi32_ps(_mm256_unpackhi_epi16(a, zero))), 23);
    return _mm256_subs_epu16(_mm256_packs_epi32(lo, hi), _mm256_set1_epi16(126));
}

} // namespace

SORVANE_TARGET_AVX2 uint64_t forwardDctQuantizeAvx2(const float* in, ptrdiff_t stride, const QuantDivisors& q,
                                                    QuantizedBlock& out)
{
    int16_t* coef = out.value;
    // Columns: row r of the block in r[r], each lane one column.
    __m256 r[8];
    for (int i = 0; i < 8; ++i)
        r[i] = _mm256_loadu_ps(in + i * stride);
    fdct8(r);
    // Transpose: t[c] holds column c's vertical frequencies.
    __m256 a[8], b[8], t[8];
    for (int i = 0; i < 8; i += 2) {
        a[i] = _mm256_unpacklo_ps(r[i], r[i + 1]);
        a[i + 1] = _mm256_unpackhi_ps(r[i], r[i + 1]);
    }
    for (int i = 0; i < 8; i += 4) {
        b[i] = _mm256_shuffle_ps(a[i], a[i + 2], 0x44);
        b[i + 1] = _mm256_shuffle_ps(a[i], a[i + 2], 0xEE);
        b[i + 2] = _mm256_shuffle_ps(a[i + 1], a[i + 3], 0x44);
        b[i + 3] = _mm256_shuffle_ps(a[i + 1], a[i + 3], 0xEE);
    }
    for (int i = 0; i < 4; ++i) {
        t[i] = _mm256_permute2f128_ps(b[i], b[i + 4], 0x20);
        t[i + 4] = _mm256_permute2f128_ps(b[i], b[i + 4], 0x31);
    }
    fdct8(t);
    // Row u, lane v now holds horizontal frequency u, vertical frequency v:
    // quantize, round, narrow; a coefficient is zero where its category is.
    __m256i bits[4];
    for (int u = 0; u < 8; u += 2) {
        __m256i lo = _mm256_cvtps_epi32(_mm256_mul_ps(t[u], _mm256_load_ps(q.recip + u * 8)));
        __m256i hi = _mm256_cvtps_epi32(_mm256_mul_ps(t[u + 1], _mm256_load_ps(q.recip + u * 8 + 8)));
        __m256i rows = _mm256_permute4x64_epi64(_mm256_packs_epi32(lo, hi), 0xD8);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(coef + u * 8), rows);
        bits[u / 2] = categoriesAvx2(rows);
    }
    uint64_t natural = 0;
    for (int i = 0; i < 2; ++i) {
        __m256i categoryBytes = _mm256_permute4x64_epi64(_mm256_packus_epi16(bits[2 * i], bits[2 * i + 1]), 0xD8);
        _mm256_store_si256(reinterpret_cast<__m256i*>(out.bits + 32 * i), categoryBytes);
        __m256i isZero = _mm256_cmpeq_epi8(categoryBytes, _mm256_setzero_si256());
        natural |= uint64_t(~uint32_t(_mm256_movemask_epi8(isZero))) << (32 * i);
    }
    return zigzagMask(natural);
}

#endif

} // namespace sorvane::jpeg
