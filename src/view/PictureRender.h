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

} // namespace sorvane
