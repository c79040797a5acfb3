#include "files/BlockCodec.h"

#include <cstring>

#include <zlib.h>

#include "link/CommandPacket.h"
#include "platform/ByteOrder.h"

namespace sorvane {

BlockHeader BlockHeader::make(uint8_t code, uint32_t handle, uint32_t blockIndex)
{
    BlockHeader h;
    h.packet = commandPacket(code);
    h.handle = handle;
    h.blockIndex = blockIndex;
    return h;
}

void EncodeBlockHeader(const BlockHeader& h, std::span<uint8_t, kBlockHeaderSize> out)
{
    std::memcpy(out.data(), h.packet.data(), 4);
    const uint32_t words[7] = {h.handle, h.blockIndex, h.wireLength, h.rawLength, h.crc, h.compressed, h.reserved};
    for (size_t i = 0; i < 7; ++i)
        storeLe32(out.data() + 4 + 4 * i, words[i]);
}

BlockHeader DecodeBlockHeader(std::span<const uint8_t, kBlockHeaderSize> in)
{
    BlockHeader h;
    std::memcpy(h.packet.data(), in.data(), 4);
    const uint8_t* p = in.data() + 4;
    h.handle = loadLe32(p);
    h.blockIndex = loadLe32(p + 4);
    h.wireLength = loadLe32(p + 8);
    h.rawLength = loadLe32(p + 12);
    h.crc = loadLe32(p + 16);
    h.compressed = loadLe32(p + 20);
    h.reserved = loadLe32(p + 24);
    return h;
}

uint64_t BlockCountOf(uint64_t size) { return size / kTransferBlockSize + 1; }

uint32_t RawLengthOf(uint64_t size, uint64_t index)
{
    if ((index + 1) * kTransferBlockSize > size)
        return uint32_t(size % kTransferBlockSize);
    return kTransferBlockSize;
}

size_t CompressBlock(std::span<const uint8_t> in, std::span<uint8_t> out)
{
    const size_t length = in.size();
    z_stream s{};
    bool fits = false;
    if (length <= out.size() && deflateInit(&s, 1) == Z_OK) {
        s.next_in = const_cast<Bytef*>(in.data());
        s.avail_in = uInt(length);
        s.next_out = out.data();
        s.avail_out = uInt(length);
        int r = Z_OK;
        while (s.avail_in > 0 && s.avail_out > 0 && r == Z_OK)
            r = deflate(&s, Z_NO_FLUSH);
        // Anything but the stream's end (no room left, an error) means it did not fit.
        if (r == Z_OK && deflate(&s, Z_FINISH) == Z_STREAM_END)
            fits = true;
        const size_t produced = length - s.avail_out;
        deflateEnd(&s);
        if (fits)
            return produced;
    }
    if (length > 0)
        std::memmove(out.data(), in.data(), std::min(length, out.size()));
    return std::min(length, out.size());
}

bool UncompressBlock(std::span<const uint8_t> in, std::span<uint8_t> out)
{
    z_stream s{};
    if (inflateInit(&s) != Z_OK)
        return false;
    s.next_in = const_cast<Bytef*>(in.data());
    s.avail_in = uInt(in.size());
    s.next_out = out.data();
    s.avail_out = uInt(out.size());
    int r = Z_OK;
    while (r == Z_OK)
        r = inflate(&s, Z_FINISH);
    // Room for one more byte would have shown a stream longer than wanted; Z_STREAM_END
    // with no room left can only be a stream of exactly out.size() bytes.
    const bool ok = r == Z_STREAM_END && s.avail_out == 0;
    inflateEnd(&s);
    return ok;
}

} // namespace sorvane
