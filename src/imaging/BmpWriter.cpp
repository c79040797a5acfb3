// Writes BMP files: a 14-byte file header and a 40-byte information header (54
// bytes), below 16 bits per pixel a colour table of 2^bits entries of blue, green,
// red, 0 (black and white at 1 bit), then the rows bottom row first, each padded to a
// multiple of 4 bytes. Raw images are written uncompressed; 16-bit pixels turn from
// 5-6-5 into 5-5-5. BMP run-length images (imageType 13) are written as they stand
// with compression 2 (4 bits) or 1 (8 bits).
//
//   0 "BM" | 2 file size | 6 0, 0 | 10 offset of the rows
//   14 40 | 18 width | 22 height | 26 planes 1 | 28 bit count | 30 compression
//   34 image size | 38 0 | 42 0 | 46 0 | 50 0

#include "imaging/ImageCodecs.h"

#include "platform/ByteOrder.h"

#include <cstring>

namespace sorvane::codec {

int writeBmp(const ImageRecord& image, std::vector<uint8_t>& out)
{
    const int bits = image.bitsPerPixel;
    const bool rle = image.imageType == kImageBmpRle;
    if (rle) {
        if ((bits != 4 && bits != 8) || image.width <= 0 || image.height <= 0 || !image.colourTable ||
            image.payload().empty() || image.payload().size() != image.dataSize)
            return kImageUnsupported;
    } else if (!isValidRawImage(image)) {
        return kImageUnsupported;
    }
    // The header keeps 16 bits of each dimension; a larger picture would give a
    // file that lies about its size, so it is refused.
    if (image.width > 0xFFFF || image.height > 0xFFFF)
        return kImageUnsupported;

    const uint32_t w = uint32_t(image.width), h = uint32_t(image.height);
    const size_t stride = ((size_t(w) * bits + 31) / 32) * 4;
    const size_t entries = bits < 16 ? size_t(1) << bits : 0;
    const size_t offBits = 54 + 4 * entries;
    const size_t imageSize = rle ? image.dataSize : stride * h;
    if (offBits + imageSize > UINT32_MAX)
        return kImageUnsupported;
    out.assign(offBits + imageSize, 0);
    uint8_t* p = out.data();
    p[0] = 'B';
    p[1] = 'M';
    storeLe32(p + 2, uint32_t(out.size()));
    storeLe32(p + 10, uint32_t(offBits));
    storeLe32(p + 14, 40);
    storeLe32(p + 18, w & 0xFFFF);
    storeLe32(p + 22, h & 0xFFFF);
    storeLe16(p + 26, 1);
    storeLe16(p + 28, uint16_t(bits));
    storeLe32(p + 30, rle ? (bits == 4 ? 2 : 1) : 0);
    storeLe32(p + 34, uint32_t(imageSize));

    uint8_t* table = p + 54;
    if (bits == 1) {
        std::memset(table + 4, 255, 3);
    } else if (entries) {
        for (size_t i = 0; i < entries; ++i)
            std::memcpy(table + 4 * i, image.colourTable->data() + 3 * i, 3);
    }

    uint8_t* rows = p + offBits;
    if (rle) {
        std::memcpy(rows, image.payload().data(), imageSize);
        return kImageOk;
    }
    const size_t rowLen = size_t(packedRowBytes(image.width, bits));
    for (uint32_t i = 0; i < h; ++i) {
        const uint8_t* src = rowOf(image, int32_t(h - 1 - i));
        uint8_t* dst = rows + i * stride;
        if (bits == 16) {
            for (uint32_t x = 0; x < w; ++x) {
                uint16_t v = loadLe16(src + 2 * x);
                storeLe16(dst + 2 * x, uint16_t(((v >> 1) & 0x7FE0) | (v & 0x1F)));
            }
        } else {
            std::memcpy(dst, src, rowLen);
        }
    }
    return kImageOk;
}

} // namespace sorvane::codec
