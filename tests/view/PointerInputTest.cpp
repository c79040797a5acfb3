// Mouse input to packets without a window: a move with no press before it, the 176-wide
// device whose bottom strip stands for its two soft keys. A turned, scaled view's taps:
// tests/view Views.

#include <gtest/gtest.h>

#include "link/CommandPacket.h"
#include "view/PointerInput.h"

using namespace sorvane;

TEST(PointerInput, TapsDragsAndTheSoftKeyStrip)
{
    const ViewGeometry plain{1, 0, 0, 0, 0};
    PointerInput in;
    // A drag (press, move with the button held, release): tests/view_ui InputTest. A move
    // without a press that reached the device sends nothing.
    EXPECT_TRUE(in.map(plain, 240, 320, PointerAction::Move, PointerButton::None, true, 5, 5).packets.empty());

    // 176 wide: no taps; rows 200..219 are the left (F1) and right (F2) soft keys.
    struct Case { int x, y; int key; };
    for (Case k : {Case{10, 210, 0x70}, Case{87, 200, 0x70}, Case{88, 219, 0x71}, Case{100, 150, 0},
                   Case{100, 220, 0}}) {
        auto r = in.map(plain, 176, 220, PointerAction::Press, PointerButton::Left, true, k.x, k.y);
        EXPECT_EQ(r.clicks, 0);
        if (!k.key) {
            EXPECT_TRUE(r.packets.empty()) << k.x << "," << k.y;
            continue;
        }
        ASSERT_EQ(r.packets.size(), 2u);
        EXPECT_EQ(r.packets[0], MakeKeyPacket(CmdKeyDown, uint8_t(k.key), 0));
        EXPECT_EQ(r.packets[1], MakeKeyPacket(CmdKeyUp, uint8_t(k.key), 0));
        // Nothing follows on release or drag: the press was not a tap.
        EXPECT_TRUE(in.map(plain, 176, 220, PointerAction::Move, PointerButton::None, true, 1, 1).packets.empty());
        EXPECT_TRUE(in.map(plain, 176, 220, PointerAction::Release, PointerButton::Left, false, 1, 1).packets.empty());
    }
}
