#pragma once
// The image library's JPEG writer: baseline sequential JPEG (ITU T.81) with the
// Annex K example Huffman tables and quantization tables derived from the Annex K
// examples by the writer's options.
//
// Stream layout: SOI, APP0 ("JFIF" 1.01, aspect ratio 1:1, no thumbnail; or an
// "AVI1" APP0 for streams that go into Motion-JPEG video), DQT (luminance table 0,
// chrominance table 1), SOF0, DHT (DC 0, AC 0, DC 1, AC 1), SOS, the entropy-coded
// data, EOI. Colour pictures are coded as YCbCr (components 1, 2, 3), greyscale ones
// as one component.
//
// Result codes: 0 success; -1 out of memory; -6 a bad parameter (null pixels, a
// width or height outside 1..65535, a stride shorter than a row, options outside 0..7).
//
// Pure functions of their input; safe to call from any thread.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace sorvane::jpeg {

struct EncodeOptions {
    // The writer's options parameter, 0..7. Its two low bits scale the Annex K
    // quantization tables: 0 divides every entry by 4, 1 by 2, 2 keeps them, 3
    // doubles them. Bit 2 selects 2x2 sampling of the first component (4:2:0).
    int options = 1;
    // 4:2:0 sampling also when bit 2 of options is clear.
    bool subsample420 = false;
    // false: write an "AVI1" APP0 segment instead of the JFIF one.
    bool jfifHeader = true;
};

// Encodes top-down rows of 24-bit pixels in blue, green, red byte order. Row r
// starts at bgr + r * stride (a negative stride walks a bottom-up picture). `out` is
// replaced by the complete file.
int encode(const uint8_t* bgr, int width, int height, ptrdiff_t stride, const EncodeOptions& opt,
           std::vector<uint8_t>& out);

// The same for 8-bit greyscale rows (one component, luminance tables; bit 2 of the
// options and subsample420 have no effect).
int encodeGrey(const uint8_t* grey, int width, int height, ptrdiff_t stride, const EncodeOptions& opt,
               std::vector<uint8_t>& out);

// The writer's inner loops come in versions for instruction sets; all of them write
// the same bytes. encode() and encodeGrey() take the best the processor has.
enum class Kernels { Portable, Avx2 };
bool kernelsAvailable(Kernels kernels);
// encode() (colour) or encodeGrey() with the given inner loops; -6 also when the
// processor lacks them.
int encodeWith(Kernels kernels, const uint8_t* pixels, int width, int height, ptrdiff_t stride, bool colour,
               const EncodeOptions& opt, std::vector<uint8_t>& out);

} // namespace sorvane::jpeg
