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
void gatherRow(uint8_t* dst, const uint8_t* base, const int64_t* colOff, int32_t from, int32_t to)
{
    for (int32_t tx = from; tx < to; ++tx) {
        const uint8_t* s = base + colOff[tx];
        if constexpr (Bytes == 1) {
            dst[tx] = *s;
        } else if constexpr (Bytes == 2) {
            uint16_t v;
            std::memcpy(&v, s, 2);
            std::memcpy(dst + 2 * tx, &v, 2);
        } else {
            dst[3 * tx] = s[0];
            dst[3 * tx + 1] = s[1];
            dst[3 * tx + 2] = s[2];
        }
    }
}

void fillPixels(uint8_t* dst, int32_t from, int32_t to, int bytes, const uint8_t* bg)
{
    if (bytes == 1) {
        if (to > from)
            std::memset(dst + from, bg[0], size_t(to - from));
        return;
    }
    for (int32_t tx = from; tx < to; ++tx)
        std::memcpy(dst + int64_t(tx) * bytes, bg, size_t(bytes));
}

// Where a pixel of a 1- or 4-bit row lies: its byte and the shift of its bits.
struct BitPlace {
    int64_t byte;
    int shift;
};
BitPlace bitPlace(int bits, int64_t x)
{
    if (bits == 4)
        return {x >> 1, (x & 1) ? 0 : 4};
    return {x >> 3, int(7 - (x & 7))};
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
    const uint8_t* src = image.payload().data();
    auto storedRow = [&](int64_t sy) { return image.rowOrder == kRowsBottomUp ? H - 1 - sy : sy; };
    // The source coordinate fixed by the target column: sx for 0 and 180, sy for 90
    // and 270; the other one is fixed by the target row.
    auto columnSource = [&](int64_t rx) {
        switch (t.rotation) {
        case 0: return rx;
        case 180: return W - 1 - rx;
        case 90: return H - 1 - rx;
        default: return rx;
        }
    };
    auto rowSource = [&](int64_t ry) {
        switch (t.rotation) {
        case 0: return ry;
        case 180: return H - 1 - ry;
        case 90: return ry;
        default: return W - 1 - ry;
        }
    };

    // Picture column per target column grows with tx, so the columns inside the
    // picture are one range [first, last).
    int32_t first = t.width, last = 0;
    std::vector<int64_t> colOff(size_t(t.width), 0);
    std::vector<int> colShift(bytes ? 0 : size_t(t.width), 0);
    for (int32_t tx = 0; tx < t.width; ++tx) {
        int64_t rx = t.x + floorDiv(int64_t(tx) * 256, t.zoomX);
        if (rx < 0 || rx >= RW)
            continue;
        first = std::min(first, tx);
        last = tx + 1;
        int64_t v = columnSource(rx);
        if (turned) {
            colOff[size_t(tx)] = storedRow(v) * srcRow;
        } else if (bytes) {
            colOff[size_t(tx)] = v * bytes;
        } else {
            BitPlace b = bitPlace(bits, v);
            colOff[size_t(tx)] = b.byte;
            colShift[size_t(tx)] = b.shift;
        }
    }
    if (first >= last)
        first = last = 0;

    uint8_t bg[3] = {0, 0, 0};
    if (bits == 16) {
        bg[0] = uint8_t(extra);
        bg[1] = uint8_t(extra >> 8);
    } else if (bits == 24) {
        bg[0] = uint8_t(extra);
        bg[1] = uint8_t(extra >> 8);
        bg[2] = uint8_t(extra >> 16);
    }
    const bool plainCopy = t.rotation == 0 && t.zoomX == 256 && bytes > 0;
    const unsigned mask = (1u << bits) - 1;

    for (int32_t ty = 0; ty < t.height; ++ty) {
        uint8_t* dst = t.pixels.data() + (topDown ? int64_t(ty) : int64_t(t.height) - 1 - ty) * stride;
        const int64_t ry = t.y + floorDiv(int64_t(ty) * 256, t.zoomY);
        if (ry < 0 || ry >= RH) {
            if (bytes)
                fillPixels(dst, 0, t.width, bytes, bg);
            else
                std::memset(dst, 0, size_t(packed));
            continue;
        }
        const int64_t v = rowSource(ry);
        if (bytes) {
            fillPixels(dst, 0, first, bytes, bg);
            fillPixels(dst, last, t.width, bytes, bg);
            // Turned: the row picks the source column, the column table the source row.
            const uint8_t* base = src + (turned ? v * bytes : storedRow(v) * srcRow);
            if (plainCopy)
                std::memcpy(dst + int64_t(first) * bytes, base + colOff[size_t(first)], size_t(last - first) * size_t(bytes));
            else if (bytes == 1)
                gatherRow<1>(dst, base, colOff.data(), first, last);
            else if (bytes == 2)
                gatherRow<2>(dst, base, colOff.data(), first, last);
            else
                gatherRow<3>(dst, base, colOff.data(), first, last);
            continue;
        }
        // 1 and 4 bits per pixel.
        std::memset(dst, 0, size_t(packed));
        const uint8_t* base;
        int rowShift = 0;
        if (turned) {
            BitPlace b = bitPlace(bits, v);
            base = src + b.byte;
            rowShift = b.shift;
        } else {
            base = src + storedRow(v) * srcRow;
        }
        for (int32_t tx = first; tx < last; ++tx) {
            int shift = turned ? rowShift : colShift[size_t(tx)];
            unsigned value = (base[colOff[size_t(tx)]] >> shift) & mask;
            BitPlace out = bitPlace(bits, tx);
            dst[out.byte] |= uint8_t(value << out.shift);
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
