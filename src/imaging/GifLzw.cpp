#include "imaging/GifLzw.h"

#include <cstring>

namespace sorvane {

namespace {
constexpr int kTableBits = 14;
constexpr uint32_t kMaxCodes = 4096;
// Like the common encoders we start afresh one code early, so that no decoder ever
// sees a full table followed by further codes.
constexpr uint32_t kLastCode = 4095;
} // namespace

GifLzwEncoder::GifLzwEncoder(int minCodeSize, std::vector<uint8_t>& out, size_t expectedPixels)
    : out_(out), minCodeSize_(minCodeSize), codeSize_(minCodeSize + 1), clear_(1u << minCodeSize),
      next_(clear_ + 2), table_(size_t(1) << kTableBits, 0)
{
    pos_ = out_.size();
    reserve(expectedPixels + 16);
    put(clear_);
}

void GifLzwEncoder::reserve(size_t codes)
{
    // Each code takes at most 12 bits, plus one clear code per 4090 codes.
    size_t need = pos_ + codes * 2 + 64;
    if (out_.size() < need)
        out_.resize(std::max(need, out_.size() + out_.size() / 2));
}

void GifLzwEncoder::resetTable()
{
    if (++epoch_ == 0) {
        std::fill(table_.begin(), table_.end(), 0);
        epoch_ = 1;
    }
    next_ = clear_ + 2;
    codeSize_ = minCodeSize_ + 1;
}

inline void GifLzwEncoder::put(uint32_t code)
{
    bits_ |= uint64_t(code) << bitCount_;
    bitCount_ += codeSize_;
    if (bitCount_ >= 32) {
        uint8_t* p = out_.data() + pos_;
        p[0] = uint8_t(bits_);
        p[1] = uint8_t(bits_ >> 8);
        p[2] = uint8_t(bits_ >> 16);
        p[3] = uint8_t(bits_ >> 24);
        pos_ += 4;
        bits_ >>= 32;
        bitCount_ -= 32;
    }
}

void GifLzwEncoder::add(std::span<const uint8_t> indices)
{
    if (indices.empty())
        return;
    reserve(indices.size());
    const uint8_t* p = indices.data();
    const uint8_t* end = p + indices.size();
    uint32_t prefix;
    if (prefix_ < 0)
        prefix = *p++;
    else
        prefix = uint32_t(prefix_);
    const uint64_t epochTag = uint64_t(epoch_) << 20;
    uint64_t tagBase = epochTag;
    uint64_t* table = table_.data();
    constexpr uint32_t mask = (1u << kTableBits) - 1;
    for (; p < end; ++p) {
        const uint32_t key = (prefix << 8) | *p;
        const uint64_t tag = tagBase | key;
        uint32_t h = (key * 2654435761u) >> (32 - kTableBits);
        for (;;) {
            uint64_t e = table[h];
            if ((e >> 12) == tag) {
                prefix = uint32_t(e & 0xFFF);
                goto found;
            }
            if ((e >> 32) != epoch_)
                break;
            h = (h + 1) & mask;
        }
        put(prefix);
        if (next_ < kLastCode) {
            table[h] = (tag << 12) | next_;
            ++next_;
            if (next_ > (1u << codeSize_) && codeSize_ < 12)
                ++codeSize_;
        } else {
            put(clear_);
            resetTable();
            tagBase = uint64_t(epoch_) << 20;
        }
        prefix = *p;
    found:;
    }
    prefix_ = int32_t(prefix);
}

void GifLzwEncoder::finish()
{
    reserve(4);
    if (prefix_ >= 0)
        put(uint32_t(prefix_));
    put(clear_ + 1);
    while (bitCount_ > 0) {
        out_[pos_++] = uint8_t(bits_);
        bits_ >>= 8;
        bitCount_ -= 8;
    }
    bitCount_ = 0;
    out_.resize(pos_);
    prefix_ = -1;
}

size_t gifLzwDecode(std::span<const uint8_t> stream, int minCodeSize, std::span<uint8_t> out)
{
    if (minCodeSize < 1 || minCodeSize > 8)
        return 0;
    static_assert(kMaxCodes == 4096);
    std::vector<uint16_t> prefix(kMaxCodes), length(kMaxCodes);
    std::vector<uint8_t> suffix(kMaxCodes), first(kMaxCodes);
    const uint32_t clear = 1u << minCodeSize, end = clear + 1;
    for (uint32_t i = 0; i < clear; ++i) {
        suffix[i] = first[i] = uint8_t(i);
        length[i] = 1;
    }
    uint32_t next = clear + 2;
    int codeSize = minCodeSize + 1;
    int32_t prev = -1;
    uint64_t bits = 0;
    int bitCount = 0;
    size_t in = 0, pos = 0;
    const size_t outSize = out.size();

    while (pos < outSize) {
        while (bitCount < codeSize && in < stream.size()) {
            bits |= uint64_t(stream[in++]) << bitCount;
            bitCount += 8;
        }
        if (bitCount < codeSize)
            break;
        uint32_t code = uint32_t(bits) & ((1u << codeSize) - 1);
        bits >>= codeSize;
        bitCount -= codeSize;

        if (code == clear) {
            next = clear + 2;
            codeSize = minCodeSize + 1;
            prev = -1;
            continue;
        }
        if (code == end)
            break;
        if (prev < 0) {
            if (code >= clear)
                break;
            out[pos++] = uint8_t(code);
            prev = int32_t(code);
            continue;
        }
        uint8_t firstByte;
        if (code < next) {
            firstByte = first[code];
        } else if (code == next && next < kMaxCodes) {
            firstByte = first[prev];
        } else {
            break;
        }
        if (next < kMaxCodes) {
            prefix[next] = uint16_t(prev);
            suffix[next] = firstByte;
            first[next] = first[prev];
            length[next] = uint16_t(length[prev] + 1);
            ++next;
            if (next == (1u << codeSize) && codeSize < 12)
                ++codeSize;
        }
        // Write the string of `code` (now always in the table) backwards.
        uint32_t c = code;
        size_t len = length[c];
        size_t last = pos + len - 1;
        while (last >= outSize) { // only part of it fits
            c = prefix[c];
            --last;
            --len;
        }
        for (size_t k = 0; k < len; ++k) {
            out[last - k] = suffix[c];
            c = prefix[c];
        }
        pos += len;
        prev = int32_t(code);
    }
    return pos;
}

} // namespace sorvane
