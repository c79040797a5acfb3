#pragma once
// Entropy-coded segment reading for the JPEG decoder: a bit reader over the bytes
// of one scan (byte stuffing removed, stopping at any marker) and a Huffman
// decoding table built from a DHT segment.
//
// When the reader reaches a marker or the end of the file it feeds zero bits, as
// T.81 decoders do, but counts them: a scan that consumed any of them was cut
// short, and the decoder reports the stream as corrupt.

#include <array>
#include <cstddef>
#include <cstdint>

namespace sorvane::jpeg {

class HuffmanTable {
public:
    static constexpr int kLookBits = 9;

    // Builds the table from the DHT counts (codes of each length 1..16) and the
    // symbols. Returns false when the counts describe an impossible code.
    bool build(const uint8_t counts[16], const uint8_t* symbols, int symbolCount);
    bool valid() const { return valid_; }

    // fast_[peek] = (code length << 8) | symbol for codes of at most kLookBits bits;
    // 0 for longer codes.
    std::array<uint16_t, 1 << kLookBits> fast_{};
    // For longer codes: the largest code of each length (-1 when none) and the
    // offset that turns a code of that length into an index into symbols_.
    std::array<int32_t, 18> maxCode_{};
    std::array<int32_t, 17> valueOffset_{};
    std::array<uint8_t, 256> symbols_{};

private:
    bool valid_ = false;
};

class BitReader {
public:
    BitReader(const uint8_t* data, size_t size, size_t pos) : data_(data), size_(size), pos_(pos) {}

    // Position of the first byte not yet taken into the bit buffer. After a scan this
    // is at the marker that ended it (or the end of the data).
    size_t position() const { return pos_; }
    // True when bits past the real data were consumed.
    bool overran() const { return nbits_ < padBits_; }

    // Drops the bits left in the current byte and starts over at `pos` (used at
    // restart markers).
    void restartAt(size_t pos)
    {
        pos_ = pos;
        acc_ = 0;
        nbits_ = 0;
        padBits_ = 0;
        atMarker_ = false;
    }

    void ensure(int n)
    {
        if (nbits_ < n)
            refill();
    }

    // Takes n (0..16) bits; ensure() must have made them available.
    uint32_t take(int n)
    {
        if (n == 0)
            return 0;
        uint32_t v = uint32_t(acc_ >> (64 - n));
        acc_ <<= n;
        nbits_ -= n;
        return v;
    }

    uint32_t bits(int n)
    {
        ensure(n);
        return take(n);
    }

    int bit()
    {
        ensure(1);
        return int(take(1));
    }

    // The value of an n-bit magnitude category (T.81 F.2.2.1 EXTEND).
    int extend(int n)
    {
        if (n == 0)
            return 0;
        ensure(n);
        int v = int(take(n));
        return v < (1 << (n - 1)) ? v - (1 << n) + 1 : v;
    }

    // Decodes one symbol; returns -1 for a code the table does not hold.
    int decode(const HuffmanTable& t)
    {
        ensure(32);
        unsigned peek = unsigned(acc_ >> (64 - HuffmanTable::kLookBits));
        uint16_t e = t.fast_[peek];
        if (e != 0) {
            int len = e >> 8;
            acc_ <<= len;
            nbits_ -= len;
            return e & 0xFF;
        }
        for (int len = HuffmanTable::kLookBits + 1; len <= 16; ++len) {
            int32_t code = int32_t(acc_ >> (64 - len));
            if (code <= t.maxCode_[len]) {
                acc_ <<= len;
                nbits_ -= len;
                int index = code + t.valueOffset_[len];
                return (index >= 0 && index < 256) ? t.symbols_[index] : -1;
            }
        }
        return -1;
    }

private:
    void refill();

    const uint8_t* data_;
    size_t size_;
    size_t pos_;
    uint64_t acc_ = 0; // bits, most significant first
    int nbits_ = 0;
    int padBits_ = 0; // zero bits fed after the real data ended (at the tail of acc_)
    bool atMarker_ = false;
};

} // namespace sorvane::jpeg
