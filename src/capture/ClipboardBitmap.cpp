#include "capture/ClipboardBitmap.h"

#include <cstring>

#include "platform/ByteOrder.h"

namespace sorvane {

namespace {
constexpr size_t kHeaderSize = 40;
constexpr size_t kBlockExtra = 1068; // header and the largest colour table: 40 + 1024 + 4
} // namespace

std::vector<uint8_t> PackedBitmap(const ImageRecord& picture)
{
    const int bits = picture.bitsPerPixel;
    if ((bits != 4 && bits != 8 && bits != 16) || !isValidRawImage(picture))
        return {};
    const size_t w = size_t(picture.width), h = size_t(picture.height);
    const size_t stride = ((w * size_t(bits) + 31) / 32) * 4;
    const size_t rowBytes = size_t(packedRowBytes(picture.width, bits));
    const size_t tableBytes = bits == 16 ? 12 : (size_t(1) << bits) * 4;
    const size_t rowsAt = kHeaderSize + tableBytes;
    if (stride * h > UINT32_MAX - kBlockExtra)
        return {};
    std::vector<uint8_t> block(stride * h + kBlockExtra, 0);
    uint8_t* p = block.data();
    storeLe32(p, uint32_t(kHeaderSize));
    storeLe32(p + 4, uint32_t(w));
    storeLe32(p + 8, uint32_t(h));
    storeLe16(p + 12, 1);
    storeLe16(p + 14, uint16_t(bits));
    storeLe32(p + 16, bits == 16 ? 3 : 0);
    storeLe32(p + 20, uint32_t(stride * h));
    if (bits == 16) {
        storeLe32(p + 40, 0xF800);
        storeLe32(p + 44, 0x07E0);
        storeLe32(p + 48, 0x001F);
    } else {
        for (size_t i = 0; i < (size_t(1) << bits); ++i)
            std::memcpy(p + kHeaderSize + 4 * i, &(*picture.colourTable)[3 * i], 3);
    }
    for (size_t y = 0; y < h; ++y)
        std::memcpy(p + rowsAt + (h - 1 - y) * stride, rowOf(picture, int32_t(y)), rowBytes);
    return block;
}

std::vector<uint8_t> BmpFileOfPackedBitmap(const std::vector<uint8_t>& packed)
{
    if (packed.size() < kHeaderSize || packed.size() > UINT32_MAX - 14)
        return {};
    const uint16_t bits = loadLe16(&packed[14]);
    const size_t rowsAt = kHeaderSize + (bits == 16 ? 12 : bits <= 8 ? (size_t(1) << bits) * 4 : 0);
    std::vector<uint8_t> file(14 + packed.size());
    file[0] = 'B';
    file[1] = 'M';
    storeLe32(&file[2], uint32_t(file.size()));
    storeLe32(&file[10], uint32_t(14 + rowsAt));
    std::memcpy(&file[14], packed.data(), packed.size());
    return file;
}

} // namespace sorvane
