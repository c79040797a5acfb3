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
    alignas(32) float recip[64];
    // quant: 64 divisors in natural order.
    explicit QuantDivisors(const uint8_t* quant);
};

// One block's quantized coefficients, the k-th in zigzag order at
// value[coefficientOrder()[k]], and beside each its magnitude category (T.81
// F.1.2.1: the number of bits of its absolute value), which the coder needs.
struct QuantizedBlock {
    alignas(32) int16_t value[64];
    alignas(32) uint8_t bits[64];
};

// Transforms the 8x8 level-shifted samples at `in` (rows `stride` floats apart) and
// quantizes them into `out`. Returns a mask with bit k set when the k-th coefficient
// in zigzag order is not zero, for k >= 1 (bit 0 clear).
uint64_t forwardDctQuantize(const float* in, ptrdiff_t stride, const QuantDivisors& q, QuantizedBlock& out);
const uint8_t* coefficientOrder();

// x86-64 processors with AVX2 get their own inner loops (the caller checks that the
// processor has AVX2): eight lanes instead of four, the same operations in each lane,
// so the same coefficients bit for bit. The target leaves out FMA on purpose: the
// compiler would fuse a multiply and an add, which rounds once instead of twice and
// changes the coefficients (AVX-512 targets bring fused forms too).
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define SORVANE_JPEG_AVX2 1
#define SORVANE_TARGET_AVX2 __attribute__((target("avx2,bmi,bmi2,lzcnt,popcnt")))
SORVANE_TARGET_AVX2 uint64_t forwardDctQuantizeAvx2(const float* in, ptrdiff_t stride, const QuantDivisors& q,
                                                    QuantizedBlock& out);
#endif

} // namespace sorvane::jpeg
