// ImageOperation: 2 changes the bits per pixel of a raw image to 8, 16 or 24; 6 flips
// its rows. Stored row order is kept by both (a flipped top-down picture is still
// marked top-down: the operation mirrors the picture).

#include "imaging/ImageLibrary.h"

#include "imaging/ColourReduction.h"
#include "imaging/ImageCodecs.h"
#include "platform/ByteOrder.h"

#include <cstring>
#include <new>

namespace sorvane {

namespace {

unsigned indexAt(const uint8_t* row, int bits, int32_t x)
{
    if (bits == 8)
        return row[x];
    if (bits == 4)
        return (x & 1) ? row[x >> 1] & 15 : row[x >> 1] >> 4;
    return (row[x >> 3] >> (7 - (x & 7))) & 1;
}

// The colours of the index values of a 1-, 4- or 8-bit image.
ColourTable paletteOf(const ImageRecord& image)
{
    ColourTable t{};
    if (image.bitsPerPixel == 1)
        std::memset(&t[3], 255, 3);
    else
        t = *image.colourTable;
    return t;
}

int changeDepth(ImageRecord& image, int bits)
{
    if (!isValidRawImage(image))
        return kImageUnsupported;
    if (bits != 8 && bits != 16 && bits != 24)
        return kImageUnsupported;
    const int from = image.bitsPerPixel;
    if (from == bits)
        return kImageOk;
    const int32_t w = image.width, h = image.height;
    ImageRecord out = makeRawImage(w, h, bits);
    std::span<uint8_t> dst = out.data.writable();
    const size_t srcRow = size_t(image.rowBytes), dstRow = size_t(out.rowBytes);
    const uint8_t* src = image.payload().data();

    if (from <= 8) {
        ColourTable t = paletteOf(image);
        if (bits == 8)
            *out.colourTable = t;
        uint16_t as565[256];
        for (int i = 0; i < 256; ++i)
            as565[i] = rgb565From(t[3 * i], t[3 * i + 1], t[3 * i + 2]);
        for (int32_t s = 0; s < h; ++s) {
            const uint8_t* r = src + size_t(s) * srcRow;
            uint8_t* o = &dst[size_t(s) * dstRow];
            for (int32_t x = 0; x < w; ++x) {
                unsigned i = indexAt(r, from, x);
                if (bits == 8)
                    o[x] = uint8_t(i);
                else if (bits == 16)
                    storeLe16(o + 2 * x, as565[i]);
                else
                    std::memcpy(o + 3 * x, &t[3 * i], 3);
            }
        }
    } else if (bits == 8) {
        std::vector<uint8_t> indices(size_t(w) * size_t(h));
        reduceColours(image, *out.colourTable, indices);
        for (int32_t s = 0; s < h; ++s)
            std::memcpy(&dst[size_t(s) * dstRow], &indices[size_t(s) * size_t(w)], size_t(w));
    } else {
        for (int32_t s = 0; s < h; ++s) {
            const uint8_t* r = src + size_t(s) * srcRow;
            uint8_t* o = &dst[size_t(s) * dstRow];
            if (bits == 24) { // from 16
                for (int32_t x = 0; x < w; ++x) {
                    auto c = bgrFrom565(loadLe16(r + 2 * x));
                    std::memcpy(o + 3 * x, c.data(), 3);
                }
            } else { // 24 to 16
                for (int32_t x = 0; x < w; ++x)
                    storeLe16(o + 2 * x, rgb565From(r[3 * x], r[3 * x + 1], r[3 * x + 2]));
            }
        }
    }
    out.rowOrder = image.rowOrder;
    out.planeFlag = image.planeFlag;
    out.comment = std::move(image.comment);
    image = std::move(out);
    return kImageOk;
}

} // namespace

int ImageOperation(ImageRecord& image, int operation, int argument, int /*extra*/)
{
    try {
        switch (operation) {
        case 2:
            return changeDepth(image, argument);
        case 6:
            if (!isValidRawImage(image))
                return kImageUnsupported;
            codec::flipStoredRows(image);
            return kImageOk;
        default:
            return kImageOk;
        }
    } catch (const std::bad_alloc&) {
        return kImageNoMemory;
    }
}

} // namespace sorvane
