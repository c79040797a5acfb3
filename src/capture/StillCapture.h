#pragma once
// Still captures of a connection's picture: the picture as the image library's
// record, and writing it as BMP, 24-bit BMP, GIF, JPEG or PNG the way the capture
// commands do, by a name the user typed or by a one-click name.
//
// Thread: any; CapturePicture takes the picture mutex while it copies.

#include <ctime>
#include <filesystem>
#include <optional>
#include <string>

#include "imaging/ImageRecord.h"
#include "screen/ScreenState.h"

namespace sorvane {

// The save dialog's file types, 1-based as the dialog counts them. PNG is the fifth.
enum class CaptureFormat { Bmp = 1, Bmp24 = 2, Gif = 3, Jpeg = 4, Png = 5 };

// ".BMP", ".BMP", ".GIF", ".JPG", ".PNG"
const char* captureExtension(CaptureFormat format);

// The format a file name's extension names, compared without case: .bmp, .gif,
// .jpg, .jpeg, .png. None for any other extension or none at all.
std::optional<CaptureFormat> formatOfExtension(const std::filesystem::path& path);

struct CaptureTarget {
    std::filesystem::path path;
    CaptureFormat format;
};

// The file a name typed in the save dialog with the chosen filter is written to: a
// name whose extension names one of the five formats is written in that format
// (".bmp" keeps the 24-bit choice of the BMP 24bpp filter, else the picture's own
// depth); any other name gets the filter's extension appended and its format.
CaptureTarget ResolveCaptureTarget(const std::filesystem::path& typed, CaptureFormat chosen);

// The format of one-click captures: clickFormat 0..3 selects BMP, BMP24, GIF, JPEG
// (anything else counts as 0); png overrides it.
CaptureFormat oneClickFormat(int clickFormat, bool png);

// "YYYY-MM-DD;HH-MM-SS" of a UTC time.
std::string oneClickBaseName(std::time_t utc);

// The connection's current picture at the device's own resolution, without skin,
// scale or rotation: 16-bit 565 rows, or 4/8-bit indices with their colour table
// (the fixed 16 colours in low colour mode), top row first. The pixels are copied
// under the picture mutex, so a capture never mixes two updates. False when the
// connection has no picture.
bool CapturePicture(const ScreenState& state, ImageRecord& picture);

// Writes the picture to exactly this path in the format's file type through the
// image library: the picture itself (BMP), a 24-bit copy (BMP24), an 8-bit GIF LZW
// copy (GIF; 16-bit pictures are reduced to 8 bits first), a 24-bit JPEG copy at
// options 1 (JPEG), or the picture itself (PNG). Returns the library's result code
// (0 = written).
int WriteCapture(const ImageRecord& picture, const std::filesystem::path& path, CaptureFormat format);

// Writes the picture into `folder` as <base><ext>, a name never taken before: when it
// is (an earlier capture), as "<base>-2<ext>", "-3" and so on; the file is claimed with
// O_EXCL, so nothing that is there (a link included) is replaced or followed. `written`
// receives the path on success. Returns the library's result code (-3 when no file
// could be created). The folder is not made.
int WriteNewCapture(const ImageRecord& picture, const std::filesystem::path& folder, const std::string& base,
                    CaptureFormat format, std::filesystem::path& written);

// A one-click capture: writes programDir/RECORDED_DATA/<oneClickBaseName(utc)><ext>,
// creating the folder when it is missing. A name that is already taken (a second
// capture in the same second) is never replaced: the capture goes to "<name>-2<ext>",
// "-3" and so on. `written` receives the path on success. Returns the library's
// result code (-3 when no file could be created).
int WriteOneClickCapture(const ImageRecord& picture, const std::filesystem::path& programDir, std::time_t utc,
                         CaptureFormat format, std::filesystem::path& written);

} // namespace sorvane
