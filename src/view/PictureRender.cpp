#include "view/PictureRender.h"

#include <algorithm>
#include <array>
#include <memory>
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
    const int right = std::min(x0 + w, shown.width), bottom = std::min(y0 + h, shown.height);
    if (left >= right || top >= bottom)
        return;

    // The image library turns the part of the picture; it borrows the picture's
    // bits, so only the turned part is allocated.
    ImageRecord image;
    image.width = p.width;
    image.height = p.height;
    image.bitsPerPixel = int8_t(p.bitsPerPixel);
    image.rowBytes = int32_t(p.stride);
    image.rowOrder = kRowsTopDown;
    image.imageType = kImageRaw;
    image.planeFlag = 1;
    image.data = ImageData::borrow(p.bits);
    image.dataSize = uint32_t(p.bits.size());
    if (p.bitsPerPixel <= 8) {
        image.colourTable = std::make_unique<ColourTable>();
        for (size_t i = 0; i < 256; ++i)
            for (size_t c = 0; c < 3; ++c)
                (*image.colourTable)[3 * i + c] = p.colours[4 * i + c];
    }
    RenderTarget target;
    const std::vector<uint8_t> turned = RenderTurnedPart(image, rotation, left, top, right, bottom, target);
    if (turned.empty())
        return;

    // Indexed pictures go through their colour table once per paint.
    std::array<uint32_t, 256> table{};
    if (!p.bitFields565) {
        for (int i = 0; i < 256; ++i)
            table[size_t(i)] = argb(p.colourOf(uint32_t(i)));
    }
    for (int y = 0; y < target.height; ++y) {
        const uint8_t* src = turned.data() + size_t(y) * size_t(target.rowBytes);
        uint32_t* row = out + size_t(top - y0 + y) * outStride + (left - x0);
        for (int x = 0; x < target.width; ++x) {
            const uint32_t v = valueAt(src, x, p.bitsPerPixel);
            row[x] = p.bitFields565 ? argb(rgbFrom565(uint16_t(v))) : table[v & 255];
        }
    }
}

} // namespace sorvane
