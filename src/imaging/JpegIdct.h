#pragma once
// Inverse DCT of one 8x8 block for the JPEG decoder: the integer Loeffler-
// Ligtenberg-Moschytz factorisation with 13-bit constants and two extra bits of
// precision between the passes, the accuracy that common decoders use by default.
//
// Divisors are limited to 32767 and dequantized coefficients to the 16-bit range
// first; no stream made from 8-bit samples comes near those limits, so this only
// tames corrupt data.

#include <cstddef>
#include <cstdint>

namespace sorvane::jpeg {

// coefs: 64 quantized coefficients in natural order; quant: the 64 divisors in
// natural order. Writes 8 rows of 8 samples (level shift and clamping done) at out,
// rows `stride` bytes apart. Uses SSE2 where the target has it.
void inverseDct(const int16_t* coefs, const uint16_t* quant, uint8_t* out, ptrdiff_t stride);

// The same transform in plain C++, one coefficient at a time; the SSE2 version gives
// identical samples. Used where SSE2 is missing, and by the tests as the reference.
void inverseDctScalar(const int16_t* coefs, const uint16_t* quant, uint8_t* out, ptrdiff_t stride);

} // namespace sorvane::jpeg
