// The JPEG writer: headers, colour conversion, block order and the scan.

#include "imaging/JpegEncoder.h"

#include "imaging/JpegFdct.h"
#include "imaging/JpegHuffmanEncoder.h"
#include "imaging/JpegTables.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <new>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(SORVANE_JPEG_AVX2)
#include <immintrin.h>
#include <cpuid.h>
#endif

namespace sorvane::jpeg {

namespace {

// An MCU of six blocks never needs more than this many bytes of coded data: a block
// is at most 64 codes of at most 27 bits, each byte possibly doubled by stuffing.
constexpr size_t kMcuWorstCase = 6 * 512;

class HeaderWriter {
public:
    explicit HeaderWriter(std::vector<uint8_t>& out) : out_(out) {}
    void byte(int b) { out_.push_back(uint8_t(b)); }
    void be16(int v)
    {
        byte(v >> 8);
        byte(v & 0xFF);
    }
    void marker(int m)
    {
        byte(0xFF);
        byte(m);
    }
    void bytes(const uint8_t* p, size_t n) { out_.insert(out_.end(), p, p + n); }

private:
    std::vector<uint8_t>& out_;
};

void writeHuffman(HeaderWriter& w, int classAndId, const HuffmanSpec& huffman)
{
    w.byte(classAndId);
    w.bytes(huffman.counts.data(), 16);
    w.bytes(huffman.symbols, size_t(huffman.symbolCount));
}

void writeHeaders(std::vector<uint8_t>& out, int width, int height, bool colour, bool h2v2, bool jfif,
                  const std::array<uint8_t, 64>& qY, const std::array<uint8_t, 64>& qC)
{
    HeaderWriter w(out);
    w.marker(0xD8); // SOI

    w.marker(0xE0); // APP0
    w.be16(16);
    if (jfif) {
        static const uint8_t jfifBody[14] = {'J', 'F', 'I', 'F', 0, 1, 1, 0, 0, 1, 0, 1, 0, 0};
        w.bytes(jfifBody, 14); // version 1.01, no units, density 1:1, no thumbnail
    } else {
        static const uint8_t aviBody[14] = {'A', 'V', 'I', '1', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
        w.bytes(aviBody, 14); // not interlaced, field sizes unknown
    }

    w.marker(0xDB); // DQT
    w.be16(2 + 65 * (colour ? 2 : 1));
    for (int t = 0; t < (colour ? 2 : 1); ++t) {
        const std::array<uint8_t, 64>& q = t ? qC : qY;
        w.byte(t); // 8-bit entries, table t
        for (int k = 0; k < 64; ++k)
            w.byte(q[kZigzag[size_t(k)]]);
    }

    const int nf = colour ? 3 : 1;
    w.marker(0xC0); // SOF0
    w.be16(8 + 3 * nf);
    w.byte(8);
    w.be16(height);
    w.be16(width);
    w.byte(nf);
    w.byte(1);
    w.byte(h2v2 ? 0x22 : 0x11);
    w.byte(0);
    if (colour) {
        for (int id = 2; id <= 3; ++id) {
            w.byte(id);
            w.byte(0x11);
            w.byte(1);
        }
    }

    w.marker(0xC4); // DHT
    const HuffmanSpec* specs[4] = {&kAnnexKDcLuminance, &kAnnexKAcLuminance, &kAnnexKDcChrominance,
                                   &kAnnexKAcChrominance};
    int length = 2;
    for (int i = 0; i < (colour ? 4 : 2); ++i)
        length += 17 + specs[i]->symbolCount;
    w.be16(length);
    writeHuffman(w, 0x00, kAnnexKDcLuminance);
    writeHuffman(w, 0x10, kAnnexKAcLuminance);
    if (colour) {
        writeHuffman(w, 0x01, kAnnexKDcChrominance);
        writeHuffman(w, 0x11, kAnnexKAcChrominance);
    }

    w.marker(0xDA); // SOS
    w.be16(6 + 2 * nf);
    w.byte(nf);
    w.byte(1);
    w.byte(0x00);
    if (colour) {
        w.byte(2);
        w.byte(0x11);
        w.byte(3);
        w.byte(0x11);
    }
    w.byte(0);  // Ss
    w.byte(63); // Se
    w.byte(0);  // Ah, Al
}

// The coded data grows inside `out`; the writer's pointer follows reallocations.
// `out` is lengthened only as far as the next reserve() needs (the vector's capacity
// still grows geometrically), so little more than the file itself is zero-filled.
class ScanBuffer {
public:
    ScanBuffer(std::vector<uint8_t>& out, BitWriter& w) : out_(out), w_(w) {}
    void reserve(size_t bytes)
    {
        size_t used = size_t(w_.position() - out_.data());
        if (out_.size() - used < bytes) {
            out_.resize(used + bytes);
            w_.moveTo(out_.data() + used);
        }
    }
    void finish()
    {
        reserve(16); // the last bits, each byte possibly stuffed
        w_.flush();
        size_t used = size_t(w_.position() - out_.data());
        out_.resize(used);
        out_.push_back(0xFF); // EOI
        out_.push_back(0xD9);
    }

private:
    std::vector<uint8_t>& out_;
    BitWriter& w_;
};

bool validParameters(const uint8_t* pixels, int width, int height, ptrdiff_t stride, int bytesPerPixel,
                     const EncodeOptions& opt)
{
    if (!pixels || width < 1 || height < 1 || width > 65535 || height > 65535)
        return false;
    ptrdiff_t rowBytes = ptrdiff_t(width) * bytesPerPixel;
    if (stride < rowBytes && stride > -rowBytes)
        return false;
    return opt.options >= 0 && opt.options <= 7;
}

// Level-shifted YCbCr of one source row, the last pixel repeated up to `padded`.
// The row is first split into blue, green and red bytes (scratch, 3 * padded bytes),
// which lets the arithmetic run four pixels at a time.
void convertRow(const uint8_t* __restrict bgr, int width, int padded, uint8_t* __restrict scratch,
                float* __restrict y, float* __restrict cb, float* __restrict cr)
{
    uint8_t* __restrict bs = scratch;
    uint8_t* __restrict gs = scratch + padded;
    uint8_t* __restrict rs = scratch + 2 * padded;
    for (int x = 0; x < width; ++x) {
        bs[x] = bgr[3 * x];
        gs[x] = bgr[3 * x + 1];
        rs[x] = bgr[3 * x + 2];
    }
    for (int x = width; x < padded; ++x) {
        bs[x] = bs[width - 1];
        gs[x] = gs[width - 1];
        rs[x] = rs[width - 1];
    }
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    const __m128 yr = _mm_set1_ps(0.299f), yg = _mm_set1_ps(0.587f), yb = _mm_set1_ps(0.114f);
    const __m128 br = _mm_set1_ps(-0.168735892f), bg = _mm_set1_ps(-0.331264108f), half = _mm_set1_ps(0.5f);
    const __m128 rg = _mm_set1_ps(-0.418687589f), rb = _mm_set1_ps(-0.081312411f), shift = _mm_set1_ps(128.0f);
    auto widen = [&](const uint8_t* p, __m128& lo, __m128& hi) {
        __m128i v = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)), zero);
        lo = _mm_cvtepi32_ps(_mm_unpacklo_epi16(v, zero));
        hi = _mm_cvtepi32_ps(_mm_unpackhi_epi16(v, zero));
    };
    for (int x = 0; x < padded; x += 8) {
        __m128 b[2], g[2], r[2];
        widen(bs + x, b[0], b[1]);
        widen(gs + x, g[0], g[1]);
        widen(rs + x, r[0], r[1]);
        for (int i = 0; i < 2; ++i) {
            __m128 yy = _mm_add_ps(_mm_add_ps(_mm_mul_ps(yr, r[i]), _mm_mul_ps(yg, g[i])), _mm_mul_ps(yb, b[i]));
            __m128 u = _mm_add_ps(_mm_add_ps(_mm_mul_ps(br, r[i]), _mm_mul_ps(bg, g[i])), _mm_mul_ps(half, b[i]));
            __m128 v = _mm_add_ps(_mm_add_ps(_mm_mul_ps(half, r[i]), _mm_mul_ps(rg, g[i])), _mm_mul_ps(rb, b[i]));
            _mm_storeu_ps(y + x + 4 * i, _mm_sub_ps(yy, shift));
            _mm_storeu_ps(cb + x + 4 * i, u);
            _mm_storeu_ps(cr + x + 4 * i, v);
        }
    }
#else
    for (int x = 0; x < padded; ++x) {
        float b = bs[x], g = gs[x], r = rs[x];
        y[x] = 0.299f * r + 0.587f * g + 0.114f * b - 128.0f;
        cb[x] = -0.168735892f * r - 0.331264108f * g + 0.5f * b;
        cr[x] = 0.5f * r - 0.418687589f * g - 0.081312411f * b;
    }
#endif
}

// 4:2:0 chroma: each output sample is the mean of a 2x2 square of `rows` (two rows
// `padded` floats apart), for `half` samples.
void downsampleRow(const float* __restrict rows, int padded, int half, float* __restrict out)
{
    for (int x = 0; x < half; ++x)
        out[x] = 0.25f * (rows[2 * x] + rows[2 * x + 1] + rows[padded + 2 * x] + rows[padded + 2 * x + 1]);
}

void greyRow(const uint8_t* row, int width, int padded, float* y)
{
    for (int x = 0; x < width; ++x)
        y[x] = float(row[x]) - 128.0f;
    std::fill(y + width, y + padded, y[width - 1]);
}

struct PortableKernels {
    static void convert(const uint8_t* bgr, int width, int padded, uint8_t* scratch, float* y, float* cb, float* cr)
    {
        convertRow(bgr, width, padded, scratch, y, cb, cr);
    }
    static void grey(const uint8_t* row, int width, int padded, float* y) { greyRow(row, width, padded, y); }
    static void downsample(const float* rows, int padded, int half, float* out)
    {
        downsampleRow(rows, padded, half, out);
    }
    static uint64_t fdct(const float* in, ptrdiff_t stride, const QuantDivisors& q, QuantizedBlock& out)
    {
        return forwardDctQuantize(in, stride, q, out);
    }
};

#if defined(SORVANE_JPEG_AVX2)

// Eight pixels of blue-green-red bytes (24 bytes at p) as floats of each colour.
// The low half of `bytes` holds bytes 0..15, the high half bytes 8..23, so each half
// holds its four pixels and one shuffle per colour widens them to 32-bit lanes.
SORVANE_TARGET_AVX2 inline void splitEight(const uint8_t* p, __m256& b, __m256& g, __m256& r)
{
    const __m256i bytes = _mm256_inserti128_si256(
        _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p))),
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 8)), 1);
    const char z = char(0x80); // a byte the shuffle clears
    const __m256i pickB = _mm256_setr_epi8(0, z, z, z, 3, z, z, z, 6, z, z, z, 9, z, z, z, //
                                           4, z, z, z, 7, z, z, z, 10, z, z, z, 13, z, z, z);
    const __m256i pickG = _mm256_setr_epi8(1, z, z, z, 4, z, z, z, 7, z, z, z, 10, z, z, z, //
                                           5, z, z, z, 8, z, z, z, 11, z, z, z, 14, z, z, z);
    const __m256i pickR = _mm256_setr_epi8(2, z, z, z, 5, z, z, z, 8, z, z, z, 11, z, z, z, //
                                           6, z, z, z, 9, z, z, z, 12, z, z, z, 15, z, z, z);
    b = _mm256_cvtepi32_ps(_mm256_shuffle_epi8(bytes, pickB));
    g = _mm256_cvtepi32_ps(_mm256_shuffle_epi8(bytes, pickG));
    r = _mm256_cvtepi32_ps(_mm256_shuffle_epi8(bytes, pickR));
}

struct Avx2Kernels {
    // The arithmetic of convertRow() (the same operations in the same order), eight
    // pixels at a time straight from the interleaved bytes.
    SORVANE_TARGET_AVX2 static void convert(const uint8_t* bgr, int width, int padded, uint8_t*, float* y, float* cb,
                                            float* cr)
    {
        const __m256 yr = _mm256_set1_ps(0.299f), yg = _mm256_set1_ps(0.587f), yb = _mm256_set1_ps(0.114f);
        const __m256 br = _mm256_set1_ps(-0.168735892f), bg = _mm256_set1_ps(-0.331264108f);
        const __m256 rg = _mm256_set1_ps(-0.418687589f), rb = _mm256_set1_ps(-0.081312411f);
        const __m256 half = _mm256_set1_ps(0.5f), shift = _mm256_set1_ps(128.0f);
        alignas(16) uint8_t edge[24];
        for (int x = 0; x < padded; x += 8) {
            const uint8_t* p = bgr + 3 * x;
            if (x + 8 > width) { // the row's end: the last pixel repeated
                for (int i = 0; i < 8; ++i)
                    std::memcpy(edge + 3 * i, bgr + 3 * std::min(x + i, width - 1), 3);
                p = edge;
            }
            __m256 b, g, r;
            splitEight(p, b, g, r);
            __m256 yy = _mm256_add_ps(_mm256_add_ps(_mm256_mul_ps(yr, r), _mm256_mul_ps(yg, g)), _mm256_mul_ps(yb, b));
            __m256 u = _mm256_add_ps(_mm256_add_ps(_mm256_mul_ps(br, r), _mm256_mul_ps(bg, g)), _mm256_mul_ps(half, b));
            __m256 v = _mm256_add_ps(_mm256_add_ps(_mm256_mul_ps(half, r), _mm256_mul_ps(rg, g)), _mm256_mul_ps(rb, b));
            _mm256_storeu_ps(y + x, _mm256_sub_ps(yy, shift));
            _mm256_storeu_ps(cb + x, u);
            _mm256_storeu_ps(cr + x, v);
        }
    }
    SORVANE_TARGET_AVX2 static void grey(const uint8_t* row, int width, int padded, float* y)
    {
        greyRow(row, width, padded, y);
    }
    // downsampleRow()'s sums in its order: ((a + b) + c) + d, then a quarter.
    SORVANE_TARGET_AVX2 static void downsample(const float* rows, int padded, int half, float* out)
    {
        const __m256 quarter = _mm256_set1_ps(0.25f);
        for (int x = 0; x < half; x += 8) {
            const float* a = rows + 2 * x;
            const float* c = a + padded;
            __m256 a0 = _mm256_loadu_ps(a), a1 = _mm256_loadu_ps(a + 8);
            __m256 c0 = _mm256_loadu_ps(c), c1 = _mm256_loadu_ps(c + 8);
            // Even and odd samples, in the lane order 0 1 4 5 2 3 6 7 (put right below).
            __m256 sum = _mm256_add_ps(_mm256_shuffle_ps(a0, a1, 0x88), _mm256_shuffle_ps(a0, a1, 0xDD));
            sum = _mm256_add_ps(sum, _mm256_shuffle_ps(c0, c1, 0x88));
            sum = _mm256_add_ps(sum, _mm256_shuffle_ps(c0, c1, 0xDD));
            sum = _mm256_castpd_ps(_mm256_permute4x64_pd(_mm256_castps_pd(_mm256_mul_ps(quarter, sum)), 0xD8));
            _mm256_storeu_ps(out + x, sum);
        }
    }
    SORVANE_TARGET_AVX2 static uint64_t fdct(const float* in, ptrdiff_t stride, const QuantDivisors& q,
                                             QuantizedBlock& out)
    {
        return forwardDctQuantizeAvx2(in, stride, q, out);
    }
};

#endif

// What the scan needs besides the kernels.
struct ScanInput {
    const uint8_t* pixels;
    int width, height;
    ptrdiff_t stride;
    bool colour, h2v2;
    const QuantDivisors &dY, &dC;
};

// One block of each MCU: where its samples start in the MCU at column 0, how far the
// next MCU's start lies, and how it is coded.
struct BlockSource {
    const float* base;
    ptrdiff_t stride;
    int step;
    const QuantDivisors* quant;
    int* pred;
    const HuffmanCodes* dc;
    const HuffmanCodes* ac;
};

// The entropy-coded data of the whole picture, appended to `out`: MCU rows are
// converted to level-shifted YCbCr planes (chroma averaged down at 4:2:0), then each
// MCU's blocks are transformed and coded.
template <class K>
[[gnu::always_inline]] inline void encodeScan(const ScanInput& in, std::vector<uint8_t>& out)
{
    static const HuffmanCodes dcY(kAnnexKDcLuminance), acY(kAnnexKAcLuminance);
    static const HuffmanCodes dcC(kAnnexKDcChrominance), acC(kAnnexKAcChrominance);
    const int mcuSize = in.h2v2 ? 16 : 8;
    const int mcusX = (in.width + mcuSize - 1) / mcuSize;
    const int mcusY = (in.height + mcuSize - 1) / mcuSize;
    const int padded = mcusX * mcuSize;
    const size_t planeSize = size_t(padded) * size_t(mcuSize);
    // At 4:2:0 only two rows of full-size chroma are kept, averaged down as soon as
    // they are converted (while they are in the nearest cache).
    const size_t chromaSize = !in.colour ? 0 : in.h2v2 ? size_t(padded) * 2 : planeSize;
    std::vector<float> yPlane(planeSize), cbPlane(chromaSize), crPlane(chromaSize);
    std::vector<uint8_t> scratch(in.colour ? size_t(padded) * 3 : 0);
    const int half = padded / 2;
    std::vector<float> cbHalf(in.h2v2 ? size_t(half) * 8 : 0), crHalf(in.h2v2 ? size_t(half) * 8 : 0);

    int pred[3] = {0, 0, 0};
    BlockSource blocks[6];
    int blockCount = 0;
    if (in.h2v2) {
        for (int b = 0; b < 4; ++b)
            blocks[blockCount++] = {yPlane.data() + size_t((b >> 1) * 8) * size_t(padded) + (b & 1) * 8,
                                    padded, 16, &in.dY, &pred[0], &dcY, &acY};
        blocks[blockCount++] = {cbHalf.data(), half, 8, &in.dC, &pred[1], &dcC, &acC};
        blocks[blockCount++] = {crHalf.data(), half, 8, &in.dC, &pred[2], &dcC, &acC};
    } else {
        blocks[blockCount++] = {yPlane.data(), padded, 8, &in.dY, &pred[0], &dcY, &acY};
        if (in.colour) {
            blocks[blockCount++] = {cbPlane.data(), padded, 8, &in.dC, &pred[1], &dcC, &acC};
            blocks[blockCount++] = {crPlane.data(), padded, 8, &in.dC, &pred[2], &dcC, &acC};
        }
    }

    size_t headerBytes = out.size();
    out.resize(headerBytes + kMcuWorstCase);
    BitWriter w(out.data() + headerBytes);
    ScanBuffer buffer(out, w);
    QuantizedBlock block[6]; // one MCU's
    const uint8_t* order = coefficientOrder();

    for (int my = 0; my < mcusY; ++my) {
        for (int i = 0; i < mcuSize; ++i) {
            int sy = std::min(my * mcuSize + i, in.height - 1);
            const uint8_t* row = in.pixels + ptrdiff_t(sy) * in.stride;
            const size_t at = size_t(i) * size_t(padded);
            const size_t chromaAt = in.h2v2 ? size_t(i & 1) * size_t(padded) : at;
            if (in.colour)
                K::convert(row, in.width, padded, scratch.data(), yPlane.data() + at, cbPlane.data() + chromaAt,
                           crPlane.data() + chromaAt);
            else
                K::grey(row, in.width, padded, yPlane.data() + at);
            if (in.h2v2 && (i & 1)) {
                const size_t to = size_t(i / 2) * size_t(half);
                K::downsample(cbPlane.data(), padded, half, cbHalf.data() + to);
                K::downsample(crPlane.data(), padded, half, crHalf.data() + to);
            }
        }
        buffer.reserve(size_t(mcusX) * kMcuWorstCase);
        for (int mx = 0; mx < mcusX; ++mx) {
            // All of the MCU's transforms first, then its coding: the transforms then run
            // without the coder's mispredicted branches in between.
            uint64_t masks[6];
            for (int b = 0; b < blockCount; ++b) {
                const BlockSource& s = blocks[b];
                masks[b] = K::fdct(s.base + ptrdiff_t(mx) * s.step, s.stride, *s.quant, block[b]);
            }
            for (int b = 0; b < blockCount; ++b)
                encodeBlock(w, block[b], order, masks[b], *blocks[b].pred, *blocks[b].dc, *blocks[b].ac);
        }
    }
    buffer.finish();
}

void encodeScanPortable(const ScanInput& in, std::vector<uint8_t>& out) { encodeScan<PortableKernels>(in, out); }

#if defined(SORVANE_JPEG_AVX2)
SORVANE_TARGET_AVX2 void encodeScanAvx2(const ScanInput& in, std::vector<uint8_t>& out)
{
    encodeScan<Avx2Kernels>(in, out);
}
#endif

int encodeImpl(Kernels kernels, const uint8_t* pixels, int width, int height, ptrdiff_t stride,
               const EncodeOptions& opt, bool colour, std::vector<uint8_t>& out)
{
    const bool h2v2 = colour && (opt.subsample420 || (opt.options & 4));
    const std::array<uint8_t, 64> qY = scaledQuantTable(kAnnexKLuminanceQuant, opt.options);
    const std::array<uint8_t, 64> qC = scaledQuantTable(kAnnexKChrominanceQuant, opt.options);
    const QuantDivisors dY(qY.data()), dC(qC.data());

    out.clear();
    out.reserve(size_t(width) * size_t(height) / 2 + 1024);
    writeHeaders(out, width, height, colour, h2v2, opt.jfifHeader, qY, qC);
    const ScanInput in{pixels, width, height, stride, colour, h2v2, dY, dC};
#if defined(SORVANE_JPEG_AVX2)
    if (kernels == Kernels::Avx2) {
        encodeScanAvx2(in, out);
        return kOk;
    }
#endif
    (void)kernels;
    encodeScanPortable(in, out);
    return kOk;
}

Kernels bestKernels() { return kernelsAvailable(Kernels::Avx2) ? Kernels::Avx2 : Kernels::Portable; }

} // namespace

#if defined(SORVANE_JPEG_AVX2)
// LZCNT is an extended feature bit (CPUID 0x80000001, ECX bit 5); not every compiler's
// __builtin_cpu_supports knows its name.
static bool lzcntPresent()
{
    unsigned a = 0, b = 0, c = 0, d = 0;
    return __get_cpuid(0x80000001u, &a, &b, &c, &d) && (c & (1u << 5)) != 0;
}
#endif

bool kernelsAvailable(Kernels kernels)
{
#if defined(SORVANE_JPEG_AVX2)
    if (kernels == Kernels::Avx2) {
        static const bool present = [] { // asked once, whichever thread comes first
            __builtin_cpu_init();
            return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi") &&
                   __builtin_cpu_supports("bmi2") && lzcntPresent() &&
                   __builtin_cpu_supports("popcnt");
        }();
        return present;
    }
#endif
    return kernels == Kernels::Portable;
}

int encodeWith(Kernels kernels, const uint8_t* pixels, int width, int height, ptrdiff_t stride, bool colour,
               const EncodeOptions& opt, std::vector<uint8_t>& out)
{
    out.clear();
    if (!kernelsAvailable(kernels) || !validParameters(pixels, width, height, stride, colour ? 3 : 1, opt))
        return kUnsupported;
    try {
        return encodeImpl(kernels, pixels, width, height, stride, opt, colour, out);
    } catch (const std::bad_alloc&) {
        out.clear();
        return kOutOfMemory;
    }
}

int encode(const uint8_t* bgr, int width, int height, ptrdiff_t stride, const EncodeOptions& opt,
           std::vector<uint8_t>& out)
{
    return encodeWith(bestKernels(), bgr, width, height, stride, true, opt, out);
}

int encodeGrey(const uint8_t* grey, int width, int height, ptrdiff_t stride, const EncodeOptions& opt,
               std::vector<uint8_t>& out)
{
    return encodeWith(bestKernels(), grey, width, height, stride, false, opt, out);
}

} // namespace sorvane::jpeg
