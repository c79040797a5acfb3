#pragma once
// Pictures, files and oracles for the JPEG tests: Pillow (through jpeg_oracle.py
// run by SORVANE_PYTHON) and libjpeg-turbo linked in.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "OracleSupport.h"
#include "imaging/JpegDecoder.h"

namespace sorvane::test {

struct Picture {
    int width = 0, height = 0;
    int channels = 3;            // 3: blue, green, red bytes; 1: grey; 4: CMYK (libjpeg input only)
    std::vector<uint8_t> pixels; // top-down rows, width*channels bytes each
};

// Smooth gradients with noise of +-noise (deterministic).
Picture photoPicture(int width, int height, int noise = 2, uint32_t seed = 1);
// A small-screen window: title and menu bars, a list of entries with an icon,
// a text-like label and a separator line each.
Picture screenPicture(int width, int height);
Picture greyOf(const Picture& p);

// Binary PPM of a three-channel picture.
void writePpm(const std::filesystem::path& path, const Picture& p);

// Runs jpeg_oracle.py with these arguments (see runScript).
std::string pillow(const std::vector<std::string>& args);

// Pillow's decoding of each file: top-down rows converted to our byte order (B,G,R).
struct Reference {
    std::string file;
    Picture picture;
};
std::vector<Reference> pillowDecode(const std::vector<std::filesystem::path>& files);

// The largest difference of one byte between our decoding and the reference, or
// 1000 when sizes or channel counts differ.
int maxDifference(const jpeg::DecodedJpeg& ours, const Picture& reference);
double psnr(const Picture& a, const jpeg::DecodedJpeg& b);

struct LibjpegParams {
    int quality = 85;
    int lumaH = 1, lumaV = 1; // sampling of the first component (others 1x1)
    bool progressive = false;
    unsigned restartInterval = 0; // in MCUs
    int restartRows = 0;          // in MCU rows
    bool arithmetic = false;
    bool rgb = false; // store R, G, B components (Adobe transform 0) instead of YCbCr
};
// libjpeg-turbo's compression of p; empty when libjpeg refused.
std::vector<uint8_t> libjpegEncode(const Picture& p, const LibjpegParams& params);

} // namespace sorvane::test
