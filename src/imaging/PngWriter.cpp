// Writes PNG files from raw images: 1-, 4- and 8-bit pictures as palette images of
// the same depth (PLTE of 2^bits entries; black and white at 1 bit), 16-bit (RGB 565)
// and 24-bit pictures as 8-bit RGB (565 channels widened as channel x 255 / 31 or 63,
// the colours the device window shows). Chunks: IHDR, PLTE (palette images), one IDAT
// holding the zlib stream of every row, IEND. Rows are filtered the usual way: each
// row takes the filter (none, sub, up, average, Paeth) whose output has the smallest
// sum of absolute values; palette rows stay unfiltered.
//
//   89 50 4E 47 0D 0A 1A 0A | chunks: length (big-endian), type, data, CRC-32 of type + data

#include "imaging/ImageCodecs.h"

#include <zlib.h>

#include <array>
#include <cstdlib>
#include <cstring>

namespace sorvane::codec {

namespace {

void put32(std::vector<uint8_t>& out, uint32_t v)
{
    out.push_back(uint8_t(v >> 24));
    out.push_back(uint8_t(v >> 16));
    out.push_back(uint8_t(v >> 8));
    out.push_back(uint8_t(v));
}

void chunk(std::vector<uint8_t>& out, const char* type, std::span<const uint8_t> data)
{
    put32(out, uint32_t(data.size()));
    const size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    put32(out, uint32_t(crc32(0, out.data() + start, uInt(out.size() - start))));
}

uint8_t paethOf(int a, int b, int c)
{
    int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
    return uint8_t(pa <= pb && pa <= pc ? a : pb <= pc ? b : c);
}

// Filters one row of n bytes (bpp bytes per pixel) into out[0] = filter, out[1..n].
void filterRow(const uint8_t* row, const uint8_t* prior, size_t n, size_t bpp, uint8_t* out, uint8_t* trial)
{
    uint64_t best = UINT64_MAX;
    for (uint8_t f = 0; f <= 4; ++f) {
        uint64_t sum = 0;
        for (size_t i = 0; i < n; ++i) {
            int left = i >= bpp ? row[i - bpp] : 0, up = prior ? prior[i] : 0;
            int ul = (prior && i >= bpp) ? prior[i - bpp] : 0;
            int predicted = f == 0 ? 0 : f == 1 ? left : f == 2 ? up : f == 3 ? (left + up) / 2 : paethOf(left, up, ul);
            uint8_t v = uint8_t(row[i] - predicted);
            trial[i] = v;
            sum += v < 128 ? v : 256 - v;
        }
        if (sum < best) {
            best = sum;
            out[0] = f;
            std::memcpy(out + 1, trial, n);
        }
    }
}

} // namespace

int writePng(const ImageRecord& image, std::vector<uint8_t>& out)
{
    if (!isValidRawImage(image))
        return kImageUnsupported;
    const int bits = image.bitsPerPixel;
    const bool palette = bits <= 8;
    const uint32_t w = uint32_t(image.width), h = uint32_t(image.height);
    const size_t rowOut = palette ? size_t(packedRowBytes(image.width, bits)) : size_t(w) * 3;

    // Filtered rows, one filter byte each.
    std::vector<uint8_t> filtered((rowOut + 1) * h);
    std::vector<uint8_t> cur(rowOut), prev(rowOut), trial(rowOut);
    for (uint32_t y = 0; y < h; ++y) {
        const uint8_t* src = rowOf(image, int32_t(y));
        uint8_t* dst = &filtered[size_t(y) * (rowOut + 1)];
        if (palette) {
            dst[0] = 0;
            std::memcpy(dst + 1, src, rowOut);
            continue;
        }
        for (uint32_t x = 0; x < w; ++x) {
            std::array<uint8_t, 3> bgr;
            if (bits == 16) {
                // Widened as the device window shows them: channel x 255 / its maximum.
                const unsigned v = unsigned(src[2 * x] | src[2 * x + 1] << 8);
                bgr = {uint8_t((v & 31) * 255 / 31), uint8_t(((v >> 5) & 63) * 255 / 63),
                       uint8_t((v >> 11) * 255 / 31)};
            } else
                bgr = {src[3 * x], src[3 * x + 1], src[3 * x + 2]};
            cur[3 * x] = bgr[2];
            cur[3 * x + 1] = bgr[1];
            cur[3 * x + 2] = bgr[0];
        }
        filterRow(cur.data(), y ? prev.data() : nullptr, rowOut, 3, dst, trial.data());
        std::swap(cur, prev);
    }

    uLongf packedSize = compressBound(uLong(filtered.size()));
    std::vector<uint8_t> packed(packedSize);
    if (compress2(packed.data(), &packedSize, filtered.data(), uLong(filtered.size()), 6) != Z_OK)
        return kImageNoMemory;
    packed.resize(packedSize);
    if (packed.size() > 0x7FFFFFFF)
        return kImageUnsupported;

    static const uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    out.assign(kSignature, kSignature + 8);
    std::vector<uint8_t> ihdr;
    put32(ihdr, w);
    put32(ihdr, h);
    ihdr.push_back(uint8_t(palette ? bits : 8));
    ihdr.push_back(palette ? 3 : 2); // palette or RGB
    ihdr.insert(ihdr.end(), {0, 0, 0});
    chunk(out, "IHDR", ihdr);
    if (palette) {
        std::vector<uint8_t> plte;
        const size_t entries = size_t(1) << bits;
        for (size_t i = 0; i < entries; ++i) {
            if (bits == 1) {
                const uint8_t v = i ? 255 : 0;
                plte.insert(plte.end(), {v, v, v});
            } else {
                const uint8_t* e = &(*image.colourTable)[3 * i];
                plte.insert(plte.end(), {e[2], e[1], e[0]});
            }
        }
        chunk(out, "PLTE", plte);
    }
    chunk(out, "IDAT", packed);
    chunk(out, "IEND", {});
    return kImageOk;
}

} // namespace sorvane::codec
