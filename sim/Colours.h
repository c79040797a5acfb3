#pragma once
// Colours of the simulated device: the palettes it reports for indexed depths, the fixed
// 16-colour table of the client's low colour mode, and conversions to RGB. Pure
// functions over constant tables; safe from any thread.

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace sorvane::sim {

struct Rgb {
    uint8_t r = 0, g = 0, b = 0;
    bool operator==(const Rgb&) const = default;
};

using Palette = std::array<Rgb, 256>; // entries a device never defines are black

// The device's palette for an indexed main display (depth 2, 4 or 8). The generation
// counts palette changes; only 8-bit devices change their palette (generation > 0).
Palette devicePalette(int depth, unsigned generation);

// The client's fixed table for 16-bit devices in low colour mode, entries 0..15.
const Palette& lowColourTable();

// Palette bytes as sent on the link: red, green, blue and a zero byte per entry.
std::vector<uint8_t> paletteBytes(const Palette& palette, size_t entries);

// RGB of a 565 pixel: each field scaled to 0..255 in integer arithmetic.
Rgb rgbFrom565(uint16_t v);
uint16_t rgbTo565(Rgb c);

// Index 0..15 of the low colour table nearest to a 565 pixel (squared distance in RGB,
// the lower index on a tie).
uint8_t nearestLowColour(uint16_t v565);

} // namespace sorvane::sim
