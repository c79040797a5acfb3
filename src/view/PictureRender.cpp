#include "view/PictureRender.h"

#include <algorithm>
#include <array>

namespace sorvane {

DisplaySize DisplayInUse(const ScreenState& screen)
{
    const DisplayFacts& f = screen.facts;
    if (screen.flipState.load() != 0 && f.altDepth != 0)
        return {f.altWidth, f.altHeight};
    return {f.width, f.height};
}

DisplaySize RotatedSize(int width, int height, int rotation)
{
    if (rotation == 90 || rotation == 270)
        return {height, width};
    return {width, height};
}

namespace {

inline uint32_t argb(Rgb c) { return 0xFF000000u | (uint32_t(c.r) << 16) | (uint32_t(c.g) << 8) | c.b; }

} // namespace

void RenderRotatedRegion(const Picture& p, int rotation, int x0, int y0, int w, int h, uint32_t* out,
                         size_t outStride)
{
    if (!p.exists() || w <= 0 || h <= 0)
        return;
    const int W = p.width, H = p.height;
    const DisplaySize shown = RotatedSize(W, H, rotation);
    const int left = std::max(x0, 0), top = std::max(y0, 0);
    const int right = std::min(x0 + w, shown.width), bottom = std::min(y0 + h, shown.height);
    if (left >= right || top >= bottom)
        return;

    // Indexed pictures go through their colour table once per paint.
    std::array<uint32_t, 256> table{};
    if (!p.bitFields565) {
        for (int i = 0; i < 256; ++i)
            table[size_t(i)] = argb(p.colourOf(uint32_t(i)));
    }
    auto colour = [&](int x, int y) -> uint32_t {
        const uint32_t v = p.pixel(x, y);
        return p.bitFields565 ? argb(rgbFrom565(uint16_t(v))) : table[v & 255];
    };

    for (int Y = top; Y < bottom; ++Y) {
        uint32_t* row = out + size_t(Y - y0) * outStride;
        for (int X = left; X < right; ++X) {
            int x = X, y = Y;
            switch (rotation) {
            case 90: x = Y; y = H - 1 - X; break;
            case 180: x = W - 1 - X; y = H - 1 - Y; break;
            case 270: x = W - 1 - Y; y = X; break;
            default: break;
            }
            row[X - x0] = colour(x, y);
        }
    }
}

} // namespace sorvane
