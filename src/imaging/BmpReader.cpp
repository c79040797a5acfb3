// Windows and OS/2 bitmap files: 1, 4, 8, 16, 24 and 32 bits per pixel, run-length
// data (RLE4, RLE8), bit fields, bottom-up and top-down rows.
//
//   0  "BM", file size u32, 2 x u16 reserved, pixel data offset u32     (14 bytes)
//   14 header size u32: 12 (OS/2 1.x: u16 width, u16 height, planes, bit count)
//      or 16..124 (i32 width, i32 height, u16 planes, u16 bit count, compression,
//      image size, x/y resolution, colours used, colours important, masks from 40)
//   then bit field masks (40-byte header with compression 3 or 6), then the colour
//   table (4-byte entries; 3-byte after a 12-byte header), then the rows.

#include "imaging/ImageCodecs.h"

#include "platform/ByteOrder.h"

#include <bit>
#include <cstring>

namespace sorvane::codec {

namespace {

enum : uint32_t { kRgb = 0, kRle8 = 1, kRle4 = 2, kBitfields = 3, kAlphaBitfields = 6 };

struct BmpHeader {
    int64_t width = 0;
    int64_t height = 0; // positive: rows stored bottom row first
    int bits = 0;
    uint32_t compression = kRgb;
    uint32_t coloursUsed = 0;
    uint32_t masks[3] = {0, 0, 0}; // red, green, blue
    size_t paletteOffset = 0;
    size_t paletteEntrySize = 4;
    size_t dataOffset = 0;
};

struct Channel {
    uint32_t mask = 0;
    int shift = 0;
    uint32_t max = 0;
    uint8_t scale(uint32_t pixel) const
    {
        if (max == 0)
            return 0;
        uint32_t v = (pixel & mask) >> shift;
        return uint8_t((uint64_t(v) * 255 + max / 2) / max);
    }
};

bool makeChannel(uint32_t mask, Channel& c)
{
    c.mask = mask;
    if (mask == 0)
        return true;
    c.shift = std::countr_zero(mask);
    uint32_t m = mask >> c.shift;
    if ((m & (m + 1)) != 0) // not one contiguous run of bits
        return false;
    c.max = m;
    return true;
}

int parseHeader(std::span<const uint8_t> f, BmpHeader& h)
{
    if (f.size() < 26 || f[0] != 'B' || f[1] != 'M')
        return kImageUnsupported;
    h.dataOffset = loadLe32(&f[10]);
    uint32_t headerSize = loadLe32(&f[14]);
    if (headerSize < 12 || headerSize > f.size() - 14)
        return kImageUnsupported;
    const uint8_t* p = &f[14];
    if (headerSize == 12) {
        h.width = loadLe16(p + 4);
        h.height = loadLe16(p + 6);
        h.bits = loadLe16(p + 10);
        h.paletteEntrySize = 3;
    } else if (headerSize >= 16) {
        h.width = loadLe32s(p + 4);
        h.height = loadLe32s(p + 8);
        h.bits = loadLe16(p + 14);
        if (headerSize >= 20)
            h.compression = loadLe32(p + 16);
        if (headerSize >= 36)
            h.coloursUsed = loadLe32(p + 32);
        // The 64-byte OS/2 header numbers its compressions differently (3 and 4 are
        // fax and 24-bit run-length coding there): neither is read.
        if (headerSize == 64 && h.compression >= 3)
            return kImageUnsupported;
    } else {
        return kImageUnsupported;
    }
    size_t afterHeader = 14 + size_t(headerSize);
    if (h.compression == kBitfields || h.compression == kAlphaBitfields) {
        size_t at = afterHeader;
        if (headerSize >= 52) {
            at = 14 + 40;
        } else {
            afterHeader += h.compression == kBitfields ? 12 : 16;
        }
        if (at + 12 > f.size())
            return kImageUnsupported;
        for (int i = 0; i < 3; ++i)
            h.masks[i] = loadLe32(&f[at + 4 * i]);
    }
    h.paletteOffset = afterHeader;
    return kImageOk;
}

// Copies the colour table (blue, green, red entries) into a 256-entry table.
bool readPalette(std::span<const uint8_t> f, const BmpHeader& h, ColourTable& table, size_t& count)
{
    count = size_t(1) << h.bits;
    if (h.coloursUsed != 0 && h.coloursUsed < count)
        count = h.coloursUsed;
    if (h.paletteOffset > f.size() || count * h.paletteEntrySize > f.size() - h.paletteOffset)
        return false;
    table.fill(0);
    for (size_t i = 0; i < count; ++i)
        std::memcpy(&table[3 * i], &f[h.paletteOffset + i * h.paletteEntrySize], 3);
    return true;
}

// Decodes RLE8 or RLE4 data into rows in stored order (bottom row first for
// positive heights). Pixels the data does not reach stay index 0.
void decodeRle(std::span<const uint8_t> d, bool four, ImageRecord& img)
{
    std::span<uint8_t> out = img.data.writable();
    int64_t x = 0, row = 0;
    const int64_t w = img.width, hgt = img.height;
    auto put = [&](uint8_t v) {
        if (x < w && row < hgt) {
            uint8_t* r = &out[size_t(row) * size_t(img.rowBytes)];
            if (four) {
                uint8_t& b = r[x >> 1];
                b = (x & 1) ? uint8_t((b & 0xF0) | (v & 15)) : uint8_t((b & 0x0F) | (v << 4));
            } else {
                r[x] = v;
            }
        }
        ++x;
    };
    size_t pos = 0;
    while (pos + 1 < d.size() && row < hgt) {
        uint8_t n = d[pos], c = d[pos + 1];
        pos += 2;
        if (n > 0) {
            for (unsigned i = 0; i < n && x < w; ++i)
                put(four ? ((i & 1) ? (c & 15) : (c >> 4)) : c);
            continue;
        }
        if (c == 0) { // end of line
            x = 0;
            ++row;
        } else if (c == 1) { // end of bitmap
            break;
        } else if (c == 2) { // move right and up (in stored order)
            if (pos + 2 > d.size())
                break;
            x += d[pos];
            row += d[pos + 1];
            pos += 2;
        } else { // c pixels as they stand, padded to an even byte count
            size_t bytes = four ? (size_t(c) + 1) / 2 : c;
            if (pos + bytes > d.size())
                bytes = d.size() - pos;
            for (unsigned i = 0; i < c; ++i) {
                size_t at = four ? i / 2 : i;
                if (at >= bytes)
                    break;
                put(four ? ((i & 1) ? (d[pos + at] & 15) : (d[pos + at] >> 4)) : d[pos + at]);
            }
            pos += (bytes + 1) & ~size_t(1);
        }
    }
}

} // namespace

int readBmp(std::span<const uint8_t> f, ImageRecord& image, int64_t maxPixels)
{
    BmpHeader h;
    if (int rc = parseHeader(f, h); rc != kImageOk)
        return rc;
    bool bottomUp = h.height > 0;
    int64_t height = bottomUp ? h.height : -h.height;
    if (!sizeAcceptable(h.width, height, maxPixels))
        return kImageUnsupported;
    const int bits = h.bits;
    const bool rle = h.compression == kRle8 || h.compression == kRle4;
    if (rle && !((h.compression == kRle8 && bits == 8) || (h.compression == kRle4 && bits == 4)))
        return kImageUnsupported;
    if (!rle && h.compression != kRgb && h.compression != kBitfields && h.compression != kAlphaBitfields)
        return kImageUnsupported;
    if ((h.compression == kBitfields || h.compression == kAlphaBitfields) && bits != 16 && bits != 32)
        return kImageUnsupported;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32)
        return kImageUnsupported;
    if (h.dataOffset > f.size())
        return kImageUnsupported;

    const int32_t w = int32_t(h.width), hh = int32_t(height);
    std::span<const uint8_t> data = f.subspan(h.dataOffset);
    const size_t stride = ((size_t(w) * bits + 31) / 32) * 4;
    if (!rle && stride * size_t(hh) > data.size())
        return kImageUnsupported;

    ImageRecord img;
    if (bits <= 8) {
        ColourTable table;
        size_t count = 0;
        if (!readPalette(f, h, table, count))
            return kImageUnsupported;
        int outBits = bits;
        bool invert = false;
        if (bits == 1) {
            static const uint8_t bw[6] = {0, 0, 0, 255, 255, 255};
            static const uint8_t wb[6] = {255, 255, 255, 0, 0, 0};
            if (count == 2 && std::memcmp(table.data(), bw, 6) == 0)
                outBits = 1;
            else if (count == 2 && std::memcmp(table.data(), wb, 6) == 0)
                outBits = 1, invert = true;
            else
                outBits = 4; // the record's 1-bit pictures are black and white
        }
        img = makeRawImage(w, hh, outBits);
        if (img.colourTable)
            *img.colourTable = table;
        std::span<uint8_t> out = img.data.writable();
        if (rle) {
            decodeRle(data, bits == 4, img);
        } else if (outBits == bits) {
            for (int32_t y = 0; y < hh; ++y) {
                std::memcpy(&out[size_t(y) * img.rowBytes], &data[size_t(y) * stride], size_t(img.rowBytes));
                if (invert)
                    for (int32_t i = 0; i < img.rowBytes; ++i)
                        out[size_t(y) * img.rowBytes + i] ^= 0xFF;
            }
        } else { // 1 bit widened to 4
            for (int32_t y = 0; y < hh; ++y) {
                const uint8_t* s = &data[size_t(y) * stride];
                uint8_t* o = &out[size_t(y) * img.rowBytes];
                for (int32_t x = 0; x < w; ++x) {
                    unsigned v = (s[x >> 3] >> (7 - (x & 7))) & 1;
                    o[x >> 1] |= uint8_t((x & 1) ? v : v << 4);
                }
            }
        }
    } else if (bits == 24 && h.compression == kRgb) {
        img = makeRawImage(w, hh, 24);
        std::span<uint8_t> out = img.data.writable();
        for (int32_t y = 0; y < hh; ++y)
            std::memcpy(&out[size_t(y) * img.rowBytes], &data[size_t(y) * stride], size_t(img.rowBytes));
    } else if (bits == 16 || bits == 32) {
        uint32_t masks[3] = {h.masks[0], h.masks[1], h.masks[2]};
        if (h.compression == kRgb) {
            if (bits == 16)
                masks[0] = 0x7C00, masks[1] = 0x03E0, masks[2] = 0x001F;
            else
                masks[0] = 0xFF0000, masks[1] = 0xFF00, masks[2] = 0xFF;
        }
        Channel r, g, b;
        if (!makeChannel(masks[0], r) || !makeChannel(masks[1], g) || !makeChannel(masks[2], b))
            return kImageUnsupported;
        const bool is565 = bits == 16 && masks[0] == 0xF800 && masks[1] == 0x07E0 && masks[2] == 0x001F;
        const bool is555 = bits == 16 && masks[0] == 0x7C00 && masks[1] == 0x03E0 && masks[2] == 0x001F;
        img = makeRawImage(w, hh, (is565 || is555) ? 16 : 24);
        std::span<uint8_t> out = img.data.writable();
        for (int32_t y = 0; y < hh; ++y) {
            const uint8_t* s = &data[size_t(y) * stride];
            uint8_t* o = &out[size_t(y) * img.rowBytes];
            if (is565) {
                std::memcpy(o, s, size_t(img.rowBytes));
            } else if (is555) {
                for (int32_t x = 0; x < w; ++x) {
                    uint16_t p = loadLe16(s + 2 * x);
                    uint16_t g5 = (p >> 5) & 31;
                    storeLe16(o + 2 * x, uint16_t(((p & 0x7C00) << 1) | (g5 << 6) | ((g5 >> 4) << 5) | (p & 31)));
                }
            } else {
                for (int32_t x = 0; x < w; ++x) {
                    uint32_t p = bits == 16 ? loadLe16(s + 2 * x) : loadLe32(s + 4 * x);
                    o[3 * x] = b.scale(p);
                    o[3 * x + 1] = g.scale(p);
                    o[3 * x + 2] = r.scale(p);
                }
            }
        }
    } else {
        return kImageUnsupported;
    }
    img.rowOrder = bottomUp ? kRowsBottomUp : kRowsTopDown;
    image = std::move(img);
    return kImageOk;
}

} // namespace sorvane::codec
