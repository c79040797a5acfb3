#pragma once
// Entropy coding for the JPEG writer: Huffman code tables made from DHT-style
// specifications and a bit writer that stuffs a zero byte after every 0xFF.
//
// The writer puts bits into caller-provided memory; the caller guarantees room
// (JpegEncoder reserves the worst case of an MCU before coding it).

#include "imaging/JpegTables.h"

#include <bit>
#include <cstdint>
#include <cstring>

namespace sorvane::jpeg {

struct HuffmanCodes {
    uint16_t code[256] = {};
    uint8_t size[256] = {};
    explicit HuffmanCodes(const HuffmanSpec& huffman);
};

class BitWriter {
public:
    explicit BitWriter(uint8_t* out) : p_(out) {}

    uint8_t* position() const { return p_; }
    void moveTo(uint8_t* p) { p_ = p; } // after the caller's buffer was reallocated

    // Appends the n (1..32) low bits of `bits`, most significant first.
    void put(uint32_t bits, int n)
    {
        acc_ = (acc_ << n) | bits;
        count_ += n;
        if (count_ >= 32) {
            count_ -= 32;
            emit32(uint32_t(acc_ >> count_));
        }
    }

    // Pads the last byte with one bits (T.81 F.1.2.3) and writes what is left.
    void flush()
    {
        int pad = (8 - (count_ & 7)) & 7;
        if (pad)
            put((1u << pad) - 1, pad);
        while (count_ >= 8) {
            count_ -= 8;
            emitByte(uint8_t(acc_ >> count_));
        }
    }

private:
    void emitByte(uint8_t b)
    {
        *p_++ = b;
        if (b == 0xFF)
            *p_++ = 0;
    }

    void emit32(uint32_t w)
    {
        uint32_t x = ~w; // a zero byte in x is a 0xFF byte in w
        if (((x - 0x01010101u) & ~x & 0x80808080u) == 0) {
            p_[0] = uint8_t(w >> 24);
            p_[1] = uint8_t(w >> 16);
            p_[2] = uint8_t(w >> 8);
            p_[3] = uint8_t(w);
            p_ += 4;
            return;
        }
        emitByte(uint8_t(w >> 24));
        emitByte(uint8_t(w >> 16));
        emitByte(uint8_t(w >> 8));
        emitByte(uint8_t(w));
    }

    uint8_t* p_;
    uint64_t acc_ = 0;
    int count_ = 0;
};

// The magnitude category of v (T.81 F.1.2.1) and the bits that follow its code.
inline int magnitudeBits(int v) { return v == 0 ? 0 : 32 - std::countl_zero(uint32_t(v < 0 ? -v : v)); }

// Codes one block. The k-th quantized coefficient in zigzag order is coef[order[k]]
// (order[0] == 0); mask has bit k set when it is not zero (k >= 1).
inline void encodeBlock(BitWriter& w, const int16_t* coef, const uint8_t* order, uint64_t mask, int& pred,
                        const HuffmanCodes& dc, const HuffmanCodes& ac)
{
    int diff = coef[0] - pred;
    pred = coef[0];
    int nb = magnitudeBits(diff);
    uint32_t extra = uint32_t(diff < 0 ? diff - 1 : diff) & ((1u << nb) - 1);
    w.put((uint32_t(dc.code[nb]) << nb) | extra, dc.size[nb] + nb);

    int last = 0;
    while (mask) {
        int k = std::countr_zero(mask);
        mask &= mask - 1;
        int run = k - last - 1;
        while (run >= 16) {
            w.put(ac.code[0xF0], ac.size[0xF0]);
            run -= 16;
        }
        int v = coef[order[k]];
        nb = magnitudeBits(v);
        extra = uint32_t(v < 0 ? v - 1 : v) & ((1u << nb) - 1);
        int sym = (run << 4) | nb;
        w.put((uint32_t(ac.code[sym]) << nb) | extra, ac.size[sym] + nb);
        last = k;
    }
    if (last != 63)
        w.put(ac.code[0], ac.size[0]);
}

} // namespace sorvane::jpeg
