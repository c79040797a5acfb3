#pragma once
// The device picture as a window shows it: the size of the display in use, and the
// colours of any part of the picture turned by the view's rotation (the picture
// itself is chosen by ShownPicture).
//
// Rotations are clockwise: picture pixel (x, y) of a W x H picture is shown, turned
// by 90, at (H - 1 - y, x); by 180 at (W - 1 - x, H - 1 - y); by 270 at (y, W - 1 - x).
//
// Thread: any. The caller holds the screen state's picture mutex while it reads a
// live connection's pictures.

#include <cstddef>
#include <cstdint>

#include <vector>

#include "imaging/ImageLibrary.h"
#include "screen/ScreenState.h"
#include "screen/ShownPicture.h" // ShownPicture: the picture painted for the display in use

namespace sorvane {

// The shown size of a W x H picture turned by rotation: H x W for 90 and 270.
DisplaySize RotatedSize(int width, int height, int rotation);

// Writes the colours of the rotated picture's pixels x0..x0+w-1, y0..y0+h-1 as
// 0xFFRRGGBB words into out, rows of outStride words. The region must lie inside the
// rotated picture (it is clipped to it; pixels outside are left alone).
void RenderRotatedRegion(const Picture& picture, int rotation, int x0, int y0, int w, int h, uint32_t* out,
                         size_t outStride);

// The part left..right-1, top..bottom-1 of `image` turned by `rotation` (in turned
// coordinates, inside the turned image), as packed rows of the image's own depth;
// `target` tells their size and row length (its pixels are the returned rows). Empty
// when the image library refuses it.
std::vector<uint8_t> RenderTurnedPart(const ImageRecord& image, int rotation, int left, int top, int right, int bottom,
                                      RenderTarget& target);

} // namespace sorvane
