#pragma once
// The pictures and frame buffers of one connection.
//
// A Picture stands in for a top-down device-independent bitmap: rows of `stride`
// bytes (a multiple of 4), the left pixel of a byte in its high bits, a colour table
// of blue, green, red, unused entries for indexed depths, or 565 bit fields at 16 bits.
// The plain buffers (frame, delta, altFrame) hold rows without padding.
//
// Thread: built on the thread that runs the handshake or on the connection thread
// (palette change); read by the window thread. Callers hold the ScreenState's picture
// mutex around every rebuild and every read of a live connection's buffers.

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "link/DisplayGeometry.h"

#include "link/DisplayBounds.h"
#include "screen/Palette.h"

namespace sorvane {

struct Picture {
    int width = 0;
    int height = 0;
    int bitsPerPixel = 0; // 4, 8 or 16
    size_t stride = 0;
    bool bitFields565 = false;
    int colourCount = 0;
    std::array<uint8_t, 1024> colours{}; // blue, green, red, unused
    std::vector<uint8_t> bits;

    bool exists() const { return !bits.empty(); }
    uint8_t* row(int y) { return bits.data() + size_t(y) * stride; }
    const uint8_t* row(int y) const { return bits.data() + size_t(y) * stride; }
    // The colour of an indexed pixel value, or of a 16-bit value.
    Rgb colourOf(uint32_t value) const;
    // The pixel value at (x, y) (a palette index, or the 565 word).
    uint32_t pixel(int x, int y) const;
};

// The screen facts of a device, as its information block gives them.
using DisplayFacts = DisplayGeometry;

struct ViewBitmaps {
    Picture dib;    // main display at its own depth (2 counts as 4)
    Picture dib4;   // main display at 4 bits: 4- and 2-bit devices, low colour mode
    Picture altDib; // second display, only when the device has one
    std::vector<uint8_t> frame;    // reference frame of the main display's 4- and 2-bit data
                                   // (16- and 8-bit pictures are their own reference)
    std::vector<uint8_t> delta;    // decoded delta of the last update
    std::vector<uint8_t> altFrame; // reference frame of the second display
    std::vector<uint8_t> rxBuffer; // reply of the last exchange
    size_t frameSize = 0;          // F = W x H x depth / 8 of the main display
    // A 4- and 2-bit reference frame was zeroed without its picture (a refresh): the next
    // update shows the whole frame, not only its rectangle. Main display, second display.
    bool showWholeFrame = false;
    bool showWholeAltFrame = false;

    bool built() const { return !frame.empty(); }
};

// Whether a display of this depth and size can be shown: depth 2, 4, 8 or 16, sides in
// 1..kMaxDisplaySide, 4-bit sides even and 2-bit sides multiples of 4 (whole bytes,
// also when the frame is sent transposed).
bool DisplaySupported(int depth, int width, int height);

// Creates the three pictures and the four buffers for these facts and palette, all
// zero-filled; releases whatever `out` held first. Returns false, leaving `out` empty
// and allocating nothing, when the main display (or a second display that is present)
// is not supported or the displays break the bounds of DisplayBounds.h.
bool BuildViewBitmaps(ViewBitmaps& out, const DisplayFacts& facts, const Palette& palette);

// Releases every picture and buffer.
// An 8-bit second display shows the palette the device sent (a palette change), in
// all 256 entries; other second displays are left as they are.
void UseDevicePaletteOnSecond(ViewBitmaps& bitmaps, const DisplayFacts& facts, const Palette& palette);

void FreeViewBitmaps(ViewBitmaps& bitmaps);

} // namespace sorvane
