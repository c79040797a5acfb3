// PNG files: every colour type (grey, RGB, palette, grey + alpha, RGBA) and bit
// depth, plain or Adam7-interlaced. The picture becomes raw rows: 1-bit grey stays
// 1 bit; 2- and 4-bit grey and palettes of up to 4 bits become 4 bits with a colour
// table; 8- and 16-bit grey (with or without alpha) and 8-bit palettes become 8 bits;
// RGB and RGBA become 24 bits. 16-bit samples keep their high byte, alpha and tRNS
// transparency are dropped. Critical chunks must pass their CRC; an ancillary chunk
// that fails it is skipped like every ancillary chunk.

#include "imaging/ImageCodecs.h"

#include <zlib.h>

#include <cstring>

namespace sorvane::codec {

namespace {

uint32_t be32(const uint8_t* p) { return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]; }

struct PngHeader {
    uint32_t width = 0, height = 0;
    int depth = 0, colourType = 0, interlace = 0;
    int channels() const
    {
        switch (colourType) {
        case 2: return 3;
        case 4: return 2;
        case 6: return 4;
        default: return 1;
        }
    }
};

bool validCombination(int type, int depth)
{
    switch (type) {
    case 0: return depth == 1 || depth == 2 || depth == 4 || depth == 8 || depth == 16;
    case 3: return depth == 1 || depth == 2 || depth == 4 || depth == 8;
    case 2: case 4: case 6: return depth == 8 || depth == 16;
    default: return false;
    }
}

struct Pass {
    int x0, y0, dx, dy;
};
constexpr Pass kAdam7[7] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                            {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};
constexpr Pass kWhole = {0, 0, 1, 1};

size_t passExtent(uint32_t size, int start, int step)
{
    return size > uint32_t(start) ? (size - uint32_t(start) + uint32_t(step) - 1) / uint32_t(step) : 0;
}

uint8_t paeth(int a, int b, int c)
{
    int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
    return uint8_t(pa <= pb && pa <= pc ? a : pb <= pc ? b : c);
}

bool unfilterRow(uint8_t* row, const uint8_t* prior, size_t n, size_t bpp, uint8_t filter)
{
    switch (filter) {
    case 0: return true;
    case 1:
        for (size_t i = bpp; i < n; ++i) row[i] = uint8_t(row[i] + row[i - bpp]);
        return true;
    case 2:
        if (prior)
            for (size_t i = 0; i < n; ++i) row[i] = uint8_t(row[i] + prior[i]);
        return true;
    case 3:
        for (size_t i = 0; i < n; ++i) {
            int left = i >= bpp ? row[i - bpp] : 0, up = prior ? prior[i] : 0;
            row[i] = uint8_t(row[i] + ((left + up) >> 1));
        }
        return true;
    case 4:
        for (size_t i = 0; i < n; ++i) {
            int left = i >= bpp ? row[i - bpp] : 0, up = prior ? prior[i] : 0;
            int ul = (prior && i >= bpp) ? prior[i - bpp] : 0;
            row[i] = uint8_t(row[i] + paeth(left, up, ul));
        }
        return true;
    default:
        return false;
    }
}

// Inflates the zlib stream of the IDAT chunks; false unless it yields at least
// `expected` bytes.
bool inflateAll(const std::vector<std::span<const uint8_t>>& parts, size_t expected, std::vector<uint8_t>& raw)
{
    z_stream z{};
    if (inflateInit(&z) != Z_OK)
        return false;
    raw.resize(std::min<size_t>(expected, 1 << 16));
    size_t produced = 0;
    int rc = Z_OK;
    for (size_t k = 0; k < parts.size() && rc == Z_OK && produced < expected; ++k) {
        z.next_in = const_cast<Bytef*>(parts[k].data());
        z.avail_in = uInt(parts[k].size());
        while (z.avail_in > 0 && produced < expected) {
            if (produced == raw.size())
                raw.resize(std::min(expected, raw.size() * 2));
            size_t room = std::min<size_t>(raw.size() - produced, 1u << 30);
            z.next_out = raw.data() + produced;
            z.avail_out = uInt(room);
            rc = inflate(&z, Z_NO_FLUSH);
            produced += room - z.avail_out;
            if (rc != Z_OK)
                break;
        }
    }
    inflateEnd(&z);
    return produced >= expected && (rc == Z_OK || rc == Z_STREAM_END);
}

} // namespace

int readPng(std::span<const uint8_t> f, ImageRecord& image, int64_t maxPixels)
{
    static const uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    if (f.size() < 8 || std::memcmp(f.data(), kSignature, 8) != 0)
        return kImageUnsupported;
    PngHeader h;
    bool haveHeader = false, ended = false;
    const uint8_t* palette = nullptr;
    size_t paletteEntries = 0;
    std::vector<std::span<const uint8_t>> idat;
    size_t pos = 8;
    while (!ended) {
        if (f.size() - pos < 12)
            return kImageUnsupported;
        uint32_t len = be32(&f[pos]);
        if (len > f.size() - pos - 12)
            return kImageUnsupported;
        const uint8_t* type = &f[pos + 4];
        const uint8_t* data = &f[pos + 8];
        uint32_t stored = be32(data + len);
        uint32_t crc = uint32_t(crc32(crc32(0, nullptr, 0), type, len + 4));
        pos += 12 + size_t(len);
        const bool critical = (type[0] & 0x20) == 0;
        if (crc != stored) {
            if (critical)
                return kImageUnsupported;
            continue;
        }
        if (std::memcmp(type, "IHDR", 4) == 0) {
            if (haveHeader || len != 13)
                return kImageUnsupported;
            h.width = be32(data);
            h.height = be32(data + 4);
            h.depth = data[8];
            h.colourType = data[9];
            h.interlace = data[12];
            if (data[10] != 0 || data[11] != 0 || h.interlace > 1 || !validCombination(h.colourType, h.depth))
                return kImageUnsupported;
            if (!sizeAcceptable(h.width, h.height, maxPixels))
                return kImageUnsupported;
            haveHeader = true;
        } else if (!haveHeader) {
            return kImageUnsupported; // IHDR comes first
        } else if (std::memcmp(type, "PLTE", 4) == 0) {
            if (len == 0 || len % 3 != 0 || len > 768 || palette || !idat.empty())
                return kImageUnsupported;
            palette = data;
            paletteEntries = len / 3;
        } else if (std::memcmp(type, "IDAT", 4) == 0) {
            idat.emplace_back(data, len);
        } else if (std::memcmp(type, "IEND", 4) == 0) {
            ended = true;
        } else if (critical) {
            return kImageUnsupported; // a critical chunk we do not know
        }
    }
    if (!haveHeader || idat.empty() || (h.colourType == 3 && !palette))
        return kImageUnsupported;

    const int channels = h.channels();
    const size_t bitsPerPixel = size_t(channels) * size_t(h.depth);
    const size_t filterStep = std::max<size_t>(1, bitsPerPixel / 8);
    const Pass* passes = h.interlace ? kAdam7 : &kWhole;
    const int passCount = h.interlace ? 7 : 1;
    size_t expected = 0;
    for (int p = 0; p < passCount; ++p) {
        size_t pw = passExtent(h.width, passes[p].x0, passes[p].dx);
        size_t ph = passExtent(h.height, passes[p].y0, passes[p].dy);
        if (pw && ph)
            expected += ph * (1 + (pw * bitsPerPixel + 7) / 8);
    }
    std::vector<uint8_t> raw;
    if (!inflateAll(idat, expected, raw))
        return kImageUnsupported;

    int outBits;
    switch (h.colourType) {
    case 0: outBits = h.depth == 1 ? 1 : h.depth <= 4 ? 4 : 8; break;
    case 3: outBits = h.depth <= 4 ? 4 : 8; break;
    case 4: outBits = 8; break;
    default: outBits = 24; break;
    }
    ImageRecord img = makeRawImage(int32_t(h.width), int32_t(h.height), outBits);
    if (img.colourTable) {
        ColourTable& t = *img.colourTable;
        if (h.colourType == 3) {
            for (size_t i = 0; i < paletteEntries; ++i) {
                t[3 * i] = palette[3 * i + 2];
                t[3 * i + 1] = palette[3 * i + 1];
                t[3 * i + 2] = palette[3 * i];
            }
        } else {
            int levels = h.depth < 8 ? (1 << h.depth) : 256;
            for (int i = 0; i < levels; ++i)
                t[3 * i] = t[3 * i + 1] = t[3 * i + 2] = uint8_t(i * 255 / (levels - 1));
        }
    }
    std::span<uint8_t> out = img.data.writable();
    const size_t outRow = size_t(img.rowBytes);
    const int d = h.depth;
    auto sample = [d](const uint8_t* row, size_t k) -> unsigned {
        switch (d) {
        case 8: return row[k];
        case 16: return row[2 * k];
        default: {
            size_t bit = k * size_t(d);
            return (row[bit >> 3] >> (8 - d - (bit & 7))) & ((1u << d) - 1);
        }
        }
    };

    size_t at = 0;
    for (int p = 0; p < passCount; ++p) {
        const Pass& ps = passes[p];
        size_t pw = passExtent(h.width, ps.x0, ps.dx), ph = passExtent(h.height, ps.y0, ps.dy);
        if (!pw || !ph)
            continue;
        const size_t rowLen = (pw * bitsPerPixel + 7) / 8;
        const uint8_t* prior = nullptr;
        for (size_t r = 0; r < ph; ++r) {
            uint8_t filter = raw[at];
            uint8_t* row = &raw[at + 1];
            if (!unfilterRow(row, prior, rowLen, filterStep, filter))
                return kImageUnsupported;
            prior = row;
            at += 1 + rowLen;
            uint8_t* o = &out[(size_t(ps.y0) + r * size_t(ps.dy)) * outRow];
            for (size_t i = 0; i < pw; ++i) {
                size_t x = size_t(ps.x0) + i * size_t(ps.dx);
                if (outBits == 24) {
                    size_t k = i * size_t(channels);
                    o[3 * x] = uint8_t(sample(row, k + 2));
                    o[3 * x + 1] = uint8_t(sample(row, k + 1));
                    o[3 * x + 2] = uint8_t(sample(row, k));
                    continue;
                }
                unsigned v = sample(row, i * size_t(channels));
                if (outBits == 8)
                    o[x] = uint8_t(v);
                else if (outBits == 4)
                    o[x >> 1] |= uint8_t((x & 1) ? v : v << 4);
                else if (v)
                    o[x >> 3] |= uint8_t(0x80 >> (x & 7));
            }
        }
    }
    image = std::move(img);
    return kImageOk;
}

} // namespace sorvane::codec
