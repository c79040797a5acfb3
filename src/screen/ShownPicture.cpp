#include "screen/ShownPicture.h"

#include <bit>
#include <cstring>

namespace sorvane {

DisplaySize DisplayInUse(const ScreenState& st)
{
    const DisplayFacts& f = st.facts;
    if (SecondDisplayInUse(st))
        return {f.altWidth, f.altHeight};
    return {f.width, f.height};
}

const Picture* ShownPicture(const ScreenState& st)
{
    const ViewBitmaps& b = st.bitmaps;
    const DisplayFacts& f = st.facts;
    if (SecondDisplayInUse(st))
        return b.altDib.exists() ? &b.altDib : nullptr;
    if (!b.dib.exists())
        return nullptr;
    if (f.depth == 4 || f.depth == 2 || (f.depth == 16 && st.lowColor.load() != 0))
        return &b.dib4;
    return &b.dib;
}

std::vector<uint8_t> PictureToRgb(const Picture& p)
{
    std::vector<uint8_t> out(size_t(p.width) * size_t(p.height) * 3);
    uint8_t* o = out.data();
    const size_t n = size_t(p.width) * size_t(p.height);
    if (n == 0)
        return out;
    // Each pixel value's colour looked up as red, green, blue, 0 and written four bytes
    // at a time, the next pixel overwriting the fourth; the last pixel of all writes three.
    auto put = [&](uint32_t rgb0) {
        if (o + 3 < out.data() + out.size())
            std::memcpy(o, &rgb0, 4);
        else
            std::memcpy(o, &rgb0, 3);
        o += 3;
    };
    auto packed = [](Rgb c) { return uint32_t(c.r) | uint32_t(c.g) << 8 | uint32_t(c.b) << 16; };
    static_assert(std::endian::native == std::endian::little);
    if (p.bitsPerPixel == 16 && p.bitFields565) {
        static const std::vector<uint32_t> table = [&] {
            std::vector<uint32_t> t(65536);
            for (uint32_t v = 0; v < t.size(); ++v)
                t[v] = packed(rgbFrom565(uint16_t(v)));
            return t;
        }();
        for (int y = 0; y < p.height; ++y) {
            const uint8_t* r = p.row(y);
            for (int x = 0; x < p.width; ++x)
                put(table[size_t(r[2 * x] | (r[2 * x + 1] << 8))]);
        }
        return out;
    }
    if (p.bitsPerPixel == 8 || p.bitsPerPixel == 4) {
        uint32_t table[256];
        for (uint32_t v = 0; v < 256; ++v)
            table[v] = packed(p.colourOf(v));
        for (int y = 0; y < p.height; ++y) {
            const uint8_t* r = p.row(y);
            if (p.bitsPerPixel == 8)
                for (int x = 0; x < p.width; ++x)
                    put(table[r[x]]);
            else
                for (int x = 0; x < p.width; ++x)
                    put(table[(x & 1) ? r[x / 2] & 15 : r[x / 2] >> 4]);
        }
        return out;
    }
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x)
            put(packed(p.colourOf(p.pixel(x, y))));
    return out;
}

} // namespace sorvane
