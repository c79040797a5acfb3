#pragma once
// Still captures of a connection's picture: the picture as the image library's
// record, and writing it as BMP, 24-bit BMP, GIF or JPEG the way the capture
// commands do.
//
// Thread: any; CapturePicture takes the picture mutex while it copies.

#include <filesystem>
#include <string>

#include "imaging/ImageRecord.h"
#include "screen/ScreenState.h"

namespace sorvane {

// The save dialog's file types, 1-based as the dialog counts them.
enum class CaptureFormat { Bmp = 1, Bmp24 = 2, Gif = 3, Jpeg = 4 };

// ".BMP", ".BMP", ".GIF", ".JPG"
const char* captureExtension(CaptureFormat format);

// The connection's current picture at the device's own resolution, without skin,
// scale or rotation: 16-bit 565 rows, or 4/8-bit indices with their colour table
// (the fixed 16 colours in low colour mode), top row first. The pixels are copied
// under the picture mutex, so a capture never mixes two updates. False when the
// connection has no picture.
bool CapturePicture(const ScreenState& state, ImageRecord& picture);

// Writes the picture in the format's file type through the image library: the picture
// itself (BMP), a 24-bit copy (BMP24), an 8-bit GIF LZW copy (GIF; 16-bit pictures are
// reduced to 8 bits first) or a 24-bit JPEG copy at options 1 (JPEG). A path without
// any "." gets the format's extension. Returns the library's result code (0 = written).
int WriteCapture(const ImageRecord& picture, std::filesystem::path path, CaptureFormat format);

} // namespace sorvane
