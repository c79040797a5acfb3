#pragma once
// The stored pictures of a script's check lines: read from PNG or BMP files into RGB
// rows, and written back (the recorder's checkpoints, a failed check's pictures).
//
// Reading goes through RegularFile (by way of the image library's mapping): a FIFO, a
// device or a folder is refused without waiting, and so is a file beyond
// kMaxCheckPictureFileSize bytes or kMaxCheckPicturePixels pixels. Writing goes to
// "<path>.part", renamed over path once whole: nothing half-written is ever left
// under either name.
//
// Blocking file I/O; no shared state (any thread).

#include <cstdint>
#include <filesystem>
#include <string>

#include "screen/ScreenMatch.h"

namespace sorvane {

inline constexpr uint64_t kMaxCheckPictureFileSize = uint64_t(64) << 20;
inline constexpr int64_t kMaxCheckPicturePixels = int64_t(4096) * 4096;

// Reads a PNG or BMP file of any depth the image library reads into RGB rows, top row
// first. False with a short reason ("is a folder", "is not a PNG or BMP picture")
// and `out` left as it was.
bool LoadRgbPicture(const std::filesystem::path& path, RgbPicture& out, std::string& error);

// Writes the picture as PNG or BMP (24 bits), chosen by the extension (".png", ".bmp",
// any case), replacing a file of that name. False with a reason when the extension
// names neither, the picture is empty or the file cannot be written.
bool SaveRgbPicture(const std::filesystem::path& path, const RgbPicture& picture, std::string& error);

} // namespace sorvane
