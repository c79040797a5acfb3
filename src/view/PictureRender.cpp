#include "view/PictureRender.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "imaging/ImageLibrary.h"

namespace sorvane {

DisplaySize RotatedSize(int width, int height, int rotation)
{
    if (rotation == 90 || rotation == 270)
        return {height, width};
    return {width, height};
}

namespace {

inline uint32_t argb(Rgb c) { return 0xFF000000u | (uint32_t(c.r) << 16) | (uint32_t(c.g) << 8) | c.b; }

inline uint32_t valueAt(const uint8_t* row, int x, int bitsPerPixel)
{
    switch (bitsPerPixel) {
    case 16: return uint32_t(row[2 * x] | (row[2 * x + 1] << 8));
    case 8: return row[x];
    default: return (x & 1) ? row[x / 2] & 15 : row[x / 2] >> 4;
    }
}

} // namespace

std::vector<uint8_t> RenderTurnedPart(const ImageRecord& image, int rotation, int left, int top, int right, int bottom,
                                      RenderTarget& target)
{
    target.x = left;
    target.y = top;
    target.width = right - left;
    target.height = bottom - top;
    target.rotation = rotation;
    target.rowBytes = packedRowBytes(target.width, image.bitsPerPixel);
    std::vector<uint8_t> pixels(size_t(target.rowBytes) * size_t(target.height));
    target.pixels = pixels;
    if (RenderImage(image, target, true) != kImageOk)
        return {};
    return pixels;
}

void RenderRotatedRegion(const Picture& p, int rotation, int x0, int y0, int w, int h, uint32_t* out,
                         size_t outStride)
{
    if (!p.exists() || w <= 0 || h <= 0)
        return;
    const DisplaySize shown = RotatedSize(p.width, p.height, rotation);
    const int left = std::max(x0, 0), top = std::max(y0, 0);
    const int right = int(std::min(int64_t(x0) + w, int64_t(shown.width)));
    const int bottom = int(std::min(int64_t(y0) + h, int64_t(shown.height)));
    if (left >= right || top >= bottom)
        return;

    // Indexed pictures go through their colour table once per paint; 565 pixels through
    // a table per channel (the same integer widening as rgbFrom565).
    std::array<uint32_t, 256> table{};
    std::array<uint32_t, 64> red{}, green{}, blue{};
    if (!p.bitFields565) {
        for (int i = 0; i < 256; ++i)
            table[size_t(i)] = argb(p.colourOf(uint32_t(i)));
    } else {
        for (uint32_t i = 0; i < 64; ++i) {
            const Rgb r = rgbFrom565(uint16_t((i & 31) << 11)), g = rgbFrom565(uint16_t(i << 5)),
                      b = rgbFrom565(uint16_t(i & 31));
            red[i] = 0xFF000000u | uint32_t(r.r) << 16;
            green[i] = uint32_t(g.g) << 8;
            blue[i] = b.b;
        }
    }
    // Shown pixel (x, y) is picture pixel (ax + bx * x + cx * y, ay + by * x + cy * y):
    // the picture is read straight from its rows, whatever the turn, a shown row at a
    // time stepping through the picture.
    int ax = 0, bx = 1, cx = 0, ay = 0, by = 0, cy = 1;
    switch (rotation) {
    case 90: ax = 0, bx = 0, cx = 1, ay = p.height - 1, by = -1, cy = 0; break;
    case 180: ax = p.width - 1, bx = -1, cx = 0, ay = p.height - 1, by = 0, cy = -1; break;
    case 270: ax = p.width - 1, bx = 0, cx = -1, ay = 0, by = 1, cy = 0; break;
    default: break;
    }
    const int n = right - left;
    const int bytes = p.bitsPerPixel / 8; // 0 for 4-bit pixels
    const ptrdiff_t step = ptrdiff_t(by) * ptrdiff_t(p.stride) + bx * bytes;
    for (int y = top; y < bottom; ++y) {
        uint32_t* row = out + size_t(y - y0) * outStride + (left - x0);
        const int sx = ax + bx * left + cx * y, sy = ay + by * left + cy * y;
        const uint8_t* src = p.row(sy) + size_t(sx) * size_t(bytes);
        if (p.bitsPerPixel == 16) {
            for (int i = 0; i < n; ++i, src += step) {
                const uint32_t v = uint32_t(src[0] | (src[1] << 8));
                row[i] = red[v >> 11] | green[(v >> 5) & 63] | blue[v & 31];
            }
        } else if (p.bitsPerPixel == 8) {
            for (int i = 0; i < n; ++i, src += step)
                row[i] = table[*src];
        } else {
            for (int i = 0; i < n; ++i)
                row[i] = table[valueAt(p.row(sy + by * i), sx + bx * i, 4) & 255];
        }
    }
}

} // namespace sorvane
