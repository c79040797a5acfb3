// RenderImage: draws a raw image, rotated clockwise by 0, 90, 180 or 270 degrees and
// scaled by 8.8 fixed-point zooms, into a target of the same depth. A picture pixel
// (x, y) of a W x H image turned by 90 lands at (H - 1 - y, x), by 180 at
// (W - 1 - x, H - 1 - y), by 270 at (y, W - 1 - x). Target pixel (tx, ty) shows the
// rotated picture's pixel (x + tx * 256 / zoomX, y + ty * 256 / zoomY).
//
// The device view paints through this on every frame, so the mapping is worked out
// once per column and once per row, and each target row is a gather over two
// offset tables (a plain copy at zoom 256 without rotation).

#include "imaging/ImageLibrary.h"

#include <cstring>
#include <new>

namespace sorvane {

namespace {

// Floor of a / b for b > 0.
int64_t floorDiv(int64_t a, int64_t b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }

template <int Bytes>
void gatherRow(uint8_t* dst, const uint8_t* src, const int64_t* colOff, int32_t n, int64_t rowOff, const uint8_t* bg)
{
    for (int32_t tx = 0; tx < n; ++tx) {
        const uint8_t* s = colOff[tx] >= 0 ? src + rowOff + colOff[tx] : bg;
        if constexpr (Bytes == 1)
            dst[tx] = *s;
        else if constexpr (Bytes == 2)
            std::memcpy(dst + 2 * tx, s, 2);
        else
            std::memcpy(dst + 3 * tx, s, 3);
    }
}

unsigned readIndex(const uint8_t* row, int bits, int64_t x)
{
    if (bits == 4)
        return (x & 1) ? row[x >> 1] & 15 : row[x >> 1] >> 4;
    return (row[x >> 3] >> (7 - (x & 7))) & 1;
}

int render(const ImageRecord& image, const RenderTarget& t, bool topDown, uint32_t extra)
{
    const int bits = image.bitsPerPixel;
    if (t.zoomX < 32 || t.zoomY < 32 || t.width < 1 || t.height < 1 || t.pixels.data() == nullptr ||
        !isSupportedDepth(bits))
        return kImageUnsupported;
    if (t.rotation != 0 && t.rotation != 90 && t.rotation != 180 && t.rotation != 270)
        return kImageUnsupported;
    if (!isValidRawImage(image))
        return kImageUnsupported;
    const int64_t packed = packedRowBytes(t.width, bits);
    const int64_t stride = t.rowBytes ? t.rowBytes : packed;
    if (packed == 0 || stride < packed || uint64_t(stride) * uint64_t(t.height) > t.pixels.size())
        return kImageUnsupported;

    const int64_t W = image.width, H = image.height;
    const bool turned = t.rotation == 90 || t.rotation == 270;
    const int64_t RW = turned ? H : W, RH = turned ? W : H;
    const int64_t srcRow = image.rowBytes;
    const int bytes = bits / 8;
    auto storedRow = [&](int64_t sy) { return image.rowOrder == kRowsBottomUp ? H - 1 - sy : sy; };

    // Per target column the rotated picture column rx, per row ry; -1 outside.
    std::vector<int64_t> colCoord(size_t(t.width)), colOff(size_t(t.width));
    for (int32_t tx = 0; tx < t.width; ++tx) {
        int64_t rx = t.x + floorDiv(int64_t(tx) * 256, t.zoomX);
        colCoord[size_t(tx)] = (rx >= 0 && rx < RW) ? rx : -1;
    }
    // Source coordinate that depends on the target column: sx for 0 and 180, sy for
    // 90 and 270; the other one depends on the row.
    auto columnSource = [&](int64_t rx) {
        switch (t.rotation) {
        case 0: return rx;
        case 180: return W - 1 - rx;
        case 90: return H - 1 - rx; // sy
        default: return rx;         // 270: sy
        }
    };
    auto rowSource = [&](int64_t ry) {
        switch (t.rotation) {
        case 0: return ry;          // sy
        case 180: return H - 1 - ry; // sy
        case 90: return ry;          // sx
        default: return W - 1 - ry;  // 270: sx
        }
    };
    if (bytes > 0)
        for (int32_t tx = 0; tx < t.width; ++tx) {
            int64_t rx = colCoord[size_t(tx)];
            if (rx < 0) {
                colOff[size_t(tx)] = -1;
                continue;
            }
            int64_t v = columnSource(rx);
            colOff[size_t(tx)] = turned ? storedRow(v) * srcRow : v * bytes;
        }

    uint8_t bg[3] = {0, 0, 0};
    if (bits == 16) {
        bg[0] = uint8_t(extra);
        bg[1] = uint8_t(extra >> 8);
    } else if (bits == 24) {
        bg[0] = uint8_t(extra);
        bg[1] = uint8_t(extra >> 8);
        bg[2] = uint8_t(extra >> 16);
    }
    const uint8_t* src = image.payload().data();
    const bool plainCopy = t.rotation == 0 && t.zoomX == 256 && bytes > 0;

    for (int32_t ty = 0; ty < t.height; ++ty) {
        uint8_t* dst = t.pixels.data() + (topDown ? int64_t(ty) : int64_t(t.height) - 1 - ty) * stride;
        int64_t ry = t.y + floorDiv(int64_t(ty) * 256, t.zoomY);
        const bool rowInside = ry >= 0 && ry < RH;
        int64_t rowOff = -1;
        if (rowInside && bytes > 0) {
            int64_t v = rowSource(ry);
            rowOff = turned ? v * bytes : storedRow(v) * srcRow;
        }
        if (bytes > 0 && !rowInside) {
            for (int32_t tx = 0; tx < t.width; ++tx)
                std::memcpy(dst + int64_t(tx) * bytes, bg, size_t(bytes));
            continue;
        }
        if (plainCopy) {
            // Columns t.x .. t.x + width - 1 of the picture; those outside get the background.
            int64_t first = std::max<int64_t>(0, -int64_t(t.x));
            int64_t last = std::min<int64_t>(t.width, W - t.x); // exclusive
            for (int64_t tx = 0; tx < std::min<int64_t>(first, t.width); ++tx)
                std::memcpy(dst + tx * bytes, bg, size_t(bytes));
            if (last > first)
                std::memcpy(dst + first * bytes, src + rowOff + (t.x + first) * bytes, size_t((last - first) * bytes));
            for (int64_t tx = std::max(first, last); tx < t.width; ++tx)
                std::memcpy(dst + tx * bytes, bg, size_t(bytes));
            continue;
        }
        switch (bytes) {
        case 1: gatherRow<1>(dst, src, colOff.data(), t.width, rowOff, bg); continue;
        case 2: gatherRow<2>(dst, src, colOff.data(), t.width, rowOff, bg); continue;
        case 3: gatherRow<3>(dst, src, colOff.data(), t.width, rowOff, bg); continue;
        default: break;
        }
        // 1 and 4 bits per pixel: pixel by pixel.
        std::memset(dst, 0, size_t(packed));
        if (!rowInside)
            continue;
        const int64_t rowValue = rowSource(ry);
        for (int32_t tx = 0; tx < t.width; ++tx) {
            int64_t rx = colCoord[size_t(tx)];
            if (rx < 0)
                continue;
            int64_t cv = columnSource(rx);
            int64_t sx = turned ? rowValue : cv, sy = turned ? cv : rowValue;
            unsigned v = readIndex(src + storedRow(sy) * srcRow, bits, sx);
            if (bits == 4)
                dst[tx >> 1] |= uint8_t((tx & 1) ? v : v << 4);
            else if (v)
                dst[tx >> 3] |= uint8_t(0x80 >> (tx & 7));
        }
    }
    return kImageOk;
}

} // namespace

int RenderImage(const ImageRecord& image, const RenderTarget& target, bool topDown, uint32_t extra)
{
    try {
        return render(image, target, topDown, extra);
    } catch (const std::bad_alloc&) {
        return kImageNoMemory;
    }
}

} // namespace sorvane
