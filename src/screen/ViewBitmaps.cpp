#include "screen/ViewBitmaps.h"

#include <algorithm>
#include <cstring>

namespace sorvane {
namespace {

int dataDepth(int depth) { return depth == 2 ? 4 : depth; }

size_t strideFor(int width, int bitsPerPixel) { return ((size_t(width) * bitsPerPixel + 31) / 32) * 4; }

void makePicture(Picture& p, int width, int height, int bitsPerPixel, const std::array<uint8_t, 1024>& colours)
{
    p.width = width;
    p.height = height;
    p.bitsPerPixel = bitsPerPixel;
    p.stride = strideFor(width, bitsPerPixel);
    p.bitFields565 = bitsPerPixel == 16;
    p.colourCount = bitsPerPixel <= 8 ? 1 << bitsPerPixel : 0;
    p.colours = colours;
    p.bits.assign(p.stride * size_t(height), 0);
}

void setEntry(std::array<uint8_t, 1024>& table, int i, uint8_t r, uint8_t g, uint8_t b)
{
    table[size_t(i) * 4 + 0] = b;
    table[size_t(i) * 4 + 1] = g;
    table[size_t(i) * 4 + 2] = r;
    table[size_t(i) * 4 + 3] = 0;
}

} // namespace

Rgb Picture::colourOf(uint32_t value) const
{
    if (bitFields565)
        return rgbFrom565(uint16_t(value));
    const uint8_t* e = &colours[size_t(value & 255) * 4];
    return Rgb{e[2], e[1], e[0]};
}

uint32_t Picture::pixel(int x, int y) const
{
    const uint8_t* r = row(y);
    switch (bitsPerPixel) {
    case 16:
        return uint32_t(r[2 * x] | (r[2 * x + 1] << 8));
    case 8:
        return r[x];
    case 4:
        return (x & 1) ? r[x / 2] & 15 : r[x / 2] >> 4;
    default:
        return 0;
    }
}

bool DisplaySupported(int depth, int width, int height)
{
    if (depth != 2 && depth != 4 && depth != 8 && depth != 16)
        return false;
    if (width < 1 || height < 1 || width > kMaxDisplaySide || height > kMaxDisplaySide)
        return false;
    int multiple = depth == 4 ? 2 : depth == 2 ? 4 : 1;
    return width % multiple == 0 && height % multiple == 0;
}

bool BuildViewBitmaps(ViewBitmaps& out, const DisplayFacts& f, const Palette& palette)
{
    FreeViewBitmaps(out);
    if (!DisplaySupported(f.depth, f.width, f.height))
        return false;
    bool hasAlt = f.altDepth != 0;
    if (hasAlt && !DisplaySupported(f.altDepth, f.altWidth, f.altHeight))
        return false;
    if (!DisplayBoundsProblem(f.depth, f.width, f.height, f.altDepth, f.altWidth, f.altHeight).empty())
        return false;

    const int d = dataDepth(f.depth);
    // The colour table is filled step by step, as one bitmap header serves all three
    // pictures: the second display takes the entries as they stand at the end (until
    // the device sends a palette, UseDevicePaletteOnSecond).
    std::array<uint8_t, 1024> colours{};
    if (d == 8)
        for (int i = 0; i < 256; ++i)
            setEntry(colours, i, palette[4 * i], palette[4 * i + 1], palette[4 * i + 2]);
    makePicture(out.dib, f.width, f.height, d, colours);

    for (int i = 0; i < 16; ++i) {
        if (d == 16)
            setEntry(colours, i, kFixed16Colours[i].r, kFixed16Colours[i].g, kFixed16Colours[i].b);
        else if (d < 8)
            setEntry(colours, i, palette[4 * i], palette[4 * i + 1], palette[4 * i + 2]);
    }
    makePicture(out.dib4, f.width, f.height, 4, colours);
    if (d < 8)
        out.dib.colours = colours; // the 4-bit main picture is dib4; keep dib's table consistent

    if (hasAlt)
        makePicture(out.altDib, f.altWidth, f.altHeight, dataDepth(f.altDepth), colours);

    // Every buffer holds the larger of the two displays: a second display larger than
    // the main one must not write past its frame.
    out.frameSize = size_t(f.width) * size_t(f.height) * size_t(d) / 8;
    size_t altSize = hasAlt ? size_t(f.altWidth) * size_t(f.altHeight) * size_t(dataDepth(f.altDepth)) / 8 : 0;
    size_t largest = std::max(out.frameSize, altSize);
    out.frame.assign(out.frameSize, 0);
    out.delta.assign(largest, 0);
    out.altFrame.assign(std::max(out.frameSize, altSize), 0);
    out.rxBuffer.assign(2 * largest + 64, 0);
    return true;
}

void UseDevicePaletteOnSecond(ViewBitmaps& b, const DisplayFacts& f, const Palette& palette)
{
    if (f.altDepth == 0 || dataDepth(f.altDepth) != 8 || !b.altDib.exists())
        return;
    for (int i = 0; i < 256; ++i)
        setEntry(b.altDib.colours, i, palette[4 * i], palette[4 * i + 1], palette[4 * i + 2]);
}

void FreeViewBitmaps(ViewBitmaps& b)
{
    b = ViewBitmaps{};
}

} // namespace sorvane
