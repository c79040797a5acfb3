#include "imaging/JpegIdct.h"

#include <algorithm>

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

} // namespace

void inverseDct(const int16_t* coefs, const uint16_t* quant, uint8_t* out, ptrdiff_t stride)
{
    int64_t work[64];
    int64_t r[8];

    // Pass 1: columns, keeping kPass1Bits extra bits.
    for (int c = 0; c < 8; ++c) {
        const int16_t* in = coefs + c;
        const uint16_t* q = quant + c;
        if (in[8] == 0 && in[16] == 0 && in[24] == 0 && in[32] == 0 && in[40] == 0 && in[48] == 0 &&
            in[56] == 0) {
            int64_t dc = int64_t(in[0]) * q[0] * (1 << kPass1Bits);
            for (int k = 0; k < 8; ++k)
                work[k * 8 + c] = dc;
            continue;
        }
        idct1d(int64_t(in[0]) * q[0], int64_t(in[8]) * q[8], int64_t(in[16]) * q[16], int64_t(in[24]) * q[24],
               int64_t(in[32]) * q[32], int64_t(in[40]) * q[40], int64_t(in[48]) * q[48], int64_t(in[56]) * q[56],
               r);
        for (int k = 0; k < 8; ++k)
            work[k * 8 + c] = descale(r[k], kConstBits - kPass1Bits);
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

} // namespace sorvane::jpeg
