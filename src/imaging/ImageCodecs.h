#pragma once
// The format readers and writers behind ReadImage, ConvertImage and WriteImage.
// Internal to the image library. Readers check every size and offset against the
// bytes they are given and return kImageUnsupported for corrupt or unsupported data;
// they fill image only on success.

#include "imaging/ImageRecord.h"

#include <cstdint>
#include <span>
#include <vector>

namespace sorvane::codec {

inline bool sizeAcceptable(int64_t width, int64_t height, int64_t maxPixels = kMaxImagePixels)
{
    return width > 0 && height > 0 && width <= 0x7FFFFF && height <= 0x7FFFFF && width * height <= maxPixels;
}

// maxPixels: the largest width x height accepted.
int readBmp(std::span<const uint8_t> file, ImageRecord& image, int64_t maxPixels);
int readGif(std::span<const uint8_t> file, ImageRecord& image, int64_t maxPixels);
int readPng(std::span<const uint8_t> file, ImageRecord& image, int64_t maxPixels);
// Keeps the JPEG file as it is (imageType 10 or 16) after finding its frame header.
int readJpeg(std::span<const uint8_t> file, ImageRecord& image, int64_t maxPixels);

// GIF LZW images (imageType 9) from raw images of 1, 4 or 8 bits per pixel, and back.
int encodeGifLzwImage(const ImageRecord& raw, ImageRecord& out);
int decodeGifLzwImage(const ImageRecord& source, ImageRecord& raw);

// Reverses the order of the stored rows of a raw image (taking a private copy of
// borrowed pixels first).
void flipStoredRows(ImageRecord& image);

int writeBmp(const ImageRecord& image, std::vector<uint8_t>& out);
int writeGif(const ImageRecord& image, std::vector<uint8_t>& out);
int writePng(const ImageRecord& image, std::vector<uint8_t>& out);

} // namespace sorvane::codec
