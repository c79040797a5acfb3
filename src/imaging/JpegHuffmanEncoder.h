#pragma once
// Entropy coding for the JPEG writer: Huffman code tables made from DHT-style
// specifications and a bit writer that stuffs a zero byte after every 0xFF.
//
// The writer puts bits into caller-provided memory; the caller guarantees room
// (JpegEncoder reserves the worst case of an MCU before coding it).

#include "imaging/JpegFdct.h"
#include "imaging/JpegTables.h"

#include <bit>
#include <cstdint>
#include <cstring>

namespace sorvane::jpeg {

// Each symbol's code with room for the bits that follow it: a symbol's low four bits
// are the magnitude category of the value coded with it, so code[s] holds its
// Huffman code shifted left by s & 15 and size[s] that length plus s & 15 (an
// absent symbol has an empty code).
struct HuffmanCodes {
    uint32_t code[256] = {};
    uint8_t size[256] = {};
    explicit HuffmanCodes(const HuffmanSpec& huffman);
};

class BitWriter {
public:
    explicit BitWriter(uint8_t* out) : p_(out) {}

    uint8_t* position() const { return p_; }
    void moveTo(uint8_t* p) { p_ = p; } // after the caller's buffer was reallocated

    // Appends the n (1..32) low bits of `bits` (no bit above them set), most
    // significant first. The bits gather in a 64-bit word written out when full.
    void put(uint32_t bits, int n)
    {
        if (n < free_) {
            acc_ = (acc_ << n) | bits;
            free_ -= n;
            return;
        }
        // The word fills up: its last `free_` bits are the top of `bits`; the rest
        // of `bits` starts the next word (what lies above them is shifted out
        // before that word is written).
        const int rest = n - free_;
        emit64((acc_ << free_) | (uint64_t(bits) >> rest));
        acc_ = bits;
        free_ = 64 - rest;
    }

    // Pads the last byte with one bits (T.81 F.1.2.3) and writes what is left.
    void flush()
    {
        int pad = (64 - free_) & 7 ? 8 - ((64 - free_) & 7) : 0;
        if (pad)
            put((1u << pad) - 1, pad);
        for (int used = 64 - free_; used > 0; used -= 8)
            emitByte(uint8_t(acc_ >> (used - 8)));
        free_ = 64;
    }

private:
    void emitByte(uint8_t b)
    {
        *p_++ = b;
        if (b == 0xFF)
            *p_++ = 0;
    }

    void emit64(uint64_t w)
    {
        const uint64_t x = ~w; // a zero byte in x is a 0xFF byte in w
        if (((x - 0x0101010101010101u) & ~x & 0x8080808080808080u) == 0) {
            const uint64_t be = std::endian::native == std::endian::little ? __builtin_bswap64(w) : w;
            std::memcpy(p_, &be, 8);
            p_ += 8;
            return;
        }
        for (int s = 56; s >= 0; s -= 8)
            emitByte(uint8_t(w >> s));
    }

    uint8_t* p_;
    uint64_t acc_ = 0;
    int free_ = 64; // bits of acc_ not yet used
};

// The magnitude category of v (T.81 F.1.2.1) and the bits that follow its code;
// without branches, whose direction the sign of a coefficient would make a guess.
inline int magnitudeBits(int v)
{
    const uint32_t sign = uint32_t(v >> 31);
    return 32 - std::countl_zero((uint32_t(v) ^ sign) - sign);
}
inline uint32_t extraBits(int v, int nb) { return uint32_t(v + (v >> 31)) & ((1u << nb) - 1); }

// Codes one block. `order` is coefficientOrder(); mask has bit k set when the k-th
// coefficient in zigzag order is not zero (k >= 1). The writer's state is copied in
// and out so that it stays in registers over the block.
inline void encodeBlock(BitWriter& writer, const QuantizedBlock& block, const uint8_t* order, uint64_t mask,
                        int& pred, const HuffmanCodes& dc, const HuffmanCodes& ac)
{
    BitWriter w = writer;
    int diff = block.value[0] - pred;
    pred = block.value[0];
    int nb = magnitudeBits(diff);
    w.put(dc.code[nb] | extraBits(diff, nb), dc.size[nb]);

    int last = 0;
    while (mask) {
        int k = std::countr_zero(mask);
        mask &= mask - 1;
        int run = k - last - 1;
        last = k;
        while (run >= 16) {
            w.put(ac.code[0xF0], ac.size[0xF0]);
            run -= 16;
        }
        const int at = order[k];
        nb = block.bits[at];
        int sym = (run << 4) | nb;
        w.put(ac.code[sym] | extraBits(block.value[at], nb), ac.size[sym]);
    }
    if (last != 63)
        w.put(ac.code[0], ac.size[0]);
    writer = w;
}

} // namespace sorvane::jpeg
