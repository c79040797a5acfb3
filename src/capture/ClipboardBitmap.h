#pragma once
// The clipboard form of a captured picture: a packed device-independent bitmap, the
// block desktop image programs paste.
//
//   0  BITMAPINFOHEADER (40 bytes): 40 | width | height (positive: bottom row first)
//      | planes 1 | bit count 4, 8 or 16 | compression (0, or 3 = bit fields at 16 bits)
//      | image size = rows x stride | 0 | 0 | 0 | 0
//   40 16 bits: the masks 0xF800 (red), 0x07E0 (green), 0x001F (blue); rows from 52
//      4 bits: 16 entries of blue, green, red, 0; rows from 104
//      8 bits: 256 entries; rows from 1064
//   rows: bottom screen row first, each padded to a multiple of 4 bytes (the stride)
// The block is height x stride + 1068 bytes long, zero beyond the rows.
//
// Pure functions; any thread.

#include <cstdint>
#include <vector>

#include "imaging/ImageRecord.h"

namespace sorvane {

// The packed bitmap of a raw picture of 4, 8 or 16 bits per pixel (as CapturePicture
// gives); empty for anything else.
std::vector<uint8_t> PackedBitmap(const ImageRecord& picture);

// The same bitmap as a BMP file (the 14-byte file header in front), for clipboards
// that carry image files.
std::vector<uint8_t> BmpFileOfPackedBitmap(const std::vector<uint8_t>& packed);

} // namespace sorvane
