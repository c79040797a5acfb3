#include <gtest/gtest.h>

#include <vector>

#include "screen/ViewBitmaps.h"
#include "view/PictureRender.h"

using namespace sorvane;

namespace {

// A 16-bit W x H picture whose pixel (x, y) has a distinct 565 value.
Picture picture16(int W, int H)
{
    ScreenState st;
    st.facts = DisplayFacts{16, W, H, 0};
    EXPECT_TRUE(BuildViewBitmaps(st.bitmaps, st.facts, st.palette));
    Picture p = st.bitmaps.dib;
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            const uint16_t v = uint16_t(((x * 5) << 11) | ((y * 9) << 5) | (x + y));
            p.row(y)[2 * x] = uint8_t(v);
            p.row(y)[2 * x + 1] = uint8_t(v >> 8);
        }
    return p;
}

std::vector<uint32_t> render(const Picture& p, int rotation)
{
    const DisplaySize s = RotatedSize(p.width, p.height, rotation);
    std::vector<uint32_t> out(size_t(s.width * s.height), 0);
    RenderRotatedRegion(p, rotation, 0, 0, s.width, s.height, out.data(), size_t(s.width));
    return out;
}

} // namespace

// Whole turned pictures: tests/view_ui DeviceWindow against the simulator's dump.
TEST(PictureRender, ARegionIsPartOfTheWholeTurnedPicture)
{
    const Picture p = picture16(3, 2);
    // A region renders the same pixels as the whole picture does, and nothing
    // outside the picture is touched.
    const std::vector<uint32_t> whole = render(p, 270);
    std::vector<uint32_t> part(4 * 4, 7);
    RenderRotatedRegion(p, 270, 1, 1, 4, 4, part.data(), 4);
    EXPECT_EQ(part[0], whole[1 * 2 + 1]);
    EXPECT_EQ(part[4], whole[2 * 2 + 1]);
    EXPECT_EQ(part[1], 7u); // x 2 is outside the 2-wide turned picture
    EXPECT_EQ(part[8], 7u); // y 3 is outside its 3 rows
}

// An indexed picture through its colour table: tests/view_ui DeviceWindow's 8-bit device
// against the simulator's dump.
TEST(PictureRender, LowColourAndTheSecondDisplayChooseThePictureShown)
{
    // Low colour mode of a 16-bit device shows the 4-bit picture; the second display
    // shows its own picture only while flipped to it.
    ScreenState sixteen;
    sixteen.facts = DisplayFacts{16, 4, 2, 0, 8, 6, 4, 0};
    ASSERT_TRUE(BuildViewBitmaps(sixteen.bitmaps, sixteen.facts, sixteen.palette));
    EXPECT_EQ(ShownPicture(sixteen), &sixteen.bitmaps.dib);
    sixteen.lowColor = 1;
    EXPECT_EQ(ShownPicture(sixteen), &sixteen.bitmaps.dib4);
    EXPECT_EQ(DisplayInUse(sixteen), (DisplaySize{4, 2}));
    sixteen.flipState = 1;
    EXPECT_EQ(ShownPicture(sixteen), &sixteen.bitmaps.altDib);
    EXPECT_EQ(DisplayInUse(sixteen), (DisplaySize{6, 4}));
}
