#include "screen/ScreenMatch.h"

#include <cstdlib>

#include "screen/ShownPicture.h"

namespace sorvane {
namespace {

inline bool PixelMatches(const uint8_t* a, const uint8_t* b)
{
    return std::abs(int(a[0]) - int(b[0])) <= kChannelTolerance && std::abs(int(a[1]) - int(b[1])) <= kChannelTolerance &&
           std::abs(int(a[2]) - int(b[2])) <= kChannelTolerance;
}

bool Inside(const RgbPicture& screen, int x, int y, int w, int h)
{
    return x >= 0 && y >= 0 && w > 0 && h > 0 && x <= screen.width - w && y <= screen.height - h;
}

// Matching pixels of the reference at x, y; stops early (returning what it has) once
// more than maxMisses pixels differ.
int64_t CountMatching(const RgbPicture& screen, int x, int y, const RgbPicture& ref, int64_t maxMisses)
{
    int64_t misses = 0;
    for (int r = 0; r < ref.height; ++r) {
        const uint8_t* s = screen.row(y + r) + size_t(x) * 3;
        const uint8_t* p = ref.row(r);
        for (int c = 0; c < ref.width; ++c, s += 3, p += 3)
            if (!PixelMatches(s, p) && ++misses > maxMisses)
                return int64_t(ref.width) * ref.height - misses;
    }
    return int64_t(ref.width) * ref.height - misses;
}

} // namespace

bool ShownRgb(const ScreenState& screen, RgbPicture& out)
{
    std::lock_guard lock(screen.pictureMutex);
    const Picture* p = ShownPicture(screen);
    if (!p)
        return false;
    out.width = p->width;
    out.height = p->height;
    out.rgb = PictureToRgb(*p);
    return true;
}

RgbPicture CropRgb(const RgbPicture& picture, int x, int y, int w, int h)
{
    RgbPicture out;
    if (!Inside(picture, x, y, w, h))
        return out;
    out.width = w;
    out.height = h;
    out.rgb.resize(size_t(w) * size_t(h) * 3);
    for (int r = 0; r < h; ++r) {
        const uint8_t* s = picture.row(y + r) + size_t(x) * 3;
        std::copy(s, s + size_t(w) * 3, out.rgb.data() + size_t(r) * size_t(w) * 3);
    }
    return out;
}

RegionMatch CompareRegion(const RgbPicture& screen, int x, int y, const RgbPicture& reference)
{
    RegionMatch m;
    if (reference.empty() || !Inside(screen, x, y, reference.width, reference.height))
        return m;
    m.total = int64_t(reference.width) * reference.height;
    m.matching = CountMatching(screen, x, y, reference, m.total);
    return m;
}

int FoundImage::centreX() const { return x + width / 2; }
int FoundImage::centreY() const { return y + height / 2; }

FoundImage FindImage(const RgbPicture& screen, const RgbPicture& needle, int percent)
{
    FoundImage best;
    best.width = needle.width;
    best.height = needle.height;
    if (needle.empty() || needle.width > screen.width || needle.height > screen.height)
        return best;
    const int64_t total = int64_t(needle.width) * needle.height;
    // Misses allowed at `percent`; a better place must miss fewer than the best so far.
    int64_t allowed = total - (int64_t(percent) * total + 99) / 100;
    for (int y = 0; y + needle.height <= screen.height; ++y)
        for (int x = 0; x + needle.width <= screen.width; ++x) {
            const int64_t matching = CountMatching(screen, x, y, needle, allowed);
            const int64_t misses = total - matching;
            if (misses <= allowed && (!best.found || matching > best.match.matching)) {
                best.found = true;
                best.x = x;
                best.y = y;
                best.match = {matching, total};
                if (misses == 0)
                    return best;
                allowed = misses - 1;
            }
        }
    return best;
}

RgbPicture DifferencePicture(const RgbPicture& actual, const RgbPicture& expected)
{
    RgbPicture out;
    out.width = actual.width;
    out.height = actual.height;
    out.rgb.resize(actual.rgb.size());
    const bool comparable = expected.width == actual.width && expected.height == actual.height;
    for (size_t i = 0; i + 2 < actual.rgb.size(); i += 3) {
        const uint8_t* a = actual.rgb.data() + i;
        uint8_t* o = out.rgb.data() + i;
        if (!comparable || !PixelMatches(a, expected.rgb.data() + i)) {
            o[0] = 255;
            o[1] = 0;
            o[2] = 0;
        } else {
            const int brightness = (a[0] * 299 + a[1] * 587 + a[2] * 114) / 1000;
            o[0] = o[1] = o[2] = uint8_t(128 + brightness / 2);
        }
    }
    return out;
}

} // namespace sorvane
