// The decoder's output stage: chroma upsampling and YCbCr to blue-green-red.
//
// Upsampling by two uses the triangle filter common decoders use by default: each
// output sample weighs its nearest input sample 3/4 and the next one 1/4, in each
// direction where the factor is two; at the picture's edges the outermost samples
// are repeated. A component only one or two samples wide is not filtered
// horizontally (nor vertically, when both factors are two), as common decoders do.
// Other integral factors repeat samples.

#include "imaging/JpegFrame.h"

#include <algorithm>
#include <cstddef>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace sorvane::jpeg {

namespace {

constexpr int kScaleBits = 16;
constexpr int32_t fix(double x) { return int32_t(x * (1 << kScaleBits) + 0.5); }

struct YccTables {
    int32_t crR[256], cbB[256], crG[256], cbG[256];
    YccTables()
    {
        constexpr int32_t half = 1 << (kScaleBits - 1);
        for (int i = 0; i < 256; ++i) {
            int32_t x = i - 128;
            crR[i] = (fix(1.40200) * x + half) >> kScaleBits;
            cbB[i] = (fix(1.77200) * x + half) >> kScaleBits;
            crG[i] = -fix(0.71414) * x;
            cbG[i] = -fix(0.34414) * x + half;
        }
    }
};

const YccTables& yccTables()
{
    static const YccTables tables;
    return tables;
}

inline uint8_t clamp255(int v) { return uint8_t(std::clamp(v, 0, 255)); }

// The triangle filter across a row: sums[1..w] hold the input (scaled by `unit`,
// 1 or 4), sums[0] and sums[w + 1] repeat the outermost ones. Output 2w samples:
// (3 * near + far + bias) / (4 * unit), with biases evenBias and oddBias.
void horizontalTriangle(const int16_t* sums, int w, int shift, int evenBias, int oddBias, uint8_t* o)
{
    int x = 0;
#if defined(__SSE2__)
    const __m128i be = _mm_set1_epi16(int16_t(evenBias)), bo = _mm_set1_epi16(int16_t(oddBias));
    for (; x + 8 <= w; x += 8) {
        __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(sums + 1 + x));
        __m128i l = _mm_loadu_si128(reinterpret_cast<const __m128i*>(sums + x));
        __m128i r = _mm_loadu_si128(reinterpret_cast<const __m128i*>(sums + 2 + x));
        __m128i c3 = _mm_add_epi16(_mm_add_epi16(c, c), c);
        __m128i even = _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(c3, l), be), shift);
        __m128i odd = _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(c3, r), bo), shift);
        __m128i bytes = _mm_packus_epi16(_mm_unpacklo_epi16(even, odd), _mm_unpackhi_epi16(even, odd));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(o + 2 * x), bytes);
    }
#endif
    for (; x < w; ++x) {
        int c3 = 3 * sums[1 + x];
        o[2 * x] = uint8_t((c3 + sums[x] + evenBias) >> shift);
        o[2 * x + 1] = uint8_t((c3 + sums[2 + x] + oddBias) >> shift);
    }
}

// sums[1 + x] = 3 * near[x] + far[x] for x < w.
void verticalSums(const uint8_t* near, const uint8_t* far, int w, int16_t* sums)
{
    int x = 0;
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    for (; x + 8 <= w; x += 8) {
        __m128i n = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(near + x)), zero);
        __m128i f = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(far + x)), zero);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(sums + 1 + x), _mm_add_epi16(_mm_add_epi16(n, n), _mm_add_epi16(n, f)));
    }
#endif
    for (; x < w; ++x)
        sums[1 + x] = int16_t(3 * near[x] + far[x]);
}

// One output row of a component, upsampled to the frame's width.
class RowSource {
public:
    RowSource(const Frame& f, const FrameComponent& c) : comp_(c), rh_(f.hmax / c.h), rv_(f.vmax / c.v)
    {
        fancy_ = (rh_ == 2 && (rv_ == 1 || rv_ == 2) && c.width > 2) || (rh_ == 1 && rv_ == 2);
        if (rh_ != 1 || rv_ != 1)
            buf_.resize(size_t(c.width) * size_t(rh_) + 16);
        if (fancy_)
            sums_.resize(size_t(c.width) + 2);
    }

    const uint8_t* row(int y)
    {
        const uint8_t* plane = comp_.plane.get();
        const ptrdiff_t stride = comp_.planeStride();
        const int w = comp_.width;
        if (rh_ == 1 && rv_ == 1)
            return plane + ptrdiff_t(y) * stride;
        uint8_t* o = buf_.data();
        int16_t* s = sums_.data();
        if (fancy_ && rv_ == 2) {
            int cy = y / 2;
            int other = (y & 1) ? std::min(cy + 1, comp_.height - 1) : std::max(cy - 1, 0);
            verticalSums(plane + ptrdiff_t(cy) * stride, plane + ptrdiff_t(other) * stride, w, s);
            if (rh_ == 1) {
                int bias = (y & 1) ? 2 : 1;
                for (int x = 0; x < w; ++x)
                    o[x] = uint8_t((s[1 + x] + bias) >> 2);
            } else {
                s[0] = s[1];
                s[w + 1] = s[w];
                horizontalTriangle(s, w, 4, 8, 7, o);
            }
            return o;
        }
        const uint8_t* in = plane + ptrdiff_t(y / rv_) * stride;
        if (fancy_) {
            for (int x = 0; x < w; ++x)
                s[1 + x] = in[x];
            s[0] = s[1];
            s[w + 1] = s[w];
            horizontalTriangle(s, w, 2, 1, 2, o);
            return o;
        }
        for (int x = 0; x < w; ++x)
            for (int k = 0; k < rh_; ++k)
                o[x * rh_ + k] = in[x];
        return o;
    }

private:
    const FrameComponent& comp_;
    int rh_, rv_;
    bool fancy_;
    std::vector<uint8_t> buf_;
    std::vector<int16_t> sums_;
};

// One row of YCbCr samples to blue-green-red bytes, with the fixed-point arithmetic
// of YccTables (the SSE2 path computes the same values eight pixels at a time into
// three byte rows of `scratch`, then interleaves them).
void ycbcrToBgr(const uint8_t* yr, const uint8_t* cbr, const uint8_t* crr, int w, const YccTables& t,
                uint8_t* scratch, uint8_t* out)
{
    int x = 0;
#if defined(__SSE2__)
    uint8_t* bs = scratch;
    uint8_t* gs = scratch + w;
    uint8_t* rs = scratch + 2 * w;
    const __m128i zero = _mm_setzero_si128(), c128 = _mm_set1_epi16(128), two = _mm_set1_epi16(2);
    const __m128i kR = _mm_setr_epi16(26345, 16384, 26345, 16384, 26345, 16384, 26345, 16384);
    const __m128i kB = _mm_setr_epi16(-14942, 16384, -14942, 16384, -14942, 16384, -14942, 16384);
    const __m128i kG = _mm_setr_epi16(-22554, 18734, -22554, 18734, -22554, 18734, -22554, 18734);
    const __m128i half = _mm_set1_epi32(1 << (kScaleBits - 1));
    auto load = [&](const uint8_t* p) {
        return _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)), zero);
    };
    // Four 32-bit lanes from the low or high half: a * k0 + b * k1 (+ the x << 16 terms).
    auto narrow = [](__m128i lo, __m128i hi) {
        return _mm_packs_epi32(_mm_srai_epi32(lo, kScaleBits), _mm_srai_epi32(hi, kScaleBits));
    };
    for (; x + 8 <= w; x += 8) {
        __m128i yy = load(yr + x);
        __m128i cb = _mm_sub_epi16(load(cbr + x), c128);
        __m128i cr = _mm_sub_epi16(load(crr + x), c128);
        // R: 1.402 * cr = cr << 16 + 26345 * cr, plus rounding.
        __m128i rlo = _mm_add_epi32(_mm_madd_epi16(_mm_unpacklo_epi16(cr, two), kR), _mm_unpacklo_epi16(zero, cr));
        __m128i rhi = _mm_add_epi32(_mm_madd_epi16(_mm_unpackhi_epi16(cr, two), kR), _mm_unpackhi_epi16(zero, cr));
        // B: 1.772 * cb = cb << 17 - 14942 * cb, plus rounding.
        __m128i blo = _mm_add_epi32(_mm_madd_epi16(_mm_unpacklo_epi16(cb, two), kB),
                                    _mm_slli_epi32(_mm_unpacklo_epi16(zero, cb), 1));
        __m128i bhi = _mm_add_epi32(_mm_madd_epi16(_mm_unpackhi_epi16(cb, two), kB),
                                    _mm_slli_epi32(_mm_unpackhi_epi16(zero, cb), 1));
        // G: -0.34414 * cb - 0.71414 * cr = -22554 * cb + 18734 * cr - cr << 16, plus rounding.
        __m128i glo = _mm_sub_epi32(_mm_add_epi32(_mm_madd_epi16(_mm_unpacklo_epi16(cb, cr), kG), half),
                                    _mm_unpacklo_epi16(zero, cr));
        __m128i ghi = _mm_sub_epi32(_mm_add_epi32(_mm_madd_epi16(_mm_unpackhi_epi16(cb, cr), kG), half),
                                    _mm_unpackhi_epi16(zero, cr));
        __m128i r = _mm_add_epi16(yy, narrow(rlo, rhi));
        __m128i g = _mm_add_epi16(yy, narrow(glo, ghi));
        __m128i b = _mm_add_epi16(yy, narrow(blo, bhi));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(bs + x), _mm_packus_epi16(b, b));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(gs + x), _mm_packus_epi16(g, g));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(rs + x), _mm_packus_epi16(r, r));
    }
    for (int i = 0; i < x; ++i) {
        out[3 * i] = bs[i];
        out[3 * i + 1] = gs[i];
        out[3 * i + 2] = rs[i];
    }
#else
    (void)scratch;
#endif
    for (; x < w; ++x) {
        int yy = yr[x];
        int cb = cbr[x];
        int cr = crr[x];
        out[3 * x] = clamp255(yy + t.cbB[cb]);
        out[3 * x + 1] = clamp255(yy + ((t.cbG[cb] + t.crG[cr]) >> kScaleBits));
        out[3 * x + 2] = clamp255(yy + t.crR[cr]);
    }
}

} // namespace

bool writePixels(const Frame& frame, uint8_t* out)
{
    for (const FrameComponent& c : frame.comps)
        if (frame.hmax % c.h != 0 || frame.vmax % c.v != 0)
            return false;
    const int w = frame.width;
    const int n = int(frame.comps.size());
    std::vector<RowSource> sources;
    sources.reserve(frame.comps.size());
    for (const FrameComponent& c : frame.comps)
        sources.emplace_back(frame, c);

    const YccTables& t = yccTables();
    std::vector<uint8_t> scratch(size_t(w) * 3);
    for (int y = 0; y < frame.height; ++y) {
        uint8_t* o = out + size_t(y) * size_t(w) * size_t(n);
        if (n == 1) {
            const uint8_t* g = sources[0].row(y);
            std::copy(g, g + w, o);
            continue;
        }
        const uint8_t* c0 = sources[0].row(y);
        const uint8_t* c1 = sources[1].row(y);
        const uint8_t* c2 = sources[2].row(y);
        if (frame.colour == ColourModel::Rgb) {
            for (int x = 0; x < w; ++x) {
                o[3 * x] = c2[x];
                o[3 * x + 1] = c1[x];
                o[3 * x + 2] = c0[x];
            }
            continue;
        }
        ycbcrToBgr(c0, c1, c2, w, t, scratch.data(), o);
    }
    return true;
}

} // namespace sorvane::jpeg
