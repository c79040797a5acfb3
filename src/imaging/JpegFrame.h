#pragma once
// The decoder's picture of one JPEG frame: its components with their sampling,
// their sample planes and (progressive) coefficient stores. Internal to the JPEG
// decoder; shared between the stream parser (JpegDecoder.cpp) and the output stage
// (JpegColour.cpp).

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace sorvane::jpeg {

struct FrameComponent {
    int id = 0;
    int h = 1, v = 1; // sampling factors
    int tq = 0;       // quantization table selector
    int width = 0, height = 0;           // samples of this component: ceil(X * h / hmax), ceil(Y * v / vmax)
    int blocksW = 0, blocksH = 0;        // blocks that cover those samples
    int paddedBlocksW = 0, paddedBlocksH = 0; // blocks in the whole MCU grid
    std::unique_ptr<uint8_t[]> plane;    // paddedBlocksW*8 x paddedBlocksH*8 samples (written by the IDCT)
    std::vector<int16_t> coefs;          // progressive: 64 per block, natural order, not dequantized
    std::array<uint16_t, 64> quant{};    // natural order, taken when the component is first scanned
    std::array<int8_t, 64> precision{};  // progressive: the point transform reached by each coefficient, -1 = none
    bool scanned = false;
    int dcPred = 0;

    int planeStride() const { return paddedBlocksW * 8; }
};

enum class ColourModel { Grey, YCbCr, Rgb };

struct Frame {
    int width = 0, height = 0;
    bool progressive = false;
    int hmax = 1, vmax = 1;
    int mcusX = 0, mcusY = 0;
    ColourModel colour = ColourModel::Grey;
    std::vector<FrameComponent> comps;
};

// Upsamples and converts the frame's planes into top-down rows of width*components
// bytes (grey, or blue-green-red). `out` must hold width*height*components bytes.
// Returns false for a sampling the output stage does not handle (a component whose
// factors do not divide the largest ones).
bool writePixels(const Frame& frame, uint8_t* out);

} // namespace sorvane::jpeg
