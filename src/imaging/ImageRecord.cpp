#include "imaging/ImageRecord.h"

#include <cstring>

namespace sorvane {

std::span<const uint8_t> ImageRecord::payload() const
{
    std::span<const uint8_t> all = data.bytes();
    if (dataOffset > all.size() || dataSize > all.size() - dataOffset)
        return {};
    return all.subspan(dataOffset, dataSize);
}

int32_t packedRowBytes(int32_t width, int bitsPerPixel)
{
    if (width <= 0 || bitsPerPixel <= 0)
        return 0;
    int64_t bytes = (int64_t(width) * bitsPerPixel + 7) / 8;
    return bytes > INT32_MAX ? 0 : int32_t(bytes);
}

bool isSupportedDepth(int bitsPerPixel)
{
    return bitsPerPixel == 1 || bitsPerPixel == 4 || bitsPerPixel == 8 || bitsPerPixel == 16 ||
           bitsPerPixel == 24;
}

bool isValidRawImage(const ImageRecord& image)
{
    if (image.imageType != kImageRaw || !isSupportedDepth(image.bitsPerPixel))
        return false;
    if (image.width <= 0 || image.height <= 0)
        return false;
    int32_t minRow = packedRowBytes(image.width, image.bitsPerPixel);
    if (minRow == 0 || image.rowBytes < minRow)
        return false;
    if (uint64_t(image.rowBytes) * uint64_t(image.height) > image.dataSize)
        return false;
    if (image.payload().size() != image.dataSize)
        return false;
    if ((image.bitsPerPixel == 4 || image.bitsPerPixel == 8) && !image.colourTable)
        return false;
    return true;
}

const uint8_t* rowOf(const ImageRecord& image, int32_t y)
{
    int32_t stored = image.rowOrder == kRowsBottomUp ? image.height - 1 - y : y;
    return image.payload().data() + size_t(stored) * size_t(image.rowBytes);
}

std::array<uint8_t, 3> pixelColour(const ImageRecord& image, int32_t x, int32_t y)
{
    const uint8_t* row = rowOf(image, y);
    switch (image.bitsPerPixel) {
    case 1: {
        uint8_t v = (row[x >> 3] >> (7 - (x & 7))) & 1 ? 255 : 0;
        return {v, v, v};
    }
    case 4: {
        unsigned i = (x & 1) ? (row[x >> 1] & 15) : (row[x >> 1] >> 4);
        const uint8_t* e = image.colourTable->data() + 3 * i;
        return {e[0], e[1], e[2]};
    }
    case 8: {
        const uint8_t* e = image.colourTable->data() + 3 * row[x];
        return {e[0], e[1], e[2]};
    }
    case 16:
        return bgrFrom565(uint16_t(row[2 * x] | (row[2 * x + 1] << 8)));
    default:
        return {row[3 * x], row[3 * x + 1], row[3 * x + 2]};
    }
}

ImageRecord makeRawImage(int32_t width, int32_t height, int bitsPerPixel)
{
    ImageRecord image;
    image.width = width;
    image.height = height;
    image.bitsPerPixel = int8_t(bitsPerPixel);
    image.rowBytes = packedRowBytes(width, bitsPerPixel);
    image.dataSize = uint32_t(size_t(image.rowBytes) * size_t(height));
    image.data = ImageData(std::vector<uint8_t>(image.dataSize));
    image.imageType = kImageRaw;
    image.rowOrder = kRowsTopDown;
    image.planeFlag = 1;
    if (bitsPerPixel == 4 || bitsPerPixel == 8)
        image.colourTable = std::make_unique<ColourTable>();
    return image;
}

ImageRecord copyImage(const ImageRecord& image)
{
    ImageRecord copy;
    copy.width = image.width;
    copy.height = image.height;
    std::span<const uint8_t> bytes = image.payload();
    copy.dataSize = uint32_t(bytes.size());
    copy.data = ImageData(std::vector<uint8_t>(bytes.begin(), bytes.end()));
    copy.dataOffset = 0;
    if (image.colourTable)
        copy.colourTable = std::make_unique<ColourTable>(*image.colourTable);
    copy.rowBytes = image.rowBytes;
    copy.imageType = image.imageType;
    copy.bitsPerPixel = image.bitsPerPixel;
    copy.rowOrder = image.rowOrder;
    copy.planeFlag = image.planeFlag;
    copy.comment = image.comment;
    return copy;
}

} // namespace sorvane
