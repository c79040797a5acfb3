#pragma once
// Helpers of the image, JPEG and capture tests: running the oracle scripts and
// comparing our pixels with the pixels Pillow reads.

#include "imaging/ImageLibrary.h"

#include <filesystem>
#include <string>
#include <vector>

namespace sorvane::test {

// Runs an oracle script with SORVANE_PYTHON; fails the test (and returns "") when the
// interpreter or the script fails, a missing Pillow or ffprobe included. Returns
// standard output.
std::string runScript(const char* script, const std::vector<std::string>& args);
// The same for image_oracle.py.
std::string runOracle(const std::vector<std::string>& args);

struct RgbPicture {
    int width = 0, height = 0;
    std::vector<uint8_t> rgb; // red, green, blue; top row first
};
// Reads FILE.rgb as written by the oracle.
RgbPicture readRgb(const std::filesystem::path& file);

// Empty when every pixel of image (any raw depth, either row order) equals Pillow's;
// else a description of the first difference. 16-bit pixels are compared at the
// precision of their channels (green at greenBits: 6, or 5 for 5-5-5 files).
std::string compareWithPillow(const ImageRecord& image, const RgbPicture& pillow, int greenBits = 6);

// Reads a file with the library and turns it into top-down raw rows.
int readRaw(const std::filesystem::path& file, ImageRecord& raw);

// A raw test picture of the given depth with varied content; at 4 and 8 bits with a
// varied colour table, at 16 and 24 bits with up to `colours` distinct colours
// (0: as many as the picture has pixels).
ImageRecord testPicture(int width, int height, int bits, int colours = 0, uint32_t seed = 1);

// The same picture with its rows stored bottom row first.
ImageRecord bottomUpCopy(const ImageRecord& topDown);

std::vector<uint8_t> readFileBytes(const std::filesystem::path& file);
void writeFileBytes(const std::filesystem::path& file, const std::vector<uint8_t>& bytes);

} // namespace sorvane::test
