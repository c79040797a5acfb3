#pragma once
// The image library's in-memory records: the image record, the render target and
// the result codes every entry point returns (see ImageLibrary.h for the entry
// points). Records are plain values owned by their callers; the buffers an image
// record holds belong to it (or, for pixels handed in by a capture, are borrowed
// and never written). A record is used by one thread at a time.

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace sorvane {

// Largest picture (width x height) the readers accept unless told otherwise, so that
// a damaged header cannot ask for gigabytes.
inline constexpr int64_t kMaxImagePixels = int64_t(1) << 26;

// Result codes of every entry point.
enum : int {
    kImageOk = 0,
    kImageNoMemory = -1,
    kImageCannotCreate = -3,  // the output file cannot be created (or written)
    kImageUnsupported = -6,   // unsupported or corrupt image, file type, depth or parameter
    kImageJpegProcess = -7,   // a JPEG stream of a coding process the decoder does not handle
};

// `imageType`: what `data` holds.
enum : uint8_t {
    kImageRaw = 0,        // uncompressed pixel rows
    kImageGifLzw = 9,     // a GIF LZW code stream (no sub-block framing; minimum code size
                          // 2 at 1 bit per pixel, else the bit depth)
    kImageJfif = 10,      // a JPEG file with a JFIF header
    kImageBmpRle = 13,    // BMP run-length data (RLE4 at 4 bits per pixel, RLE8 at 8)
    kImageJpegOther = 16, // a JPEG file with another header
};

// `rowOrder`
enum : uint8_t {
    kRowsTopDown = 8,
    kRowsBottomUp = 16,
};

// 256 entries of blue, green, red.
using ColourTable = std::array<uint8_t, 768>;

// Pixel rows or an encoded stream: either owned by the record, or borrowed from the
// caller (a capture hands in its display bitmap without copying). Borrowed bytes are
// never written; writable() takes a private copy first.
class ImageData {
public:
    ImageData() = default;
    explicit ImageData(std::vector<uint8_t> owned) : owned_(std::move(owned)) {}
    static ImageData borrow(std::span<const uint8_t> bytes)
    {
        ImageData d;
        d.borrowed_ = bytes;
        d.isBorrowed_ = true;
        return d;
    }

    bool empty() const { return bytes().empty(); }
    bool borrowed() const { return isBorrowed_; }
    std::span<const uint8_t> bytes() const
    {
        return isBorrowed_ ? borrowed_ : std::span<const uint8_t>(owned_);
    }
    std::span<uint8_t> writable()
    {
        if (isBorrowed_) {
            owned_.assign(borrowed_.begin(), borrowed_.end());
            borrowed_ = {};
            isBorrowed_ = false;
        }
        return owned_;
    }
    // True when something was held.
    bool release()
    {
        bool had = isBorrowed_ || !owned_.empty() || owned_.capacity() > 0;
        std::vector<uint8_t>().swap(owned_);
        borrowed_ = {};
        isBorrowed_ = false;
        return had;
    }

private:
    std::vector<uint8_t> owned_;
    std::span<const uint8_t> borrowed_;
    bool isBorrowed_ = false;
};

// The image record. A default-constructed record is the zero-filled record.
struct ImageRecord {
    static constexpr size_t kCommentSize = 128; // at most 127 characters are kept

    int32_t width = 0;
    int32_t height = 0;
    uint32_t dataSize = 0;   // bytes of pixels or of the encoded stream
    ImageData data;
    uint32_t dataOffset = 0; // where the pixels or the stream start inside data
    std::unique_ptr<ColourTable> colourTable; // 4 and 8 bits per pixel (16 entries used at 4)
    int32_t rowBytes = 0;    // bytes per pixel row (raw images)
    uint8_t imageType = kImageRaw;
    int8_t bitsPerPixel = 0; // 1, 4, 8, 16 (RGB 565, little-endian) or 24 (blue, green, red)
    uint8_t rowOrder = 0;    // kRowsTopDown or kRowsBottomUp
    uint8_t planeFlag = 0;   // 1 for pictures ready to use
    std::string comment;     // written into GIF files

    // The bytes dataOffset .. dataOffset + dataSize, or an empty span when they do not
    // lie inside data.
    std::span<const uint8_t> payload() const;
};

// Where and how RenderImage draws. The pixels have the image's bits per pixel.
struct RenderTarget {
    int32_t x = 0;          // point of the (rotated) picture shown at the target origin
    int32_t y = 0;
    int32_t zoomX = 256;    // 8.8 fixed point, 256 = one target pixel per picture pixel; >= 32
    int32_t zoomY = 256;
    int32_t width = 0;      // >= 1
    int32_t height = 0;     // >= 1
    int32_t rowBytes = 0;   // bytes per target row; 0 = (width x bits per pixel + 7) / 8
    int32_t rotation = 0;   // clockwise degrees: 0, 90, 180 or 270
    std::span<uint8_t> pixels; // borrowed; at least rowBytes x height bytes
};

// (width x bits + 7) / 8, or 0 when that does not fit an int32.
int32_t packedRowBytes(int32_t width, int bitsPerPixel);

// True for 1, 4, 8, 16 and 24.
bool isSupportedDepth(int bitsPerPixel);

// True when the record holds raw rows that lie inside its data: imageType 0, a
// supported depth, positive size, rowBytes covering a row, dataSize covering every
// row and, at 4 and 8 bits, a colour table.
bool isValidRawImage(const ImageRecord& image);

// Start of picture row y (0 = top) of a valid raw image, honouring rowOrder.
const uint8_t* rowOf(const ImageRecord& image, int32_t y);

// The colour of pixel (x, y) of a valid raw image as blue, green, red (1-bit images
// are black and white; 16-bit values are widened by repeating their high bits).
std::array<uint8_t, 3> pixelColour(const ImageRecord& image, int32_t x, int32_t y);

// Widens an RGB 565 value to blue, green, red.
inline std::array<uint8_t, 3> bgrFrom565(uint16_t p)
{
    uint8_t r = uint8_t(p >> 11), g = uint8_t((p >> 5) & 63), b = uint8_t(p & 31);
    return {uint8_t((b << 3) | (b >> 2)), uint8_t((g << 2) | (g >> 4)), uint8_t((r << 3) | (r >> 2))};
}
inline uint16_t rgb565From(uint8_t b, uint8_t g, uint8_t r)
{
    return uint16_t(((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3));
}

// A new raw image of the given size and depth, top-down, planeFlag 1, zeroed pixels
// with packed rows, and a zeroed colour table at 4 and 8 bits.
ImageRecord makeRawImage(int32_t width, int32_t height, int bitsPerPixel);

// An independent copy (owned buffers) of any record.
ImageRecord copyImage(const ImageRecord& image);

} // namespace sorvane
