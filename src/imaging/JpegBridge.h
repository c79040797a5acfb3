#pragma once
// How the image library reaches the JPEG codec (imaging/JpegDecoder.h,
// imaging/JpegEncoder.h). Internal to the library.

#include "imaging/ImageRecord.h"

namespace sorvane::codec {

// Decodes a JPEG image (imageType 10 or 16) into a top-down raw image: 24 bits, or
// 8 bits with a grey colour table for one-component streams.
int decodeJpegImage(const ImageRecord& source, ImageRecord& raw);

// Encodes a valid raw image of 8 (through its colour table), 16 or 24 bits per pixel
// as a baseline JPEG file: imageType 10 keeps the JFIF APP0 segment; 16 carries the
// APP0 "AVI1" segment of Motion-JPEG frames instead. options 0..7.
int encodeJpegImage(const ImageRecord& raw, uint8_t imageType, int options, ImageRecord& out);

} // namespace sorvane::codec
