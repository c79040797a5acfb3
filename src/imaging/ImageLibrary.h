#pragma once
// The image library's entry points, in the order the program uses them. Each returns
// kImageOk (0) or a negative result code of ImageRecord.h, never throws, and leaves
// the caller's records in a state FreeImage and CloseImageFile can clean up.
// Calls block on file input and output only. Different records may be used from
// different threads at once; nothing is shared between calls.

#include "imaging/ImageFile.h"
#include "imaging/ImageRecord.h"

#include <filesystem>
#include <span>
#include <vector>

namespace sorvane {

// Opens an existing file for reading, maps it whole and identifies its type by its
// first bytes. -3 when it cannot be opened or mapped, -6 when its type is not known
// (the record is then left closed). flags are unused.
int OpenImageFile(const std::filesystem::path& path, ImageFile& file, int flags = 0);

// Reads the first image of a file opened for reading into image (replacing what it
// held). BMP, GIF and PNG are decoded to raw rows (BMP keeps its row order); a JPEG
// stays encoded (imageType 10 with a JFIF header, else 16; planeFlag 0) until
// ConvertImage. Other identified types give -6. page and options are unused.
int ReadImage(ImageFile& file, ImageRecord& image, int page = 0, int options = 0);

// The same readers over bytes in memory, for a file of the given type, accepting
// pictures of at most maxPixels pixels (larger ones give -6).
int readImageBytes(std::span<const uint8_t> bytes, int fileType, ImageRecord& image,
                   int64_t maxPixels = kMaxImagePixels);

// Makes target an independent copy of source in the encoding target.imageType names
// (0, 9, 10 or 16; set by the caller beforehand). Raw results are always top-down.
// JPEG targets need options 0..7 (bits 0-1 quality step, bit 2 4:2:0 sampling).
int ConvertImage(const ImageRecord& source, ImageRecord& target, int options);

// Operation 2: change bitsPerPixel to argument (8, 16 or 24) of a raw image.
// Operation 6: flip the rows vertically (rowOrder is left as it is).
// Any other operation does nothing and returns 0.
int ImageOperation(ImageRecord& image, int operation, int argument, int extra = 0);

// Draws a raw image into target, which has the image's bits per pixel. topDown false
// means the target's first row is its bottom row. Target pixels outside the picture
// get extra (16 bits: an RGB 565 value; 24 bits: 0x00RRGGBB) or index 0 at 1 to 8 bits.
int RenderImage(const ImageRecord& image, const RenderTarget& target, bool topDown, uint32_t extra = 0);

// Frees the data and the colour table, clearing them; returns how many it freed.
int FreeImage(ImageRecord& image);

// Unmaps and closes a file opened for reading, or closes one opened for writing.
int CloseImageFile(ImageFile& file);

// Opens path for writing images of fileType. Flag bit 0: open an existing file
// instead of replacing it. Returns 0 or -3.
int CreateImageFile(const std::filesystem::path& path, ImageFile& file, int flags, int fileType);

// Writes image as the file's one image: BMP (file type 0) from raw or BMP
// run-length images, GIF (11) from GIF LZW images, JPEG (6) from JPEG images,
// PNG (12) from raw images.
// A second image, another file type or another encoding gives -6.
int WriteImage(ImageFile& file, const ImageRecord& image, int options = 0);

// The whole file WriteImage would write, in memory.
int encodeImageFile(const ImageRecord& image, int fileType, std::vector<uint8_t>& out);

} // namespace sorvane
