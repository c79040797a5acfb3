#pragma once
// The simulated device's displays as the agent holds them: each display's picture (the
// handheld's screen, or the synthetic picture at its current step with the marks of the
// taps it received), and the frame bytes in the layout the agent sends them. One Screen per connection; used by that connection's
// thread only.
//
// Frame layout as sent: picture layout (H rows of W pixels) except for a 4-bit display
// turned by 90 or 270 degrees and a 2-bit display turned by 270, which send their frame
// transposed: W rows of H pixels, native row r, column c holding
//   orientation 90:  picture pixel (x = r,         y = H - 1 - c)
//   orientation 270: picture pixel (x = W - 1 - r, y = c)
// Packing: 16 bits little-endian per pixel; 8 bits; 4 bits with the left pixel in the
// high nibble; 2 bits with the left pixel in the two high bits.

#include "Colours.h"
#include "Handheld.h"
#include "Options.h"
#include "PictureGenerator.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace sorvane::sim {

// What a screen request asks for: the display's own data, or (16-bit main display, 'S')
// the picture reduced to the client's fixed 16 colours as 4-bit data.
enum class FrameKind { Native, LowColour };

struct FrameLayout {
    int bits = 16;     // bits per pixel as sent: 16, 8, 4 or 2
    int columns = 0;   // pixels per row as sent
    int rows = 0;
    bool transposed = false;
    size_t rowBytes() const { return size_t(columns) * size_t(bits) / 8; }
    size_t bytes() const { return rowBytes() * size_t(rows); }
};

FrameLayout frameLayout(const DisplayFormat& display, FrameKind kind);

// The largest payload the client accepts for a frame of this kind: the frame size, and
// W x H / 2 for 2-bit data.
size_t payloadLimit(const DisplayFormat& display, FrameKind kind);

enum class MarkShape { Cross, Dot, Box };

class Display {
public:
    Display(const DisplayFormat& format, const SimOptions& options, bool secondDisplay, const TimeSource& clock);

    const DisplayFormat& format() const { return format_; }

    // One screen request: the synthetic picture moves on by one step (until it stands
    // still) and is drawn anew with the marks on top; the handheld draws what changed.
    void advance();
    unsigned step() const { return step_; }

    // One input packet (8 bytes as received): the handheld acts on it; on the synthetic
    // picture taps, strokes and releases leave marks.
    void input(const uint8_t packet[8]);
    void paintMark(int x, int y, MarkShape shape); // picture coordinates; clipped

    const std::vector<uint16_t>& picture() const { return picture_; } // W x H pixel values
    std::vector<uint8_t> frame(FrameKind kind) const;                  // frameLayout(kind) bytes
    // The picture as RGB, W x H, row by row, as the client shows it (no view rotation).
    // palette: the colours of indexed pixels (the device's palette, or the fixed table
    // when the main display has 16 bits).
    std::vector<Rgb> rgb(FrameKind kind, const Palette& palette) const;

private:
    void redraw();

    DisplayFormat format_;
    InkSet inks_;
    PictureGenerator generator_;
    std::unique_ptr<Handheld> handheld_; // set when the display shows the handheld
    unsigned stillAfter_;
    unsigned requests_ = 0;
    unsigned step_ = 0;
    std::vector<uint16_t> picture_;
    std::vector<uint8_t> marks_; // W x H, non-zero where a mark is
};

} // namespace sorvane::sim
