#include "PictureGenerator.h"

#include <algorithm>
#include <cstdio>

namespace sorvane::sim {
namespace {

// 3x5 glyphs, 15 bits, the top row in the highest three bits.
constexpr uint16_t kDigits[10] = {
    0b111101101101111, 0b010110010010111, 0b111001111100111, 0b111001111001111, 0b101101111001001,
    0b111100111001111, 0b111100111101111, 0b111001001010010, 0b111101111101111, 0b111101111001111,
};
constexpr uint16_t kColon = 0b000010000010000;

uint32_t mix(uint32_t a, uint32_t b)
{
    uint32_t h = a * 0x9E3779B1u ^ (b + 0x7F4A7C15u + (a << 6) + (a >> 2));
    h ^= h >> 15;
    h *= 0x2C1B3C6Du;
    h ^= h >> 12;
    return h;
}

} // namespace

InkSet inkSetFor(const DisplayFormat& d, int mainDepth)
{
    if (d.depth == 16)
        return InkSet::Rgb565;
    int known = mainDepth < 16 ? mainDepth : 4;
    int bits = std::min(d.depth, known);
    if (bits >= 8)
        return InkSet::Indexed8;
    if (bits == 4)
        return mainDepth < 16 ? InkSet::Indexed4 : InkSet::Fixed4;
    return InkSet::Indexed2;
}

PictureGenerator::PictureGenerator(int width, int height, InkSet inks, bool secondDisplay)
    : width_(width), height_(height), inks_(inks), second_(secondDisplay)
{
}

uint16_t PictureGenerator::ink(Ink which) const
{
    //                               Border  Corner  Title   TText   Clock   Bar     BarEdge Text Mark    Caret   BackA   BackB
    static constexpr uint16_t rgb[] = {0xFFE0, 0xF800, 0x0010, 0xFFFF, 0x07E0, 0xFD20, 0x0000, 0,   0xF81F, 0x001F, 0,      0};
    static constexpr uint16_t dev[] = {10,     2,      12,     1,      5,      11,     0,      0,   7,      4,      8,      15};
    static constexpr uint16_t fix[] = {7,      12,     1,      15,     14,     4,      0,      0,   13,     9,      8,      15};
    static constexpr uint16_t two[] = {0,      1,      0,      3,      3,      1,      0,      0,   2,      1,      3,      2};
    int i = int(which);
    switch (inks_) {
    case InkSet::Rgb565: return rgb[i];
    case InkSet::Indexed8:
    case InkSet::Indexed4: return dev[i];
    case InkSet::Fixed4: return fix[i];
    case InkSet::Indexed2: return two[i];
    }
    return 0;
}

uint16_t PictureGenerator::background(int x, int y) const
{
    switch (inks_) {
    case InkSet::Rgb565: {
        unsigned r = unsigned(x) * 31u / unsigned(width_ - 1);
        unsigned g = unsigned(y) * 63u / unsigned(height_ - 1);
        unsigned b = unsigned((x ^ y) >> 2) & 31u;
        return uint16_t(r << 11 | g << 5 | b);
    }
    case InkSet::Indexed8:
        return uint16_t(16 + (x * 6 / width_) * 36 + (y * 6 / height_) * 6 + (x / 8 + y / 8) % 6);
    default:
        return ((x / 16 + y / 16) & 1) ? ink(Ink::BackA) : ink(Ink::BackB);
    }
}

void PictureGenerator::fillRect(std::vector<uint16_t>& px, int x, int y, int w, int h, uint16_t v) const
{
    int x0 = std::max(x, 0), y0 = std::max(y, 0);
    int x1 = std::min(x + w, width_), y1 = std::min(y + h, height_);
    for (int yy = y0; yy < y1; ++yy)
        std::fill(px.begin() + yy * width_ + x0, px.begin() + yy * width_ + std::max(x0, x1), v);
}

void PictureGenerator::drawGlyph(std::vector<uint16_t>& px, int x, int y, uint16_t bits, int scale, uint16_t v) const
{
    for (int row = 0; row < 5; ++row)
        for (int col = 0; col < 3; ++col)
            if (bits & (1u << (14 - row * 3 - col)))
                fillRect(px, x + col * scale, y + row * scale, scale, scale, v);
}

void PictureGenerator::drawText(std::vector<uint16_t>& px, int x, int y, const char* text, int scale, uint16_t v) const
{
    for (; *text; ++text, x += 4 * scale) {
        if (*text >= '0' && *text <= '9')
            drawGlyph(px, x, y, kDigits[*text - '0'], scale, v);
        else if (*text == ':')
            drawGlyph(px, x, y, kColon, scale, v);
    }
}

void PictureGenerator::render(unsigned step, std::vector<uint16_t>& px) const
{
    const int W = width_, H = height_;
    px.assign(size_t(W) * size_t(H), 0);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x)
            px[size_t(y) * W + x] = background(x, y);

    // Title bar with text-like marks and the clock.
    const int titleH = std::min(16, H / 4);
    fillRect(px, 1, 1, W - 2, titleH, ink(Ink::Title));
    const uint32_t seed = second_ ? 0x5EC0u : 0x3A1Fu;
    for (int cell = 0, x = 10; x + 3 < W / 2; ++cell, x += 4) {
        uint32_t h = mix(seed, uint32_t(cell));
        if (h % 7 == 0)
            continue; // a space between words
        drawGlyph(px, x, 1 + (titleH - 5) / 2, uint16_t(h & 0x7FFF), 1, ink(Ink::TitleText));
    }
    unsigned seconds = 12 * 3600 + step;
    char clock[16];
    std::snprintf(clock, sizeof clock, "%02u:%02u:%02u", seconds / 3600 % 24, seconds / 60 % 60, seconds % 60);
    const int scale = W >= 160 && titleH >= 12 ? 2 : 1;
    drawText(px, W - 4 - 32 * scale, 1 + (titleH - 5 * scale) / 2, clock, scale, ink(Ink::Clock));

    // The moving bar, in the upper half below the title.
    const int top = titleH + 4;
    if (!second_) {
        const int bw = std::max(8, W / 3), bh = 10;
        const int spanX = std::max(1, W - bw - 2), spanY = std::max(1, H / 2 - top - bh);
        int bx = 1 + int(step * 7u % unsigned(spanX));
        int by = top + int(step * 5u % unsigned(spanY));
        fillRect(px, bx, by, bw, bh, ink(Ink::BarEdge));
        fillRect(px, bx + 1, by + 1, bw - 2, bh - 2, ink(Ink::Bar));
    } else {
        const int bw = 10, bh = std::max(8, H / 3);
        const int spanX = std::max(1, W - bw - 2);
        int bx = 1 + int(step * 9u % unsigned(spanX));
        fillRect(px, bx, top, bw, bh, ink(Ink::BarEdge));
        fillRect(px, bx + 1, top + 1, bw - 2, bh - 2, ink(Ink::Bar));
    }

    // Lines of text-like detail in the lower half, with a blinking caret.
    int caretX = -1, caretY = -1;
    for (int line = 0, y = H / 2 + 4; y + 6 < H - 2; ++line, y += 9) {
        int x = 4;
        for (int word = 0; x < W - 12; ++word) {
            int letters = 2 + int(mix(seed + uint32_t(line), uint32_t(word)) % 6);
            for (int l = 0; l < letters && x + 3 < W - 4; ++l, x += 4)
                drawGlyph(px, x, y, uint16_t(mix(uint32_t(line * 131 + word), uint32_t(l)) & 0x7FFF), 1, ink(Ink::Text));
            if (line == 0 && caretX < 0) {
                caretX = x;
                caretY = y - 1;
            }
            x += 4;
        }
    }
    if (caretX >= 0 && step % 2 == 1)
        fillRect(px, caretX, caretY, 2, 7, ink(Ink::Caret));

    // Frame and a corner marker, so that a turned or mirrored picture shows.
    fillRect(px, 0, 0, W, 1, ink(Ink::Border));
    fillRect(px, 0, H - 1, W, 1, ink(Ink::Border));
    fillRect(px, 0, 0, 1, H, ink(Ink::Border));
    fillRect(px, W - 1, 0, 1, H, ink(Ink::Border));
    fillRect(px, 1, 1, 6, 6, ink(Ink::Corner));
}

} // namespace sorvane::sim
