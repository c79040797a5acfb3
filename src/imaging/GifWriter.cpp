// Writes GIF files from GIF LZW images (imageType 9), in this order:
//   "GIF87a"
//   screen descriptor: u16 width, u16 height, 0x80 + (bits - 1), background 0, aspect 0
//   global colour table: 2^bits entries of red, green, blue (black, white at 1 bit)
//   application extension: 0x21 0xFF, one 33-byte sub-block with our identification, 0
//   comment extension when the record has a comment: 0x21 0xFE, one sub-block, 0
//   ',' left 0, top 0, width, height, flags 0; minimum code size (2 at 1 bit, else the
//   bit depth); the LZW data in sub-blocks of at most 255 bytes; 0; ';'

#include "imaging/ImageCodecs.h"

#include "platform/ByteOrder.h"

#include <string_view>

namespace sorvane::codec {

namespace {
constexpr std::string_view kIdentification = "Sorvane image library, version 1.";
static_assert(kIdentification.size() == 33);

void put16(std::vector<uint8_t>& out, int v)
{
    out.push_back(uint8_t(v));
    out.push_back(uint8_t(v >> 8));
}
} // namespace

int writeGif(const ImageRecord& image, std::vector<uint8_t>& out)
{
    const int bits = image.bitsPerPixel;
    if (image.imageType != kImageGifLzw || (bits != 1 && bits != 4 && bits != 8))
        return kImageUnsupported;
    if (image.width <= 0 || image.height <= 0 || image.width > 0xFFFF || image.height > 0xFFFF)
        return kImageUnsupported;
    if (bits != 1 && !image.colourTable)
        return kImageUnsupported;
    std::span<const uint8_t> lzw = image.payload();
    if (lzw.empty() || lzw.size() != image.dataSize)
        return kImageUnsupported;

    const size_t entries = size_t(1) << bits;
    out.assign({'G', 'I', 'F', '8', '7', 'a'});
    out.reserve(13 + 3 * entries + 37 + 140 + 11 + lzw.size() + lzw.size() / 255 + 3);
    put16(out, image.width);
    put16(out, image.height);
    out.push_back(uint8_t(0x80 + (bits - 1)));
    out.push_back(0);
    out.push_back(0);
    for (size_t i = 0; i < entries; ++i) {
        if (bits == 1) {
            uint8_t v = i ? 255 : 0;
            out.insert(out.end(), {v, v, v});
        } else {
            const uint8_t* e = image.colourTable->data() + 3 * i;
            out.insert(out.end(), {e[2], e[1], e[0]});
        }
    }
    out.insert(out.end(), {0x21, 0xFF, uint8_t(kIdentification.size())});
    out.insert(out.end(), kIdentification.begin(), kIdentification.end());
    out.push_back(0);
    std::string_view comment(image.comment);
    comment = comment.substr(0, std::min(comment.find('\0'), ImageRecord::kCommentSize - 1));
    if (!comment.empty()) {
        out.insert(out.end(), {0x21, 0xFE, uint8_t(comment.size())});
        out.insert(out.end(), comment.begin(), comment.end());
        out.push_back(0);
    }
    out.push_back(',');
    put16(out, 0);
    put16(out, 0);
    put16(out, image.width);
    put16(out, image.height);
    out.push_back(0);
    out.push_back(uint8_t(bits == 1 ? 2 : bits));
    for (size_t at = 0; at < lzw.size(); at += 255) {
        size_t n = std::min<size_t>(255, lzw.size() - at);
        out.push_back(uint8_t(n));
        out.insert(out.end(), lzw.begin() + at, lzw.begin() + at + n);
    }
    out.push_back(0);
    out.push_back(';');
    return kImageOk;
}

} // namespace sorvane::codec
