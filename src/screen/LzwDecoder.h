#pragma once
// The LZW decoder for screen update payloads.
//
// Two stream variants are in use:
//   MSB-first (16- and 8-bit data): 8-bit symbols; clear 256, end 257, first free
//     code 258; codes of 9 bits read from the most significant bit of byte 0; the
//     width grows from w to w + 1 when the next free code reaches 2^w - 1 (one code
//     early).
//   LSB-first (4- and 2-bit data): byte 0 is ignored, byte 1 holds the initial code
//     width w0 (3..5), codes start at byte 2 and are read from the least significant
//     bit. Symbols are 0 .. 2^(w0-1) - 1, each written as one 4-bit unit (the first
//     unit of a byte is its high nibble); clear 2^(w0-1), end clear + 1; the width
//     grows when the next free code reaches 2^w.
// Both stop growing at 12 bits; a full table takes no new entries until a clear code.
//
// The output is a rectangle of rowCount rows of rowUnits units (bytes for 8-bit
// symbols, nibbles for 4-bit symbols); row r starts at byte r * stride of the
// destination. Every unit of the rectangle is written: the decoded units first, then
// zeros for whatever a stream that stopped early did not supply. Bytes of a row past
// its units are left as they are (for an odd rowUnits of 4-bit data the low nibble of
// the row's last byte is kept).
//
// A result other than Complete means the payload was malformed; the caller takes its
// failure path (a refresh). Decoding never reads outside the payload, never writes
// outside the rectangle, and stops at the first fault.
//
// Thread: an LzwDecoder is used by one thread at a time (the connection thread of its
// connection). It owns its code table and scratch and reuses them from call to call,
// so steady decoding allocates nothing; the scratch grows only when a larger
// rectangle than any before arrives (full-width 8-bit data needs no scratch).

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

namespace sorvane {

enum class LzwVariant : uint8_t {
    LsbFirst = 0, // 4- and 2-bit data
    MsbFirst = 1, // 16- and 8-bit data
};

enum class LzwStatus : uint8_t {
    Complete,       // the rectangle was filled and the end code followed
    EndedEarly,     // the end code came before the rectangle was filled
    UndefinedCode,  // a code that is not yet defined with no previous code to build it from
    CodeAboveNext,  // a code above the next free code
    OutputOverflow, // a string ran past the last row; what fitted was written
    Truncated,      // the payload ended before the rectangle was filled
    MissingEndCode, // the rectangle was filled but the payload ended without the end code
    BadHeader,      // LSB-first payload shorter than 2 bytes or initial width not 3..5
    BadGeometry,    // rectangle outside the frame, misaligned, or buffer too small
};

std::string_view lzwStatusName(LzwStatus s);

struct LzwResult {
    LzwStatus status = LzwStatus::BadGeometry;
    size_t unitsDecoded = 0; // units the stream supplied (bytes or nibbles)

    bool ok() const { return status == LzwStatus::Complete; }
};

// A changed rectangle, inclusive on all four sides, in the coordinates of the frame
// as the agent sends it (for transposed frames: native rows and columns).
struct LzwRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
};

class LzwDecoder {
public:
    LzwDecoder();
    ~LzwDecoder();
    LzwDecoder(const LzwDecoder&) = delete;
    LzwDecoder& operator=(const LzwDecoder&) = delete;

    // Decodes `payload` into rowCount rows of rowUnits units, row r at dest[r * stride].
    // 8-bit symbols for MsbFirst, 4-bit for LsbFirst. dest must hold
    // (rowCount - 1) * stride + the bytes of one row; stride must be at least a row's
    // bytes. When stride equals a row's bytes (8-bit data) the rows are decoded in place.
    LzwResult decode(LzwVariant variant, std::span<const uint8_t> payload, std::span<uint8_t> dest,
                     size_t stride, size_t rowUnits, size_t rowCount);

    // The per-depth entry points. `delta` is the whole delta buffer of the frame in
    // use; width and height are those of the display in use. The rectangle is decoded
    // into its place: row `top` .. `bottom`, starting at the rectangle's first byte in
    // each row. Full-width rectangles of 16- and 8-bit data are decoded straight into
    // `delta`; 4- and 2-bit data are decoded a unit a byte into the scratch and packed
    // into the rows.
    //   decodeUpdate16: 2 bytes a pixel, rows of width * 2 bytes, MSB-first.
    //   decodeUpdate8: 1 byte a pixel, rows of width bytes, MSB-first.
    //   decodeUpdate4: 4-bit pixels, rows of width / 2 bytes, LSB-first; left and the
    //     rectangle's width must be even.
    //   decodeUpdate4Transposed: as decodeUpdate4 for the transposed native frame of a
    //     display turned by 90 or 270 degrees: width rows of height pixels.
    //   decodeUpdate2: 2-bit pixels, rows of width / 4 bytes, LSB-first with every
    //     nibble holding two pixels; left and the rectangle's width must be multiples of 4.
    //   decodeUpdate2Transposed: as decodeUpdate2 for width rows of height pixels.
    LzwResult decodeUpdate16(std::span<const uint8_t> payload, std::span<uint8_t> delta, int width,
                             int height, const LzwRect& rect);
    LzwResult decodeUpdate8(std::span<const uint8_t> payload, std::span<uint8_t> delta, int width,
                            int height, const LzwRect& rect);
    LzwResult decodeUpdate4(std::span<const uint8_t> payload, std::span<uint8_t> delta, int width,
                            int height, const LzwRect& rect);
    LzwResult decodeUpdate4Transposed(std::span<const uint8_t> payload, std::span<uint8_t> delta,
                                      int width, int height, const LzwRect& rect);
    LzwResult decodeUpdate2(std::span<const uint8_t> payload, std::span<uint8_t> delta, int width,
                            int height, const LzwRect& rect);
    LzwResult decodeUpdate2Transposed(std::span<const uint8_t> payload, std::span<uint8_t> delta,
                                      int width, int height, const LzwRect& rect);

private:
    struct Entry;

    LzwResult decodeFrame(LzwVariant variant, int bitsPerPixel, std::span<const uint8_t> payload,
                          std::span<uint8_t> delta, int rowPixels, int frameRows, const LzwRect& rect);
    // Decodes into one contiguous run of units, one byte a unit.
    LzwResult decodeRun(LzwVariant variant, std::span<const uint8_t> payload, uint8_t* out,
                        size_t units);
    template <class Reader>
    LzwResult decodeCodes(Reader& reader, unsigned rootBits, uint8_t* out, size_t units);
    void resetTable(unsigned rootBits);

    std::unique_ptr<Entry[]> table_;
    std::unique_ptr<uint8_t[]> roots_; // symbol k at index k, with room for wide reads
    std::vector<uint8_t> scratch_;
    unsigned tableRootBits_ = 0; // root symbols the table is set up for
};

} // namespace sorvane
