#include "capture/CursorImages.h"

namespace sorvane {

namespace {

// 'X' outline, 'o' fill, '.' clear.
constexpr const char* kArrow[kCursorHeight] = {
    "X...........", "XX..........", "XoX.........", "XooX........", "XoooX.......",
    "XooooX......", "XoooooX.....", "XooooooX....", "XoooooooX...", "XooooooooX..",
    "XoooooooooX.", "XooooooXXXXX", "XoooXooX....", "XooXXooX....", "XoX.XooX....",
    "XX...XooX...", "X....XooX...", "......XooX..", "......XooX..", ".......XX...",
};

} // namespace

CursorPixel cursorPixel(bool pressed, int x, int y)
{
    if (x < 0 || y < 0 || x >= kCursorWidth || y >= kCursorHeight)
        return CursorPixel::Clear;
    switch (kArrow[y][x]) {
    case 'X':
        return pressed ? CursorPixel::White : CursorPixel::Black;
    case 'o':
        return pressed ? CursorPixel::Black : CursorPixel::White;
    default:
        return CursorPixel::Clear;
    }
}

void DrawCursor(std::span<uint8_t> rows, int width, int height, size_t rowBytes, int x, int y, bool pressed)
{
    for (int cy = 0; cy < kCursorHeight; ++cy) {
        const int py = y + cy;
        if (py < 0 || py >= height)
            continue;
        for (int cx = 0; cx < kCursorWidth; ++cx) {
            const int px = x + cx;
            const CursorPixel c = cursorPixel(pressed, cx, cy);
            if (px < 0 || px >= width || c == CursorPixel::Clear)
                continue;
            const size_t at = size_t(py) * rowBytes + size_t(px) * 3;
            if (at + 3 > rows.size())
                continue;
            const uint8_t v = c == CursorPixel::White ? 255 : 0;
            rows[at] = rows[at + 1] = rows[at + 2] = v;
        }
    }
}

} // namespace sorvane
