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

// One output row of a component, upsampled to the frame's width.
class RowSource {
public:
    RowSource(const Frame& f, const FrameComponent& c) : comp_(c), rh_(f.hmax / c.h), rv_(f.vmax / c.v)
    {
        fancy_ = (rh_ == 2 && (rv_ == 1 || rv_ == 2) && c.width > 2) || (rh_ == 1 && rv_ == 2);
        if (rh_ != 1 || rv_ != 1)
            buf_.resize(size_t(c.width) * rh_ + 8);
        if (rv_ == 2)
            colsum_.resize(size_t(c.width) + 1);
    }

    const uint8_t* row(int y)
    {
        const uint8_t* plane = comp_.plane.data();
        const ptrdiff_t stride = comp_.planeStride();
        const int w = comp_.width;
        if (rh_ == 1 && rv_ == 1)
            return plane + ptrdiff_t(y) * stride;
        uint8_t* o = buf_.data();
        if (fancy_ && rv_ == 2) {
            int cy = y / 2;
            int other = (y & 1) ? std::min(cy + 1, comp_.height - 1) : std::max(cy - 1, 0);
            const uint8_t* near = plane + ptrdiff_t(cy) * stride;
            const uint8_t* far = plane + ptrdiff_t(other) * stride;
            int* s = colsum_.data();
            for (int x = 0; x < w; ++x)
                s[x] = 3 * near[x] + far[x];
            if (rh_ == 1) {
                int bias = (y & 1) ? 2 : 1;
                for (int x = 0; x < w; ++x)
                    o[x] = uint8_t((s[x] + bias) >> 2);
            } else {
                o[0] = uint8_t((s[0] * 4 + 8) >> 4);
                o[1] = uint8_t((s[0] * 3 + s[1] + 7) >> 4);
                for (int x = 1; x < w - 1; ++x) {
                    o[2 * x] = uint8_t((s[x] * 3 + s[x - 1] + 8) >> 4);
                    o[2 * x + 1] = uint8_t((s[x] * 3 + s[x + 1] + 7) >> 4);
                }
                o[2 * w - 2] = uint8_t((s[w - 1] * 3 + s[w - 2] + 8) >> 4);
                o[2 * w - 1] = uint8_t((s[w - 1] * 4 + 7) >> 4);
            }
            return o;
        }
        const uint8_t* in = plane + ptrdiff_t(y / rv_) * stride;
        if (fancy_) {
            o[0] = in[0];
            o[1] = uint8_t((in[0] * 3 + in[1] + 2) >> 2);
            for (int x = 1; x < w - 1; ++x) {
                o[2 * x] = uint8_t((in[x] * 3 + in[x - 1] + 1) >> 2);
                o[2 * x + 1] = uint8_t((in[x] * 3 + in[x + 1] + 2) >> 2);
            }
            o[2 * w - 2] = uint8_t((in[w - 1] * 3 + in[w - 2] + 1) >> 2);
            o[2 * w - 1] = in[w - 1];
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
    std::vector<int> colsum_;
};

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
        for (int x = 0; x < w; ++x) {
            int yy = c0[x];
            int cb = c1[x];
            int cr = c2[x];
            o[3 * x] = clamp255(yy + t.cbB[cb]);
            o[3 * x + 1] = clamp255(yy + ((t.cbG[cb] + t.crG[cr]) >> kScaleBits));
            o[3 * x + 2] = clamp255(yy + t.crR[cr]);
        }
    }
    return true;
}

} // namespace sorvane::jpeg
