// ConvertImage and the GIF LZW image encoding: every pair of the encodings 0 (raw
// rows), 9 (GIF LZW), 10 and 16 (JPEG). Different encodings go through raw rows.

#include "imaging/ImageLibrary.h"

#include "imaging/GifLzw.h"
#include "imaging/ImageCodecs.h"
#include "imaging/JpegBridge.h"

#include <cstring>
#include <new>

namespace sorvane {

namespace codec {

void flipStoredRows(ImageRecord& image)
{
    if (image.height < 2)
        return;
    std::span<uint8_t> all = image.data.writable();
    uint8_t* base = all.data() + image.dataOffset;
    const size_t n = size_t(image.rowBytes);
    std::vector<uint8_t> tmp(n);
    for (size_t a = 0, b = size_t(image.height) - 1; a < b; ++a, --b) {
        std::memcpy(tmp.data(), base + a * n, n);
        std::memcpy(base + a * n, base + b * n, n);
        std::memcpy(base + b * n, tmp.data(), n);
    }
}

int encodeGifLzwImage(const ImageRecord& raw, ImageRecord& out)
{
    const int bits = raw.bitsPerPixel;
    if (!isValidRawImage(raw) || (bits != 1 && bits != 4 && bits != 8))
        return kImageUnsupported;
    const int32_t w = raw.width, h = raw.height;
    std::vector<uint8_t> stream;
    GifLzwEncoder encoder(bits == 1 ? 2 : bits, stream, size_t(w) * size_t(h));
    std::vector<uint8_t> indices(bits == 8 ? 0 : size_t(w));
    for (int32_t y = 0; y < h; ++y) {
        const uint8_t* row = rowOf(raw, y);
        if (bits == 8) {
            encoder.add({row, size_t(w)});
            continue;
        }
        for (int32_t x = 0; x < w; ++x)
            indices[size_t(x)] = bits == 4 ? ((x & 1) ? row[x >> 1] & 15 : row[x >> 1] >> 4)
                                           : (row[x >> 3] >> (7 - (x & 7))) & 1;
        encoder.add(indices);
    }
    encoder.finish();
    stream.shrink_to_fit(); // the encoder reserved room for the worst case
    ImageRecord img;
    img.width = w;
    img.height = h;
    img.bitsPerPixel = int8_t(bits);
    img.rowBytes = packedRowBytes(w, bits);
    img.dataSize = uint32_t(stream.size());
    img.data = ImageData(std::move(stream));
    if (raw.colourTable)
        img.colourTable = std::make_unique<ColourTable>(*raw.colourTable);
    img.imageType = kImageGifLzw;
    img.rowOrder = kRowsTopDown;
    img.planeFlag = 1;
    img.comment = raw.comment;
    out = std::move(img);
    return kImageOk;
}

int decodeGifLzwImage(const ImageRecord& source, ImageRecord& raw)
{
    const int bits = source.bitsPerPixel;
    if ((bits != 1 && bits != 4 && bits != 8) || !sizeAcceptable(source.width, source.height))
        return kImageUnsupported;
    if ((bits != 1 && !source.colourTable) || source.payload().size() != source.dataSize || source.dataSize == 0)
        return kImageUnsupported;
    const int32_t w = source.width, h = source.height;
    std::vector<uint8_t> indices(size_t(w) * size_t(h));
    gifLzwDecode(source.payload(), bits == 1 ? 2 : bits, indices); // a short stream leaves index 0
    ImageRecord img = makeRawImage(w, h, bits);
    if (img.colourTable)
        *img.colourTable = *source.colourTable;
    std::span<uint8_t> out = img.data.writable();
    for (int32_t y = 0; y < h; ++y) {
        const uint8_t* in = &indices[size_t(y) * size_t(w)];
        uint8_t* o = &out[size_t(y) * size_t(img.rowBytes)];
        if (bits == 8) {
            std::memcpy(o, in, size_t(w));
        } else if (bits == 4) {
            for (int32_t x = 0; x < w; ++x)
                o[x >> 1] |= uint8_t((x & 1) ? (in[x] & 15) : (in[x] & 15) << 4);
        } else {
            for (int32_t x = 0; x < w; ++x)
                if (in[x] & 1)
                    o[x >> 3] |= uint8_t(0x80 >> (x & 7));
        }
    }
    img.comment = source.comment;
    raw = std::move(img);
    return kImageOk;
}

} // namespace codec

namespace {

bool isKnownEncoding(uint8_t t)
{
    return t == kImageRaw || t == kImageGifLzw || t == kImageJfif || t == kImageJpegOther;
}

bool isJpeg(uint8_t t) { return t == kImageJfif || t == kImageJpegOther; }

// Checks that an encoded record is something the matching decoder can be given.
bool plausibleEncoded(const ImageRecord& image)
{
    std::span<const uint8_t> bytes = image.payload();
    if (bytes.empty() || bytes.size() != image.dataSize || image.width <= 0 || image.height <= 0)
        return false;
    if (isJpeg(image.imageType))
        return bytes.size() >= 4 && bytes[0] == 0xFF && bytes[1] == 0xD8;
    return true;
}

int toRaw(const ImageRecord& source, ImageRecord& raw)
{
    if (source.imageType == kImageGifLzw)
        return codec::decodeGifLzwImage(source, raw);
    return codec::decodeJpegImage(source, raw);
}

int convert(const ImageRecord& source, ImageRecord& target, int options)
{
    const uint8_t want = target.imageType;
    if (!isKnownEncoding(want) || !isKnownEncoding(source.imageType))
        return kImageUnsupported;
    if (isJpeg(want) && (options < 0 || options > 7))
        return kImageUnsupported;
    ImageRecord result;
    if (source.imageType == want) {
        if (want == kImageRaw ? !isValidRawImage(source) : !plausibleEncoded(source))
            return kImageUnsupported;
        result = copyImage(source);
    } else {
        ImageRecord decoded;
        const ImageRecord* raw = &source;
        if (source.imageType != kImageRaw) {
            if (!plausibleEncoded(source))
                return kImageUnsupported;
            if (int rc = toRaw(source, decoded); rc != kImageOk)
                return rc;
            raw = &decoded;
        } else if (!isValidRawImage(source)) {
            return kImageUnsupported;
        }
        int rc = kImageOk;
        if (want == kImageRaw)
            result = raw == &decoded ? std::move(decoded) : copyImage(source);
        else if (want == kImageGifLzw)
            rc = codec::encodeGifLzwImage(*raw, result);
        else
            rc = codec::encodeJpegImage(*raw, want, options, result);
        if (rc != kImageOk)
            return rc;
    }
    if (result.imageType == kImageRaw) {
        if (result.rowOrder == kRowsBottomUp)
            codec::flipStoredRows(result);
        result.rowOrder = kRowsTopDown;
        result.planeFlag = 1; // ready for use as it stands
    }
    target = std::move(result);
    return kImageOk;
}

} // namespace

int ConvertImage(const ImageRecord& source, ImageRecord& target, int options)
{
    try {
        return convert(source, target, options);
    } catch (const std::bad_alloc&) {
        return kImageNoMemory;
    }
}

int FreeImage(ImageRecord& image)
{
    int freed = 0;
    if (image.data.release())
        ++freed;
    if (image.colourTable) {
        image.colourTable.reset();
        ++freed;
    }
    image.dataSize = 0;
    image.dataOffset = 0;
    return freed;
}

} // namespace sorvane
