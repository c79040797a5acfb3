#pragma once
// The image library's JPEG reader.
//
// Reads baseline sequential (SOF0) and progressive (SOF2) Huffman-coded JPEG
// streams of 8-bit samples: greyscale or three components (YCbCr, or RGB when an
// Adobe APP14 segment says so or the component ids are 'R','G','B'), any sampling
// whose factors (1 to 4) divide the largest ones, restart intervals included.
// Two-times chroma is upsampled with the triangle filter, other factors by
// repetition; the inverse DCT is the accurate integer one.
//
// Result codes (those of the image library):
//   0   success
//   -1  the picture is too large to hold in memory
//   -6  not a JPEG stream, or corrupt: a bad or short marker segment, a table that
//       is missing or impossible, a code no table holds, a wrong restart marker, or
//       entropy-coded data cut short. A stream without its end-of-image marker is
//       still accepted when every component was completely decoded (all
//       coefficients, all refinement bits); a partial picture is never reported as
//       a success.
//   -7  a coding process the reader does not handle: extended sequential,
//       lossless, hierarchical, arithmetic coding, JPEG-LS, or 12-bit samples.
// Also -6 for two or four components and for samplings the reader does not handle.
//
// Pure functions of their input; safe to call from any thread; no allocation is
// kept between calls.

#include <cstdint>
#include <span>
#include <vector>

namespace sorvane::jpeg {

struct DecodedJpeg {
    int width = 0, height = 0;
    int components = 0;          // 1 grey or 3
    std::vector<uint8_t> pixels; // top-down rows of width*components bytes, colour in B,G,R order
};

// Decodes a whole JPEG file. On failure `out` is left empty (zero size, no pixels).
int decode(std::span<const uint8_t> file, DecodedJpeg& out);

// Reads the headers up to the frame header: the picture's size and component
// count (1 or 3) as decode() would deliver them. Same result codes as decode();
// it does not look at the entropy-coded data, so a success does not promise that
// decode() succeeds.
int probe(std::span<const uint8_t> file, int& width, int& height, int& components);

} // namespace sorvane::jpeg
