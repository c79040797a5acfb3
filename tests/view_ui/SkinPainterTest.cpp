// The painted device view with a skin, checked against the rotation rule.

#include <gtest/gtest.h>

#include <QImage>

#include "screen/ViewBitmaps.h"
#include "view/SkinGeometry.h"
#include "view/ui/SkinPainter.h"

using namespace sorvane;

namespace {

std::pair<int, int> turn(int rotation, int w, int h, int x, int y)
{
    for (; rotation > 0; rotation -= 90) {
        std::tie(x, y) = std::pair{h - 1 - y, x};
        std::swap(w, h);
    }
    return {x, y};
}

} // namespace

TEST(SkinPainter, CaseAndPictureTurnedAndScaled)
{
    Skin skin;
    ASSERT_EQ(LoadSkin(SORVANE_SKIN_DIR, 1, skin), SkinLoadResult::Loaded);
    ScreenState screen;
    screen.facts = DisplayFacts{16, 240, 320, 0};
    ASSERT_TRUE(BuildViewBitmaps(screen.bitmaps, screen.facts, screen.palette));
    Picture& p = screen.bitmaps.dib;
    for (int y = 0; y < 320; ++y)
        for (int x = 0; x < 240; ++x) {
            const uint16_t v = uint16_t(((x / 8) << 11) | ((y / 5) << 5) | ((x + y) & 31));
            p.row(y)[2 * x] = uint8_t(v);
            p.row(y)[2 * x + 1] = uint8_t(v >> 8);
        }
    const int s = 2, toolbar = 10;
    for (int r : {0, 90, 180, 270}) {
        const SkinPlacement at = *PlaceSkinPicture(skin, false, {240, 320}, r);
        const ViewGeometry g{s, r, at.skinX, at.skinY, toolbar};
        const DisplaySize content = SkinContentSize(skin, false, {240, 320});
        int w = 0, h = 0;
        FitClientSize(g, content.width, content.height, w, h);
        QImage client(w, h, QImage::Format_RGB32);
        client.fill(Qt::magenta);
        {
            QPainter painter(&client);
            PaintDeviceView(painter, client.rect(), screen, g, skin);
        }
        // Picture pixels land where the rotation rule puts them, inside the case.
        for (auto [x, y] : {std::pair{0, 0}, {239, 0}, {0, 319}, {131, 77}}) {
            auto [tx, ty] = turn(r, 240, 320, x, y);
            const Rgb c = p.colourOf(p.pixel(x, y));
            EXPECT_EQ(client.pixel((at.skinX + tx) * s + 1, (at.skinY + ty) * s + toolbar + 1), qRgb(c.r, c.g, c.b));
        }
        // Case pixels too: a corner of the case, a button's centre.
        for (auto [x, y] : {std::pair{0, 0}, {42, 432}, {299, 300}}) {
            auto [tx, ty] = turn(r, 300, 480, x, y);
            const auto bgr = pixelColour(skin.image, x, y);
            EXPECT_EQ(client.pixel(tx * s, ty * s + toolbar), qRgb(bgr[2], bgr[1], bgr[0])) << r;
        }
    }
}
