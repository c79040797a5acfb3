#include <gtest/gtest.h>

#include <vector>

#include "screen/ViewBitmaps.h"
#include "view/PictureRender.h"

using namespace sorvane;

// Turned parts of a picture: tests/view_ui DeviceWindowTest (the paint rule against Qt's
// own turned picture; the 8-bit device through its colour table against the simulator's dump).
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
