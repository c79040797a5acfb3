#pragma once
// The mouse cursor drawn into video frames: our own 12 x 20 arrow images, image 0
// ("CURSOR", the button up: white arrow, black outline) and image 1 ("CURSOR1", the
// left button down: black arrow, white outline). The hot spot is the top-left pixel.
// Pure data and functions; any thread.

#include <cstdint>
#include <span>

namespace sorvane {

inline constexpr int kCursorWidth = 12;
inline constexpr int kCursorHeight = 20;

enum class CursorPixel : uint8_t { Clear, Black, White };

// The pixel (x, y) of cursor image 0 or 1 (pressed).
CursorPixel cursorPixel(bool pressed, int x, int y);

// Draws the cursor with its hot spot at (x, y) into 24-bit top-down rows (blue,
// green, red) of width x height pixels, clipped at the picture's edges.
void DrawCursor(std::span<uint8_t> rows, int width, int height, size_t rowBytes, int x, int y, bool pressed);

} // namespace sorvane
