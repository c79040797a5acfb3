#include "screen/ShownPicture.h"

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
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x) {
            Rgb c = p.colourOf(p.pixel(x, y));
            *o++ = c.r;
            *o++ = c.g;
            *o++ = c.b;
        }
    return out;
}

} // namespace sorvane
