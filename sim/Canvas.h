#pragma once
// A picture being drawn: width x height pixel values at the display's depth, row by
// row, with the few shapes the simulated device's screens are made of. Everything is
// clipped to the picture. Used by one thread at a time.

#include <cstdint>
#include <string_view>
#include <vector>

namespace sorvane::sim {

struct Rect {
    int x = 0, y = 0, w = 0, h = 0;
    bool contains(int px, int py) const { return px >= x && py >= y && px < x + w && py < y + h; }
    int right() const { return x + w; }
    int bottom() const { return y + h; }
};

class Canvas {
public:
    Canvas(int width, int height, std::vector<uint16_t>& pixels);

    int width() const { return width_; }
    int height() const { return height_; }
    void fill(const Rect& r, uint16_t v);
    void outline(const Rect& r, uint16_t v); // one pixel wide, inside r
    // A line of square pen dots (pen x pen pixels, top-left on the line) from one point
    // to the other, both ends included.
    void line(int x0, int y0, int x1, int y1, int pen, uint16_t v, const Rect& clip);
    // Text in the built-in font: cells of 6 x 10 pixels times scale, the glyph's top
    // left at (x, y). Characters outside printable ASCII show as '?'. Nothing is drawn
    // right of limitX.
    void text(int x, int y, std::string_view s, int scale, uint16_t v, int limitX = 1 << 30);

private:
    int width_;
    int height_;
    std::vector<uint16_t>& px_;
};

// The built-in font: 5 x 8 glyphs (7 rows above the base line, one for descenders) in
// cells of 6 x 10.
inline constexpr int kCellWidth = 6;
inline constexpr int kCellHeight = 10;
inline int textWidth(std::string_view s, int scale) { return int(s.size()) * kCellWidth * scale; }
// Row bits of a glyph (bit 4 = leftmost column), 8 rows.
const uint8_t* glyphRows(char c);

} // namespace sorvane::sim
