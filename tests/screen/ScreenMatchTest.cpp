// The picture as RGB at every depth, pixel by pixel as the picture gives it; then the
// matcher against the plain pixel-by-pixel comparison it replaces (kept here as the
// oracle): on random screens of a few colours with channels near the tolerance, every
// region's count and every search's place and count are the same, at the percents on
// either side of the place that decides.

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>

#include "screen/ScreenMatch.h"
#include "screen/ShownPicture.h"

using namespace sorvane;

namespace {

bool PlainPixelMatches(const uint8_t* a, const uint8_t* b)
{
    for (int k = 0; k < 3; ++k)
        if (std::abs(int(a[k]) - int(b[k])) > 8)
            return false;
    return true;
}

int64_t PlainMatching(const RgbPicture& screen, int x, int y, const RgbPicture& ref)
{
    int64_t n = 0;
    for (int r = 0; r < ref.height; ++r)
        for (int c = 0; c < ref.width; ++c)
            n += PlainPixelMatches(screen.row(y + r) + size_t(x + c) * 3, ref.row(r) + size_t(c) * 3);
    return n;
}

// Every place in reading order; the first with the most matches at or above percent.
FoundImage PlainFind(const RgbPicture& screen, const RgbPicture& needle, int percent)
{
    FoundImage best;
    const int64_t total = int64_t(needle.width) * needle.height;
    for (int y = 0; y + needle.height <= screen.height; ++y)
        for (int x = 0; x + needle.width <= screen.width; ++x) {
            const RegionMatch m{PlainMatching(screen, x, y, needle), total};
            if (m.reaches(percent) && (!best.found || m.matching > best.match.matching)) {
                best.found = true;
                best.x = x;
                best.y = y;
                best.match = m;
            }
        }
    return best;
}

RgbPicture RandomScreen(std::mt19937& rng, int w, int h)
{
    // Blocks of a few colours with noise of up to 10 per channel, so that places match
    // in part and pixels sit on both sides of the tolerance.
    static const uint8_t colours[4][3] = {{255, 255, 255}, {0, 0, 0}, {16, 48, 128}, {200, 40, 40}};
    RgbPicture p{w, h, std::vector<uint8_t>(size_t(w) * size_t(h) * 3)};
    const int block = 1 + int(rng() % 6);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const uint8_t* c = colours[(size_t(x / block) * 7 + size_t(y / block) * 3 + rng() % 2) % 4];
            for (int k = 0; k < 3; ++k) {
                const int v = int(c[k]) + int(rng() % 21) - 10;
                p.rgb[(size_t(y) * size_t(w) + size_t(x)) * 3 + size_t(k)] = uint8_t(std::clamp(v, 0, 255));
            }
        }
    return p;
}

} // namespace

TEST(ScreenMatch, CountsAndPlacesAsThePlainComparison)
{
    struct Case {
        int screenW, screenH, needleW, needleH;
    } cases[] = {
        {64, 40, 16, 16}, {37, 29, 17, 5}, {50, 50, 1, 1}, {23, 31, 23, 31}, {90, 60, 33, 9}, {40, 30, 3, 29},
    };
    std::mt19937 rng(30);
    for (const Case& c : cases)
        for (int round = 0; round < 4; ++round) {
            SCOPED_TRACE(testing::Message() << c.screenW << "x" << c.screenH << " needle " << c.needleW << "x"
                                            << c.needleH << " round " << round);
            const RgbPicture screen = RandomScreen(rng, c.screenW, c.screenH);
            // A needle drawn afresh (rounds 0 and 1) or cut from the screen.
            const int nx = int(rng() % unsigned(c.screenW - c.needleW + 1));
            const int ny = int(rng() % unsigned(c.screenH - c.needleH + 1));
            const RgbPicture needle = round < 2 ? CropRgb(RandomScreen(rng, c.screenW, c.screenH), 0, 0, c.needleW,
                                                          c.needleH)
                                                : CropRgb(screen, nx, ny, c.needleW, c.needleH);
            for (int i = 0; i < 8; ++i) {
                const int x = int(rng() % unsigned(c.screenW + 2)) - 1, y = int(rng() % unsigned(c.screenH + 2)) - 1;
                const RegionMatch m = CompareRegion(screen, x, y, needle);
                const bool inside = x >= 0 && y >= 0 && x + c.needleW <= c.screenW && y + c.needleH <= c.screenH;
                EXPECT_EQ(m.total, inside ? int64_t(c.needleW) * c.needleH : 0);
                EXPECT_EQ(m.matching, inside ? PlainMatching(screen, x, y, needle) : 0) << x << "," << y;
            }
            // The best place at 1%, then the percents around its share and the next.
            const FoundImage any = PlainFind(screen, needle, 1);
            const int share = any.found ? int(any.match.percent()) : 50;
            for (int percent : {1, share - 1, share, share + 1, share + 2, 98, 100}) {
                const FoundImage want = PlainFind(screen, needle, percent);
                for (MatchKernels kernels : {MatchKernels::Portable, MatchKernels::Sse2, MatchKernels::Avx2}) {
                    if (!matchKernelsAvailable(kernels))
                        continue;
                    const FoundImage got = FindImageWith(kernels, screen, needle, percent);
                    SCOPED_TRACE(testing::Message() << "percent " << percent << " kernels " << int(kernels));
                    EXPECT_EQ(got.found, want.found);
                    if (got.found && want.found) {
                        EXPECT_EQ(got.x, want.x);
                        EXPECT_EQ(got.y, want.y);
                        EXPECT_EQ(got.match.matching, want.match.matching);
                        EXPECT_EQ(got.match.total, want.match.total);
                    }
                }
            }
        }
}

TEST(ScreenMatch, PictureToRgbGivesEachPixelsColour)
{
    std::mt19937 rng(7);
    for (int bits : {16, 8, 4})
        for (int width : {1, 7, 30}) {
            SCOPED_TRACE(testing::Message() << bits << " bits, width " << width);
            Picture p;
            p.width = width;
            p.height = 5;
            p.bitsPerPixel = bits;
            p.bitFields565 = bits == 16;
            p.stride = (size_t(width) * size_t(bits) / 8 + 4) / 4 * 4;
            p.bits.resize(p.stride * 5);
            for (uint8_t& b : p.bits)
                b = uint8_t(rng());
            for (uint8_t& b : p.colours)
                b = uint8_t(rng());
            const std::vector<uint8_t> rgb = PictureToRgb(p);
            ASSERT_EQ(rgb.size(), size_t(width) * 5 * 3);
            for (int y = 0; y < 5; ++y)
                for (int x = 0; x < width; ++x) {
                    const Rgb c = p.colourOf(p.pixel(x, y));
                    const uint8_t* got = &rgb[(size_t(y) * size_t(width) + size_t(x)) * 3];
                    ASSERT_TRUE(got[0] == c.r && got[1] == c.g && got[2] == c.b) << x << "," << y;
                }
        }
}
