// The picture as RGB at every depth, pixel by pixel as the picture gives it; the matcher
// against the plain pixel-by-pixel comparison it replaces (kept here as the oracle): on
// random screens of a few colours with channels near the tolerance, every region's count
// and every search's place and count with each inner loop, at the percents on either
// side of the best place's share.

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>

#include "screen/ScreenMatch.h"
#include "screen/ShownPicture.h"

using namespace sorvane;

namespace {

int64_t PlainMatching(const RgbPicture& screen, int x, int y, const RgbPicture& ref)
{
    int64_t n = 0;
    for (int r = 0; r < ref.height; ++r)
        for (int i = 0; i < ref.width * 3; i += 3) {
            const uint8_t *a = screen.row(y + r) + x * 3 + i, *b = ref.row(r) + i;
            n += std::abs(a[0] - b[0]) <= 8 && std::abs(a[1] - b[1]) <= 8 && std::abs(a[2] - b[2]) <= 8;
        }
    return n;
}

// Every place in reading order; the first with the most matches at or above percent.
FoundImage PlainFind(const RgbPicture& screen, const RgbPicture& needle, int percent)
{
    FoundImage best;
    for (int y = 0; y + needle.height <= screen.height; ++y)
        for (int x = 0; x + needle.width <= screen.width; ++x) {
            const RegionMatch m{PlainMatching(screen, x, y, needle), int64_t(needle.width) * needle.height};
            if (m.reaches(percent) && (!best.found || m.matching > best.match.matching))
                best = {true, x, y, m};
        }
    return best;
}

// Blocks of four colours with noise of up to 10 per channel: places match in part, and
// channels differ on both sides of the tolerance.
RgbPicture RandomScreen(std::mt19937& rng, int w, int h)
{
    static const uint8_t colours[4][3] = {{255, 255, 255}, {0, 0, 0}, {16, 48, 128}, {200, 40, 40}};
    RgbPicture p{w, h, {}};
    const int block = 1 + int(rng() % 6);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (uint8_t c : colours[(size_t(x / block) * 7 + size_t(y / block) * 3 + rng() % 2) % 4])
                p.rgb.push_back(uint8_t(std::clamp(int(c) + int(rng() % 21) - 10, 0, 255)));
    return p;
}

} // namespace

TEST(ScreenMatch, PictureToRgbGivesEachPixelsColour)
{
    std::mt19937 rng(7);
    for (int bits : {16, 8, 4})
        for (int width : {1, 7, 30}) {
            Picture p{width, 5, bits, (size_t(width) * size_t(bits) / 8 + 4) / 4 * 4, bits == 16, 0, {}, {}};
            p.bits.resize(p.stride * 5);
            for (uint8_t& b : p.bits)
                b = uint8_t(rng());
            for (uint8_t& b : p.colours)
                b = uint8_t(rng());
            const std::vector<uint8_t> rgb = PictureToRgb(p);
            ASSERT_EQ(rgb.size(), size_t(width) * 5 * 3);
            for (int i = 0; i < width * 5; ++i) {
                const Rgb c = p.colourOf(p.pixel(i % width, i / width));
                ASSERT_TRUE(rgb[3 * i] == c.r && rgb[3 * i + 1] == c.g && rgb[3 * i + 2] == c.b) << bits << " " << i;
            }
        }
}

TEST(ScreenMatch, CountsAndPlacesAsThePlainComparison)
{
    const int sizes[][4] = {{64, 40, 16, 16}, {37, 29, 17, 5}, {50, 50, 1, 1}, {23, 31, 23, 31}, {90, 60, 33, 9},
                            {40, 30, 3, 29}}; // screen w, h, needle w, h
    std::mt19937 rng(30);
    for (const auto& [w, h, nw, nh] : sizes)
        for (int round = 0; round < 4; ++round) {
            SCOPED_TRACE(testing::Message() << w << "x" << h << " needle " << nw << "x" << nh << " round " << round);
            const RgbPicture screen = RandomScreen(rng, w, h);
            // A needle drawn afresh (rounds 0 and 1) or cut from the screen.
            const RgbPicture needle = CropRgb(round < 2 ? RandomScreen(rng, w, h) : screen,
                                              int(rng() % unsigned(w - nw + 1)), int(rng() % unsigned(h - nh + 1)), nw, nh);
            for (int i = 0; i < 8; ++i) {
                const int x = int(rng() % unsigned(w + 2)) - 1, y = int(rng() % unsigned(h + 2)) - 1;
                const bool inside = x >= 0 && y >= 0 && x + nw <= w && y + nh <= h;
                const RegionMatch m = CompareRegion(screen, x, y, needle);
                EXPECT_EQ(m.total, inside ? int64_t(nw) * nh : 0);
                EXPECT_EQ(m.matching, inside ? PlainMatching(screen, x, y, needle) : 0) << x << "," << y;
            }
            const FoundImage any = PlainFind(screen, needle, 1);
            const int share = any.found ? int(any.match.percent()) : 50;
            for (int percent : {1, share - 1, share, share + 1, share + 2, 98, 100}) {
                const FoundImage want = PlainFind(screen, needle, percent);
                for (MatchKernels kernels : {MatchKernels::Portable, MatchKernels::Sse2, MatchKernels::Avx2}) {
                    if (!matchKernelsAvailable(kernels))
                        continue;
                    const FoundImage got = FindImageWith(kernels, screen, needle, percent);
                    EXPECT_TRUE(got.found == want.found && got.x == want.x && got.y == want.y &&
                                got.match.matching == want.match.matching && got.match.total == want.match.total)
                        << "percent " << percent << " kernels " << int(kernels) << ": " << got.found << " " << got.x
                        << "," << got.y << " " << got.match.matching << " instead of " << want.found << " " << want.x
                        << "," << want.y << " " << want.match.matching;
                }
            }
        }
}
