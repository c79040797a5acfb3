#pragma once
// Draws the simulated device's picture: a bordered screen with a title bar of
// text-like marks, a clock, a moving bar and lines of text-like detail. The picture is
// a pure function of its step, so every run is reproducible. Pixels are values at the
// display's depth: RGB 565 for 16-bit displays, palette indices otherwise. Const
// methods only; safe from any thread.

#include "Options.h"

#include <cstdint>
#include <vector>

namespace sorvane::sim {

// Which pixel values the picture may use.
enum class InkSet {
    Rgb565,   // 16-bit display
    Indexed8, // 8-bit display with the device's 256-entry palette
    Indexed4, // 16 entries of the device's palette
    Fixed4,   // 16 entries of the client's fixed table (indexed second display of a 16-bit device)
    Indexed2, // 4 entries
};

// The ink set of a display: a second display uses only colours the client has been told
// (the main display's palette, or the fixed table when the main display has 16 bits).
InkSet inkSetFor(const DisplayFormat& display, int mainDepth);

enum class Ink { Border, Corner, Title, TitleText, Clock, Bar, BarEdge, Text, Mark, Caret, BackA, BackB };

class PictureGenerator {
public:
    PictureGenerator(int width, int height, InkSet inks, bool secondDisplay);

    // Fills pixels (width x height, row by row) with the picture of this step.
    void render(unsigned step, std::vector<uint16_t>& pixels) const;

    uint16_t ink(Ink which) const;
    int width() const { return width_; }
    int height() const { return height_; }

private:
    void fillRect(std::vector<uint16_t>& px, int x, int y, int w, int h, uint16_t v) const;
    void drawGlyph(std::vector<uint16_t>& px, int x, int y, uint16_t bits15, int scale, uint16_t v) const;
    void drawText(std::vector<uint16_t>& px, int x, int y, const char* text, int scale, uint16_t v) const;
    uint16_t background(int x, int y) const;

    int width_;
    int height_;
    InkSet inks_;
    bool second_;
};

} // namespace sorvane::sim
