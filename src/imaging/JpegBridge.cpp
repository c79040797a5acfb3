#include "imaging/JpegBridge.h"

#include "imaging/ImageCodecs.h"

#include <cstring>

#include "imaging/JpegDecoder.h"
#include "imaging/JpegEncoder.h"

namespace sorvane::codec {

namespace {

int libraryCode(int rc)
{
    if (rc == kImageJpegProcess || rc == kImageNoMemory)
        return rc;
    return kImageUnsupported;
}

// Replaces the JFIF APP0 segment right after SOI by an "AVI1" APP0 segment.
void replaceJfifHeader(std::vector<uint8_t>& file)
{
    static const uint8_t kAvi1[18] = {0xFF, 0xE0, 0x00, 0x10, 'A', 'V', 'I', '1', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    size_t keepFrom = 2;
    if (file.size() >= 6 && file[2] == 0xFF && file[3] == 0xE0) {
        size_t len = size_t(file[4]) << 8 | file[5];
        if (len >= 7 && 4 + len <= file.size() && std::memcmp(&file[6], "JFIF\0", 5) == 0)
            keepFrom = 4 + len;
    }
    std::vector<uint8_t> out;
    out.reserve(file.size() + sizeof kAvi1);
    out.insert(out.end(), file.begin(), file.begin() + 2);
    out.insert(out.end(), kAvi1, kAvi1 + sizeof kAvi1);
    out.insert(out.end(), file.begin() + ptrdiff_t(keepFrom), file.end());
    file.swap(out);
}

} // namespace

int decodeJpegImage(const ImageRecord& source, ImageRecord& raw)
{
    if (!sizeAcceptable(source.width, source.height))
        return kImageUnsupported;
    jpeg::DecodedJpeg decoded;
    int rc = jpeg::decode(source.payload(), decoded);
    if (rc != 0)
        return libraryCode(rc);
    if ((decoded.components != 1 && decoded.components != 3) || decoded.width <= 0 || decoded.height <= 0)
        return kImageUnsupported;
    ImageRecord img = makeRawImage(decoded.width, decoded.height, decoded.components == 1 ? 8 : 24);
    std::span<uint8_t> out = img.data.writable();
    if (decoded.pixels.size() < out.size())
        return kImageUnsupported;
    std::memcpy(out.data(), decoded.pixels.data(), out.size());
    if (img.colourTable)
        for (int i = 0; i < 256; ++i)
            (*img.colourTable)[3 * i] = (*img.colourTable)[3 * i + 1] = (*img.colourTable)[3 * i + 2] = uint8_t(i);
    raw = std::move(img);
    return kImageOk;
}

int encodeJpegImage(const ImageRecord& raw, uint8_t imageType, int options, ImageRecord& out)
{
    if (!isValidRawImage(raw) || (raw.bitsPerPixel != 8 && raw.bitsPerPixel != 16 && raw.bitsPerPixel != 24))
        return kImageUnsupported;
    const int32_t w = raw.width, h = raw.height;
    const uint8_t* pixels;
    ptrdiff_t stride;
    std::vector<uint8_t> bgr;
    if (raw.bitsPerPixel == 24 && raw.rowOrder != kRowsBottomUp) {
        pixels = raw.payload().data();
        stride = raw.rowBytes;
    } else {
        bgr.resize(size_t(w) * 3 * size_t(h));
        for (int32_t y = 0; y < h; ++y) {
            uint8_t* o = &bgr[size_t(y) * size_t(w) * 3];
            for (int32_t x = 0; x < w; ++x) {
                auto c = pixelColour(raw, x, y);
                o[3 * x] = c[0];
                o[3 * x + 1] = c[1];
                o[3 * x + 2] = c[2];
            }
        }
        pixels = bgr.data();
        stride = ptrdiff_t(w) * 3;
    }
    jpeg::EncodeOptions opt;
    opt.options = options;
    opt.subsample420 = (options & 4) != 0;
    std::vector<uint8_t> file;
    int rc = jpeg::encode(pixels, w, h, stride, opt, file);
    if (rc != 0)
        return libraryCode(rc);
    if (imageType == kImageJpegOther)
        replaceJfifHeader(file);
    ImageRecord img;
    img.width = w;
    img.height = h;
    img.bitsPerPixel = 24;
    img.rowBytes = packedRowBytes(w, 24);
    img.dataSize = uint32_t(file.size());
    img.data = ImageData(std::move(file));
    img.imageType = imageType;
    img.rowOrder = kRowsTopDown;
    img.planeFlag = 1;
    img.comment = raw.comment;
    out = std::move(img);
    return kImageOk;
}

} // namespace sorvane::codec
