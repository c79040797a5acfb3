#include "files/BlockCodec.h"

#include <algorithm>
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

namespace {

// A block that does not shrink goes as it is (as much of it as out holds).
size_t storeRaw(std::span<const uint8_t> in, std::span<uint8_t> out)
{
    const size_t n = std::min(in.size(), out.size());
    if (n > 0)
        std::memmove(out.data(), in.data(), n);
    return n;
}

// One block through a deflate stream that is ready at level 1 (fresh or reset).
size_t deflateBlock(z_stream& s, std::span<const uint8_t> in, std::span<uint8_t> out)
{
    const size_t length = in.size();
    if (length <= out.size()) {
        s.next_in = const_cast<Bytef*>(in.data());
        s.avail_in = uInt(length);
        s.next_out = out.data();
        s.avail_out = uInt(length);
        int r = Z_OK;
        while (s.avail_in > 0 && s.avail_out > 0 && r == Z_OK)
            r = deflate(&s, Z_NO_FLUSH);
        // Anything but the stream's end (no room left, an error) means it did not fit.
        if (r == Z_OK && deflate(&s, Z_FINISH) == Z_STREAM_END)
            return length - s.avail_out;
    }
    return storeRaw(in, out);
}

bool inflateBlock(z_stream& s, std::span<const uint8_t> in, std::span<uint8_t> out)
{
    s.next_in = const_cast<Bytef*>(in.data());
    s.avail_in = uInt(in.size());
    s.next_out = out.data();
    s.avail_out = uInt(out.size());
    int r = Z_OK;
    while (r == Z_OK)
        r = inflate(&s, Z_FINISH);
    // Room for one more byte would have shown a stream longer than wanted; Z_STREAM_END
    // with no room left can only be a stream of exactly out.size() bytes.
    return r == Z_STREAM_END && s.avail_out == 0;
}

} // namespace

size_t CompressBlock(std::span<const uint8_t> in, std::span<uint8_t> out)
{
    z_stream s{};
    if (in.size() > out.size() || deflateInit(&s, 1) != Z_OK)
        return storeRaw(in, out);
    const size_t n = deflateBlock(s, in, out);
    deflateEnd(&s);
    return n;
}

bool UncompressBlock(std::span<const uint8_t> in, std::span<uint8_t> out)
{
    z_stream s{};
    if (inflateInit(&s) != Z_OK)
        return false;
    const bool ok = inflateBlock(s, in, out);
    inflateEnd(&s);
    return ok;
}

// Each stream is made on first use and reset before every later block; a stream that
// cannot be reset is ended, and the block goes through a stream of its own.
struct BlockCoder::Streams {
    z_stream deflater{};
    z_stream inflater{};
    bool deflaterMade = false;
    bool inflaterMade = false;
};

BlockCoder::BlockCoder() : streams_(new Streams) {}

BlockCoder::~BlockCoder()
{
    if (streams_->deflaterMade)
        deflateEnd(&streams_->deflater);
    if (streams_->inflaterMade)
        inflateEnd(&streams_->inflater);
    delete streams_;
}

size_t BlockCoder::compress(std::span<const uint8_t> in, std::span<uint8_t> out)
{
    Streams& st = *streams_;
    if (st.deflaterMade && deflateReset(&st.deflater) != Z_OK) {
        deflateEnd(&st.deflater);
        st.deflaterMade = false;
    } else if (!st.deflaterMade) {
        st.deflater = z_stream{};
        st.deflaterMade = deflateInit(&st.deflater, 1) == Z_OK;
    }
    if (!st.deflaterMade)
        return CompressBlock(in, out);
    return deflateBlock(st.deflater, in, out);
}

bool BlockCoder::uncompress(std::span<const uint8_t> in, std::span<uint8_t> out)
{
    Streams& st = *streams_;
    if (st.inflaterMade && inflateReset(&st.inflater) != Z_OK) {
        inflateEnd(&st.inflater);
        st.inflaterMade = false;
    } else if (!st.inflaterMade) {
        st.inflater = z_stream{};
        st.inflaterMade = inflateInit(&st.inflater) == Z_OK;
    }
    if (!st.inflaterMade)
        return UncompressBlock(in, out);
    return inflateBlock(st.inflater, in, out);
}

} // namespace sorvane
