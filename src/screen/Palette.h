#pragma once
// Colour tables of a connection's pictures.

#include <array>
#include <cstdint>

namespace sorvane {

// The device's palette as it arrives: 256 entries of red, green, blue and one unused
// byte. Each connection keeps its own, so a second device's handshake never changes
// the colours of the first device's picture.
using Palette = std::array<uint8_t, 1024>;

struct Rgb {
    uint8_t r, g, b;
};

// The fixed table of low colour mode: the agent reduces a 16-bit picture to these.
inline constexpr std::array<Rgb, 16> kFixed16Colours = {{
    {0, 0, 0}, {0, 0, 128}, {0, 128, 0}, {0, 128, 128},
    {128, 0, 0}, {128, 0, 128}, {128, 128, 0}, {128, 128, 128},
    {192, 192, 192}, {0, 0, 255}, {0, 255, 0}, {0, 255, 255},
    {255, 0, 0}, {255, 0, 255}, {255, 255, 0}, {255, 255, 255},
}};

// A 565 pixel widened to 8 bits per channel (integer arithmetic, 31 → 255, 63 → 255).
inline Rgb rgbFrom565(uint16_t v)
{
    return Rgb{uint8_t(((v >> 11) & 31) * 255 / 31), uint8_t(((v >> 5) & 63) * 255 / 63),
               uint8_t((v & 31) * 255 / 31)};
}

} // namespace sorvane
