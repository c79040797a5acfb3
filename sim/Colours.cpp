#include "Colours.h"

namespace sorvane::sim {
namespace {

// The device's sixteen base colours (4-bit devices, and the first 16 entries of 8-bit
// devices). Channels differ so that a client mixing up red and blue shows it.
constexpr Rgb kBase16[16] = {
    {0, 0, 0},       {255, 255, 255}, {220, 30, 30},  {30, 180, 60},  {40, 60, 220},  {240, 220, 40},
    {40, 200, 220},  {200, 50, 200},  {200, 200, 200}, {128, 128, 128}, {64, 64, 64},  {250, 140, 20},
    {20, 20, 100},   {120, 120, 20},  {20, 110, 110}, {250, 160, 190},
};

constexpr Rgb kBase4[4] = {{0, 0, 0}, {200, 40, 40}, {60, 160, 220}, {250, 250, 240}};

Palette makeLowColourTable()
{
    constexpr Rgb t[16] = {
        {0, 0, 0},     {0, 0, 128},   {0, 128, 0},   {0, 128, 128},   {128, 0, 0},   {128, 0, 128},
        {128, 128, 0}, {128, 128, 128}, {192, 192, 192}, {0, 0, 255}, {0, 255, 0},   {0, 255, 255},
        {255, 0, 0},   {255, 0, 255}, {255, 255, 0}, {255, 255, 255},
    };
    Palette p{};
    for (int i = 0; i < 16; ++i)
        p[i] = t[i];
    return p;
}

Palette base8()
{
    Palette p{};
    for (int i = 0; i < 16; ++i)
        p[i] = kBase16[i];
    for (int i = 16; i < 232; ++i) {
        int c = i - 16;
        p[i] = {uint8_t(c / 36 * 51), uint8_t(c / 6 % 6 * 51), uint8_t(c % 6 * 51)};
    }
    for (int i = 232; i < 256; ++i) {
        auto v = uint8_t(8 + (i - 232) * 10);
        p[i] = {v, v, v};
    }
    return p;
}

} // namespace

Palette devicePalette(int depth, unsigned generation)
{
    Palette p{};
    if (depth == 2) {
        for (int i = 0; i < 4; ++i)
            p[i] = kBase4[i];
    } else if (depth == 4) {
        for (int i = 0; i < 16; ++i)
            p[i] = kBase16[i];
    } else if (depth == 8) {
        Palette b = base8();
        // A change moves every colour to another index, so a client that keeps the old
        // palette shows visibly wrong colours.
        for (unsigned i = 0; i < 256; ++i)
            p[i] = b[(i + 37u * generation) % 256u];
    }
    return p;
}

const Palette& lowColourTable()
{
    static const Palette table = makeLowColourTable();
    return table;
}

std::vector<uint8_t> paletteBytes(const Palette& palette, size_t entries)
{
    std::vector<uint8_t> out;
    out.reserve(entries * 4);
    for (size_t i = 0; i < entries && i < palette.size(); ++i) {
        out.push_back(palette[i].r);
        out.push_back(palette[i].g);
        out.push_back(palette[i].b);
        out.push_back(0);
    }
    return out;
}

Rgb rgbFrom565(uint16_t v)
{
    return {uint8_t(((v >> 11) & 31) * 255 / 31), uint8_t(((v >> 5) & 63) * 255 / 63), uint8_t((v & 31) * 255 / 31)};
}

uint16_t rgbTo565(Rgb c) { return uint16_t(((c.r >> 3) << 11) | ((c.g >> 2) << 5) | (c.b >> 3)); }

uint8_t nearestLowColour(uint16_t v565)
{
    static const std::vector<uint8_t> table = [] {
        std::vector<uint8_t> t(65536);
        const Palette& fixed = lowColourTable();
        for (uint32_t v = 0; v < 65536; ++v) {
            Rgb c = rgbFrom565(uint16_t(v));
            int best = 0;
            long bestDist = -1;
            for (int i = 0; i < 16; ++i) {
                long dr = c.r - fixed[i].r, dg = c.g - fixed[i].g, db = c.b - fixed[i].b;
                long d = dr * dr + dg * dg + db * db;
                if (bestDist < 0 || d < bestDist) {
                    bestDist = d;
                    best = i;
                }
            }
            t[v] = uint8_t(best);
        }
        return t;
    }();
    return table[v565];
}

} // namespace sorvane::sim
