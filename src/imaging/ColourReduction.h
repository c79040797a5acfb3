#pragma once
// Reduction of a 16- or 24-bit picture to at most 256 colours for 8-bit output (GIF
// captures). A picture of at most 256 distinct colours keeps them exactly; otherwise
// a median cut over a 5-6-5 histogram (boxes split where the weighted error is
// largest, at the weighted median of their widest axis), refined by a few rounds of
// nearest-colour reassignment, with each pixel mapped to its nearest entry. No
// dithering: flat screen areas stay flat. Pure function; no shared state.

#include "imaging/ImageRecord.h"

#include <span>

namespace sorvane {

// Fills table (blue, green, red) and writes one index per pixel of every stored row
// of a valid raw 16- or 24-bit image into indices (width x height bytes, stored row
// order). Returns the number of colours used.
int reduceColours(const ImageRecord& image, ColourTable& table, std::span<uint8_t> indices);

} // namespace sorvane
