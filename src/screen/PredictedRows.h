#pragma once
// The last step of a 16- or 8-bit screen update: the decoded rectangle has its
// prediction undone and is XORed into the picture, which is its own reference frame.
//
// The agent XORs each pixel with the one to its right (pixel prediction), then each row
// with the row below it (row prediction): the rightmost pixel and the bottom row are the
// anchors, so pixels are undone right to left and rows bottom-up. Both steps are XORs,
// so a pixel's change is the XOR of the decoded values at and right of it in its row,
// XORed with the change of the pixel below it.
//
// Thread: any; touches only the buffers it is given.

#include <cstddef>
#include <cstdint>

namespace sorvane {

// dst[i] ^= src[i] for n bytes, eight at a time.
void XorBytes(uint8_t* dst, const uint8_t* src, size_t n);

struct PredictedRows {
    uint8_t* delta = nullptr;  // the rectangle's first byte in the decoded delta
    size_t deltaStride = 0;    // bytes from one delta row to the next
    uint8_t* target = nullptr; // the rectangle's first byte in the picture
    size_t targetStride = 0;
    size_t rowBytes = 0; // bytes of one rectangle row
    int rows = 0;
    int pixelBytes = 2; // 2 or 1
    bool rowXor = false;
    bool pixelXor = false;
};

// Undoes the prediction and XORs the rectangle into the picture in one pass, bottom row
// first. The delta rows are left holding scratch values. Uses wide vector instructions
// where the processor has them.
void ApplyPredictedRows(const PredictedRows& rows);

// The pass's inner loops come in versions for instruction sets (64-bit portable, 256- and
// 512-bit vectors), all with the same result to the byte; ApplyPredictedRows takes the
// widest the processor has.
enum class PredictionKernels { Portable, Avx2, Avx512 };
bool predictionKernelsAvailable(PredictionKernels kernels);
// ApplyPredictedRows with the given inner loops; false, touching nothing, when the
// processor lacks them.
bool ApplyPredictedRowsWith(PredictionKernels kernels, const PredictedRows& rows);

} // namespace sorvane
