#include "imaging/GifLzw.h"

#include <bit>
#include <cstring>

namespace sorvane {

namespace {
constexpr int kTableBits = 13;
constexpr uint32_t kFree = 0xFFFFFFFF; // would be prefix 4095, which is never a prefix
constexpr uint32_t kMaxCodes = 4096;
// Like the common encoders we start afresh one code early, so that no decoder ever
// sees a full table followed by further codes.
constexpr uint32_t kLastCode = 4095;
} // namespace

GifLzwEncoder::GifLzwEncoder(int minCodeSize, std::vector<uint8_t>& out, size_t expectedPixels)
    : out_(out), minCodeSize_(minCodeSize), codeSize_(minCodeSize + 1), clear_(1u << minCodeSize),
      next_(clear_ + 2), table_(size_t(1) << kTableBits, kFree)
{
    pos_ = out_.size();
    reserve(expectedPixels + 16);
    for (uint32_t i = 0; i < clear_; ++i) {
        runLength_[i] = 1;
        runIndex_[i] = uint8_t(i);
        runCodes_[i].reserve(64);
    }
    resetTable();
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
    std::fill(table_.begin(), table_.end(), kFree);
    for (uint32_t i = 0; i < clear_; ++i)
        runCodes_[i].assign(1, uint16_t(i));
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

bool GifLzwEncoder::addCode(uint32_t& code)
{
    if (next_ >= kLastCode) {
        put(clear_);
        resetTable();
        return false;
    }
    code = next_++;
    if (next_ > (1u << codeSize_) && codeSize_ < 12)
        ++codeSize_;
    return true;
}

namespace {
// How many bytes from p on equal v.
size_t runOf(const uint8_t* p, const uint8_t* end, uint8_t v)
{
    const uint8_t* q = p;
    if constexpr (std::endian::native == std::endian::little) {
        const uint64_t pattern = 0x0101010101010101ull * v;
        while (end - q >= 8) {
            uint64_t w;
            std::memcpy(&w, q, 8);
            if (uint64_t x = w ^ pattern)
                return size_t(q - p) + size_t(std::countr_zero(x) >> 3);
            q += 8;
        }
    }
    while (q < end && *q == v)
        ++q;
    return size_t(q - p);
}
} // namespace

void GifLzwEncoder::add(std::span<const uint8_t> indices)
{
    if (indices.empty())
        return;
    reserve(indices.size());
    const uint8_t* p = indices.data();
    const uint8_t* end = p + indices.size();
    uint32_t prefix = prefix_ < 0 ? *p++ : uint32_t(prefix_);
    uint32_t* table = table_.data();
    constexpr uint32_t mask = (1u << kTableBits) - 1;
    while (p < end) {
        const uint8_t c = *p;
        if (runLength_[prefix] && runIndex_[prefix] == c) {
            // prefix is c^j and c follows: walk up the codes of c's runs.
            size_t ahead = runOf(p, end, c);
            size_t j = runLength_[prefix];
            for (;;) {
                std::vector<uint16_t>& codes = runCodes_[c];
                size_t room = codes.size() - j;
                if (ahead <= room) {
                    j += ahead;
                    p += ahead;
                    prefix = codes[j - 1];
                    break;
                }
                j += room;
                p += room;
                ahead -= room;
                put(codes[j - 1]); // c^j, and c^(j+1) becomes a code
                uint32_t code;
                if (addCode(code)) {
                    codes.push_back(uint16_t(code));
                    runLength_[code] = uint16_t(j + 1);
                    runIndex_[code] = c;
                }
                prefix = c;
                j = 1;
                ++p;
                if (--ahead == 0)
                    break;
            }
            continue;
        }
        const uint32_t key = (prefix << 8) | c;
        uint32_t h = (key * 2654435761u) >> (32 - kTableBits);
        uint32_t e;
        while ((e = table[h]) != kFree) {
            if ((e >> 12) == key)
                break;
            h = (h + 1) & mask;
        }
        ++p;
        if (e != kFree) {
            prefix = e & 0xFFF;
            continue;
        }
        put(prefix);
        uint32_t code;
        if (addCode(code)) {
            table[h] = (key << 12) | code;
            runLength_[code] = 0;
        }
        prefix = c;
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
