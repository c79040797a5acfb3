// RenderImage: rotations by the view's mapping, zoom, row orders, refusals.

#include "OracleSupport.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace sorvane;
using namespace sorvane::test;

namespace {

// The raw value of pixel (x, y) of rows of the given depth.
uint32_t rawAt(const uint8_t* rows, int64_t stride, int bits, int x, int y)
{
    const uint8_t* r = rows + y * stride;
    switch (bits) {
    case 1: return (r[x >> 3] >> (7 - (x & 7))) & 1;
    case 4: return (x & 1) ? r[x >> 1] & 15 : r[x >> 1] >> 4;
    case 8: return r[x];
    case 16: return uint32_t(r[2 * x] | r[2 * x + 1] << 8);
    default: return uint32_t(r[3 * x] | r[3 * x + 1] << 8 | r[3 * x + 2] << 16);
    }
}

uint32_t imageAt(const ImageRecord& img, int x, int y)
{
    int stored = img.rowOrder == kRowsBottomUp ? img.height - 1 - y : y;
    return rawAt(img.payload().data(), img.rowBytes, img.bitsPerPixel, x, stored);
}

struct Target {
    std::vector<uint8_t> pixels;
    RenderTarget t;
    Target(int w, int h, int bits, int rotation = 0, int zoom = 256)
    {
        t.width = w;
        t.height = h;
        t.rotation = rotation;
        t.zoomX = t.zoomY = zoom;
        t.rowBytes = (w * bits + 31) / 32 * 4; // rows padded as bitmaps are
        pixels.assign(size_t(t.rowBytes) * size_t(h), 0xEE);
        t.pixels = pixels;
    }
    uint32_t at(int bits, int x, int y, bool topDown = true) const
    {
        return rawAt(pixels.data(), t.rowBytes, bits, x, topDown ? y : t.height - 1 - y);
    }
};

} // namespace

TEST(RenderImage, RotationsFollowTheViewMapping)
{
    const int W = 11, H = 7;
    for (int bits : {1, 4, 8, 16, 24})
        for (bool bottomUpSource : {false, true})
            for (bool topDown : {true, false})
                for (int rotation : {0, 90, 180, 270}) {
                    ImageRecord pic = testPicture(W, H, bits, 0, uint32_t(bits + rotation));
                    if (bottomUpSource)
                        pic = bottomUpCopy(pic);
                    const bool turned = rotation % 180 != 0;
                    Target tg(turned ? H : W, turned ? W : H, bits, rotation);
                    ASSERT_EQ(RenderImage(pic, tg.t, topDown, 0), kImageOk);
                    for (int y = 0; y < H; ++y)
                        for (int x = 0; x < W; ++x) {
                            int tx = x, ty = y;
                            if (rotation == 90)
                                tx = H - 1 - y, ty = x;
                            else if (rotation == 180)
                                tx = W - 1 - x, ty = H - 1 - y;
                            else if (rotation == 270)
                                tx = y, ty = W - 1 - x;
                            ASSERT_EQ(tg.at(bits, tx, ty, topDown), imageAt(pic, x, y))
                                << bits << " bits, rotation " << rotation << ", source (" << x << ", " << y << ")"
                                << (topDown ? "" : ", bottom-up target") << (bottomUpSource ? ", bottom-up source" : "");
                        }
                }
}

// Twice the size from (3, 2): a 2 x 2 block per picture pixel; half the size from (-2, -1):
// every other pixel. Where the target reaches past the picture it gets the background.
TEST(RenderImage, ZoomAndOrigin)
{
    const struct {
        int w, h, zoom, x, y;
    } cases[] = {{20, 16, 512, 3, 2}, {6, 5, 128, -2, -1}};
    for (int bits : {4, 8, 24})
        for (const auto& c : cases) {
            ImageRecord pic = testPicture(10, 8, bits, 0, 9);
            Target tg(c.w, c.h, bits, 0, c.zoom);
            tg.t.x = c.x;
            tg.t.y = c.y;
            ASSERT_EQ(RenderImage(pic, tg.t, true, 0x123456), kImageOk);
            for (int ty = 0; ty < c.h; ++ty)
                for (int tx = 0; tx < c.w; ++tx) {
                    int sx = c.x + tx * 256 / c.zoom, sy = c.y + ty * 256 / c.zoom;
                    uint32_t background = bits == 24 ? 0x123456 : 0;
                    uint32_t want = (sx >= 0 && sy >= 0 && sx < 10 && sy < 8) ? imageAt(pic, sx, sy) : background;
                    ASSERT_EQ(tg.at(bits, tx, ty), want)
                        << bits << " bits, zoom " << c.zoom << " at " << tx << "," << ty;
                }
        }
}

TEST(RenderImage, RefusesBadTargets)
{
    ImageRecord pic = testPicture(4, 4, 16);
    Target ok(4, 4, 16);
    EXPECT_EQ(RenderImage(pic, ok.t, true, 0), kImageOk);
    auto with = [&](auto change) {
        Target tg(4, 4, 16);
        change(tg.t);
        return RenderImage(pic, tg.t, true, 0);
    };
    EXPECT_EQ(with([](RenderTarget& t) { t.zoomX = 31; }), kImageUnsupported);
    EXPECT_EQ(with([](RenderTarget& t) { t.zoomY = 31; }), kImageUnsupported);
    EXPECT_EQ(with([](RenderTarget& t) { t.zoomX = t.zoomY = 32; }), kImageOk);
    EXPECT_EQ(with([](RenderTarget& t) { t.width = 0; }), kImageUnsupported);
    EXPECT_EQ(with([](RenderTarget& t) { t.height = 0; }), kImageUnsupported);
    EXPECT_EQ(with([](RenderTarget& t) { t.pixels = {}; }), kImageUnsupported);
    EXPECT_EQ(with([](RenderTarget& t) { t.rotation = 45; }), kImageUnsupported);
    EXPECT_EQ(with([](RenderTarget& t) { t.pixels = t.pixels.first(t.pixels.size() - 1); }), kImageUnsupported);
    EXPECT_EQ(with([](RenderTarget& t) { t.rowBytes = 7; }), kImageUnsupported); // under one row
    ImageRecord odd = copyImage(pic);
    odd.bitsPerPixel = 2;
    EXPECT_EQ(RenderImage(odd, ok.t, true, 0), kImageUnsupported);
    ImageRecord gif;
    gif.imageType = kImageGifLzw;
    ImageRecord eight = testPicture(4, 4, 8);
    ASSERT_EQ(ConvertImage(eight, gif, 0), kImageOk);
    Target t8(4, 4, 8);
    EXPECT_EQ(RenderImage(gif, t8.t, true, 0), kImageUnsupported);
}
