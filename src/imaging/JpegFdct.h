#pragma once
// Forward DCT and quantization of one 8x8 block for the JPEG writer: the
// Arai-Agui-Nakajima factorisation in single precision, its output scale folded
// into the quantization divisors, rounding to the nearest integer.

#include <cstddef>
#include <cstdint>

namespace sorvane::jpeg {

// Reciprocal divisors of one quantization table, laid out the way
// forwardDctQuantize() needs them.
struct QuantDivisors {
    alignas(16) float recip[64];
    // quant: 64 divisors in natural order.
    explicit QuantDivisors(const uint8_t* quant);
};

// Transforms the 8x8 level-shifted samples at `in` (rows `stride` floats apart) and
// writes the 64 quantized coefficients to coef, the k-th in zigzag order at
// coef[coefficientOrder()[k]]. Returns a mask with bit k set when that coefficient is
// not zero, for k >= 1 (bit 0 clear).
uint64_t forwardDctQuantize(const float* in, ptrdiff_t stride, const QuantDivisors& q, int16_t* coef);
const uint8_t* coefficientOrder();

} // namespace sorvane::jpeg
