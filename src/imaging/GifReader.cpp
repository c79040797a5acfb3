// GIF files (87a and 89a): the first image, placed on its logical screen, with its
// local or the global colour table, interlaced or not.
//
//   "GIF87a" | "GIF89a"
//   screen descriptor: u16 width, u16 height, flags (0x80 global table, low 3 bits
//   size), background index, aspect
//   [global table: 3 << (size + 1) bytes of red, green, blue]
//   blocks: 0x21 label sub-blocks... 0 | 0x2C image | 0x3B trailer
//   image: u16 left, top, width, height, flags (0x80 local table, 0x40 interlaced),
//   [local table], LZW minimum code size, sub-blocks (length byte, bytes), 0

#include "imaging/ImageCodecs.h"

#include "imaging/GifLzw.h"
#include "platform/ByteOrder.h"

#include <cstring>

namespace sorvane::codec {

namespace {

// Appends the sub-blocks starting at pos to out (when given) and returns the position
// after the terminating empty block, or the end of the data when it is cut short.
size_t readSubBlocks(std::span<const uint8_t> f, size_t pos, std::vector<uint8_t>* out)
{
    while (pos < f.size()) {
        size_t n = f[pos++];
        if (n == 0)
            return pos;
        n = std::min(n, f.size() - pos);
        if (out)
            out->insert(out->end(), f.begin() + pos, f.begin() + pos + n);
        pos += n;
    }
    return pos;
}

void setTable(ColourTable& table, const uint8_t* rgb, size_t entries)
{
    table.fill(0);
    for (size_t i = 0; i < entries && i < 256; ++i) {
        table[3 * i] = rgb[3 * i + 2];
        table[3 * i + 1] = rgb[3 * i + 1];
        table[3 * i + 2] = rgb[3 * i];
    }
}

} // namespace

int readGif(std::span<const uint8_t> f, ImageRecord& image, int64_t maxPixels)
{
    if (f.size() < 13 || std::memcmp(f.data(), "GIF8", 4) != 0 || (f[4] != '7' && f[4] != '9') || f[5] != 'a')
        return kImageUnsupported;
    const int64_t screenW = loadLe16(&f[6]), screenH = loadLe16(&f[8]);
    const uint8_t screenFlags = f[10];
    size_t pos = 13;
    const uint8_t* globalTable = nullptr;
    size_t globalEntries = 0;
    if (screenFlags & 0x80) {
        globalEntries = size_t(1) << ((screenFlags & 7) + 1);
        if (pos + 3 * globalEntries > f.size())
            return kImageUnsupported;
        globalTable = &f[pos];
        pos += 3 * globalEntries;
    }

    int transparent = -1;
    std::string comment;
    bool haveComment = false;
    while (pos < f.size()) {
        uint8_t tag = f[pos++];
        if (tag == 0x3B)
            break;
        if (tag == 0x21) {
            if (pos >= f.size())
                break;
            uint8_t label = f[pos++];
            if (label == 0xF9 && pos + 5 <= f.size() && f[pos] == 4) {
                if (f[pos + 1] & 1)
                    transparent = f[pos + 4];
                else
                    transparent = -1;
            }
            if (label == 0xFE && !haveComment) {
                std::vector<uint8_t> text;
                pos = readSubBlocks(f, pos, &text);
                comment.assign(text.begin(), text.end());
                haveComment = true;
                continue;
            }
            pos = readSubBlocks(f, pos, nullptr);
            continue;
        }
        if (tag != 0x2C)
            continue; // stray bytes between blocks are passed over
        if (pos + 10 > f.size())
            return kImageUnsupported;
        const int64_t left = loadLe16(&f[pos]), top = loadLe16(&f[pos + 2]);
        const int64_t fw = loadLe16(&f[pos + 4]), fh = loadLe16(&f[pos + 6]);
        const uint8_t flags = f[pos + 8];
        pos += 9;
        const uint8_t* table = globalTable;
        size_t entries = globalEntries;
        if (flags & 0x80) {
            entries = size_t(1) << ((flags & 7) + 1);
            if (pos + 3 * entries > f.size())
                return kImageUnsupported;
            table = &f[pos];
            pos += 3 * entries;
        }
        if (pos >= f.size())
            return kImageUnsupported;
        const int minCodeSize = f[pos++];
        if (minCodeSize < 1 || minCodeSize > 8)
            return kImageUnsupported;
        const int64_t canvasW = std::max(screenW, left + fw), canvasH = std::max(screenH, top + fh);
        if (!sizeAcceptable(canvasW, canvasH, maxPixels))
            return kImageUnsupported;

        std::vector<uint8_t> stream;
        readSubBlocks(f, pos, &stream);
        std::vector<uint8_t> pixels(size_t(fw * fh));
        size_t got = gifLzwDecode(stream, minCodeSize, pixels);

        ImageRecord img = makeRawImage(int32_t(canvasW), int32_t(canvasH), 8);
        if (table) {
            setTable(*img.colourTable, table, entries);
        } else {
            for (int i = 0; i < 256; ++i)
                (*img.colourTable)[3 * i] = (*img.colourTable)[3 * i + 1] = (*img.colourTable)[3 * i + 2] = uint8_t(i);
        }
        std::span<uint8_t> out = img.data.writable();
        if (transparent >= 0)
            std::memset(out.data(), transparent, out.size());
        // Row order of the stream: straight, or the four interlace passes.
        static const int passStart[4] = {0, 4, 2, 1}, passStep[4] = {8, 8, 4, 2};
        const bool interlaced = (flags & 0x40) != 0;
        size_t done = 0;
        int pass = 0;
        int64_t y = 0;
        for (int64_t r = 0; r < fh && done < got; ++r) {
            int64_t row = r;
            if (interlaced) {
                while (pass < 4 && y >= fh) {
                    ++pass;
                    if (pass < 4)
                        y = passStart[pass];
                }
                if (pass >= 4)
                    break;
                row = y;
                y += passStep[pass];
            }
            size_t n = std::min<size_t>(size_t(fw), got - done);
            std::memcpy(&out[size_t(top + row) * size_t(canvasW) + size_t(left)], &pixels[done], n);
            done += n;
        }
        img.comment = comment.substr(0, ImageRecord::kCommentSize - 1);
        image = std::move(img);
        return kImageOk;
    }
    return kImageUnsupported;
}

} // namespace sorvane::codec
