// The JPEG writer: headers, colour conversion, block order and the scan.

#include "imaging/JpegEncoder.h"

#include "imaging/JpegFdct.h"
#include "imaging/JpegHuffmanEncoder.h"
#include "imaging/JpegTables.h"

#include <algorithm>
#include <array>
#include <new>

#if defined(__SSE2__)
#include <emmintrin.h>
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
class ScanBuffer {
public:
    ScanBuffer(std::vector<uint8_t>& out, BitWriter& w) : out_(out), w_(w) {}
    void reserve(size_t bytes)
    {
        size_t used = size_t(w_.position() - out_.data());
        if (out_.size() - used < bytes) {
            out_.resize(std::max(out_.size() * 2, used + bytes));
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

int encodeImpl(const uint8_t* pixels, int width, int height, ptrdiff_t stride, const EncodeOptions& opt,
               bool colour, std::vector<uint8_t>& out)
{
    const bool h2v2 = colour && (opt.subsample420 || (opt.options & 4));
    const std::array<uint8_t, 64> qY = scaledQuantTable(kAnnexKLuminanceQuant, opt.options);
    const std::array<uint8_t, 64> qC = scaledQuantTable(kAnnexKChrominanceQuant, opt.options);
    const QuantDivisors dY(qY.data()), dC(qC.data());
    const HuffmanCodes dcY(kAnnexKDcLuminance), acY(kAnnexKAcLuminance);
    const HuffmanCodes dcC(kAnnexKDcChrominance), acC(kAnnexKAcChrominance);

    out.clear();
    out.reserve(size_t(width) * size_t(height) / 2 + 1024);
    writeHeaders(out, width, height, colour, h2v2, opt.jfifHeader, qY, qC);

    const int mcuSize = h2v2 ? 16 : 8;
    const int mcusX = (width + mcuSize - 1) / mcuSize;
    const int mcusY = (height + mcuSize - 1) / mcuSize;
    const int padded = mcusX * mcuSize;
    const size_t planeSize = size_t(padded) * size_t(mcuSize);
    std::vector<float> yPlane(planeSize), cbPlane(colour ? planeSize : 0), crPlane(colour ? planeSize : 0);
    std::vector<uint8_t> scratch(colour ? size_t(padded) * 3 : 0);
    const int half = padded / 2;
    std::vector<float> cbHalf(h2v2 ? size_t(half) * 8 : 0), crHalf(h2v2 ? size_t(half) * 8 : 0);

    size_t headerBytes = out.size();
    out.resize(std::max(out.capacity(), headerBytes + kMcuWorstCase));
    BitWriter w(out.data() + headerBytes);
    ScanBuffer buffer(out, w);
    alignas(16) int16_t zz[64];
    const uint8_t* order = coefficientOrder();
    int predY = 0, predCb = 0, predCr = 0;

    for (int my = 0; my < mcusY; ++my) {
        for (int i = 0; i < mcuSize; ++i) {
            int sy = std::min(my * mcuSize + i, height - 1);
            const uint8_t* row = pixels + ptrdiff_t(sy) * stride;
            float* yr = yPlane.data() + size_t(i) * size_t(padded);
            if (colour) {
                convertRow(row, width, padded, scratch.data(), yr, cbPlane.data() + size_t(i) * size_t(padded),
                           crPlane.data() + size_t(i) * size_t(padded));
            } else {
                for (int x = 0; x < width; ++x)
                    yr[x] = float(row[x]) - 128.0f;
                std::fill(yr + width, yr + padded, yr[width - 1]);
            }
        }
        if (h2v2) {
            for (int j = 0; j < 8; ++j) {
                const float* c0 = cbPlane.data() + size_t(2 * j) * size_t(padded);
                const float* r0 = crPlane.data() + size_t(2 * j) * size_t(padded);
                float* co = cbHalf.data() + size_t(j) * size_t(half);
                float* ro = crHalf.data() + size_t(j) * size_t(half);
                for (int x = 0; x < half; ++x) {
                    co[x] = 0.25f * (c0[2 * x] + c0[2 * x + 1] + c0[padded + 2 * x] + c0[padded + 2 * x + 1]);
                    ro[x] = 0.25f * (r0[2 * x] + r0[2 * x + 1] + r0[padded + 2 * x] + r0[padded + 2 * x + 1]);
                }
            }
        }
        buffer.reserve(size_t(mcusX) * kMcuWorstCase);
        for (int mx = 0; mx < mcusX; ++mx) {
            if (h2v2) {
                for (int b = 0; b < 4; ++b) {
                    const float* src = yPlane.data() + size_t((b >> 1) * 8) * size_t(padded) + mx * 16 + (b & 1) * 8;
                    uint64_t mask = forwardDctQuantize(src, padded, dY, zz);
                    encodeBlock(w, zz, order, mask, predY, dcY, acY);
                }
                uint64_t mask = forwardDctQuantize(cbHalf.data() + mx * 8, half, dC, zz);
                encodeBlock(w, zz, order, mask, predCb, dcC, acC);
                mask = forwardDctQuantize(crHalf.data() + mx * 8, half, dC, zz);
                encodeBlock(w, zz, order, mask, predCr, dcC, acC);
            } else {
                uint64_t mask = forwardDctQuantize(yPlane.data() + mx * 8, padded, dY, zz);
                encodeBlock(w, zz, order, mask, predY, dcY, acY);
                if (colour) {
                    mask = forwardDctQuantize(cbPlane.data() + mx * 8, padded, dC, zz);
                    encodeBlock(w, zz, order, mask, predCb, dcC, acC);
                    mask = forwardDctQuantize(crPlane.data() + mx * 8, padded, dC, zz);
                    encodeBlock(w, zz, order, mask, predCr, dcC, acC);
                }
            }
        }
    }
    buffer.finish();
    return kOk;
}

} // namespace

int encode(const uint8_t* bgr, int width, int height, ptrdiff_t stride, const EncodeOptions& opt,
           std::vector<uint8_t>& out)
{
    out.clear();
    if (!validParameters(bgr, width, height, stride, 3, opt))
        return kUnsupported;
    try {
        return encodeImpl(bgr, width, height, stride, opt, true, out);
    } catch (const std::bad_alloc&) {
        out.clear();
        return kOutOfMemory;
    }
}

int encodeGrey(const uint8_t* grey, int width, int height, ptrdiff_t stride, const EncodeOptions& opt,
               std::vector<uint8_t>& out)
{
    out.clear();
    if (!validParameters(grey, width, height, stride, 1, opt))
        return kUnsupported;
    try {
        return encodeImpl(grey, width, height, stride, opt, false, out);
    } catch (const std::bad_alloc&) {
        out.clear();
        return kOutOfMemory;
    }
}

} // namespace sorvane::jpeg
