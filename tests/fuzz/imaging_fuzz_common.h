#pragma once
// Shared body of the image reader fuzz targets: read the bytes as a file of one type,
// then put a readable picture through the other entry points at small sizes.

#include "imaging/ImageLibrary.h"

#include <cstdint>
#include <cstring>
#include <vector>

namespace sorvane::fuzz {

inline void exerciseReader(const uint8_t* data, size_t size, int fileType)
{
    ImageRecord image;
    // A smaller picture limit than the library's keeps each run quick.
    if (readImageBytes({data, size}, fileType, image, int64_t(1) << 16) != kImageOk)
        return;
    ImageRecord raw;
    raw.imageType = kImageRaw;
    if (ConvertImage(image, raw, 1) != kImageOk)
        __builtin_trap(); // every picture a reader accepts converts
    std::vector<uint8_t> out;
    encodeImageFile(raw, kFileBmp, out);
    if (raw.bitsPerPixel <= 8) {
        ImageRecord gif;
        gif.imageType = kImageGifLzw;
        if (ConvertImage(raw, gif, 0) == kImageOk)
            encodeImageFile(gif, kFileGif, out);
    }
    std::vector<uint8_t> pixels(size_t(packedRowBytes(7, raw.bitsPerPixel)) * 5);
    RenderTarget t{.x = -1, .y = image.height / 2, .zoomX = 100 + int(size % 300), .zoomY = 256, .width = 7,
                   .height = 5, .rotation = int(size % 4) * 90, .pixels = pixels};
    RenderImage(raw, t, size % 2 == 0, 0);
    if (int64_t(raw.width) * raw.height <= 4096) // colour reduction is the slow part
        ImageOperation(raw, 2, 8, 0);
    ImageOperation(raw, 6, 0, 0);
    FreeImage(raw);
    FreeImage(image);
}

} // namespace sorvane::fuzz
