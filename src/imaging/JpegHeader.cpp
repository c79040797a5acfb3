// JPEG files are kept encoded when read: the record holds the whole file (imageType
// 10 when it opens with a JFIF APP0 segment, else 16) with the size and component
// count of its frame header; ConvertImage decodes it.
//
//   FF D8, then segments FF xx [u16 big-endian length including itself, payload]
//   (FF D0..D7, FF 01 stand alone); the frame header (SOFn) holds precision,
//   u16 height, u16 width and the component count.

#include "imaging/ImageCodecs.h"

#include <cstring>

namespace sorvane::codec {

namespace {
uint16_t be16(const uint8_t* p) { return uint16_t(p[0] << 8 | p[1]); }

bool isFrameHeader(uint8_t m)
{
    return m >= 0xC0 && m <= 0xCF && m != 0xC4 && m != 0xC8 && m != 0xCC;
}
} // namespace

int readJpeg(std::span<const uint8_t> f, ImageRecord& image, int64_t maxPixels)
{
    if (f.size() < 4 || f[0] != 0xFF || f[1] != 0xD8)
        return kImageUnsupported;
    bool jfif = false, firstSegment = true;
    size_t pos = 2;
    while (pos + 1 < f.size()) {
        if (f[pos] != 0xFF)
            return kImageUnsupported;
        uint8_t marker = f[pos + 1];
        pos += 2;
        if (marker == 0xFF) { // fill byte
            --pos;
            continue;
        }
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD8))
            continue;
        if (marker == 0xD9 || marker == 0xDA) // end of image or scan before any frame
            return kImageUnsupported;
        if (pos + 2 > f.size())
            return kImageUnsupported;
        size_t len = be16(&f[pos]);
        if (len < 2 || len > f.size() - pos)
            return kImageUnsupported;
        const uint8_t* seg = &f[pos + 2];
        if (firstSegment && marker == 0xE0 && len >= 7 && std::memcmp(seg, "JFIF\0", 5) == 0)
            jfif = true;
        firstSegment = false;
        if (isFrameHeader(marker)) {
            if (len < 8)
                return kImageUnsupported;
            int height = be16(seg + 1), width = be16(seg + 3), components = seg[5];
            if (!sizeAcceptable(width, height, maxPixels) || (components != 1 && components != 3))
                return kImageUnsupported;
            ImageRecord img;
            img.width = width;
            img.height = height;
            img.bitsPerPixel = int8_t(components == 1 ? 8 : 24);
            img.rowBytes = packedRowBytes(width, img.bitsPerPixel);
            img.data = ImageData(std::vector<uint8_t>(f.begin(), f.end()));
            img.dataSize = uint32_t(f.size());
            img.imageType = jfif ? kImageJfif : kImageJpegOther;
            img.rowOrder = kRowsTopDown;
            img.planeFlag = 0;
            image = std::move(img);
            return kImageOk;
        }
        pos += len;
    }
    return kImageUnsupported;
}

} // namespace sorvane::codec
