#pragma once
// The agent's LZW encoder for screen payloads, in the two variants the client decodes:
//
//   MsbEarly (16- and 8-bit data): 8-bit symbols, clear 256, end 257, codes from 9 bits,
//     written most significant bit first; the code width grows one code early, as in
//     TIFF.
//   LsbLate (4- and 2-bit data): symbols of m = 2..4 bits (one pixel nibble each); byte 0
//     holds m, byte 1 the initial code width m + 1, codes start at byte 2, written least
//     significant bit first; clear 2^m, end 2^m + 1; the width grows when the next
//     free code reaches 2^width, as in GIF.
//
// Codes are at most 12 bits wide. A clear code starts every stream (unless switched
// off), follows every clearEvery data codes when asked, and comes before the table
// would fill; an end code closes the stream and the last byte is padded with zeros.
// Pure function; safe from any thread.

#include <cstdint>
#include <span>
#include <vector>

namespace sorvane::sim {

enum class LzwVariant { MsbEarly, LsbLate };

struct LzwSettings {
    LzwVariant variant = LzwVariant::MsbEarly;
    int rootBits = 8;         // MsbEarly: 8; LsbLate: 2..4
    unsigned clearEvery = 0;  // 0: clear only when the table is full
    bool initialClear = true;
};

// symbols: one symbol per byte, each below 2^rootBits (checked: throws
// std::invalid_argument otherwise, and for a root width the variant does not allow).
std::vector<uint8_t> lzwEncode(std::span<const uint8_t> symbols, const LzwSettings& settings);

} // namespace sorvane::sim
