#include <gtest/gtest.h>
#include <array>

#include "platform/WindowPlacement.h"
#include "view/InputPackets.h"
#include "view/ViewGeometry.h"

using namespace sorvane;

TEST(ViewGeometry, WindowToDeviceInvertsThePictureMapping)
{
    const int W = 240, H = 320;
    // Scale 2 unturned: tests/view_ui InputTest's first click.
    // Rotation 90: client (0, g) is device (0, 319).
    EXPECT_EQ(WindowToDevice({1, 90, 0, 0, 26}, W, H, 0, 26), (DevicePoint{0, 319}));
    // For every rotation and scale, the window area that shows a device pixel maps back
    // to that pixel at each of its corners.
    for (int rotation : {0, 90, 180, 270})
        for (int scale = 1; scale <= 4; ++scale) {
            ViewGeometry g{scale, rotation, 7, 5, 30};
            for (auto [x, y] : {std::pair{0, 0}, {W - 1, 0}, {0, H - 1}, {123, 45}, {W - 1, H - 1}}) {
                WindowRect r = InvalidateChanged(g, W, H, {x, y, x + 1, y + 1});
                EXPECT_EQ(r.right - r.left, scale);
                EXPECT_EQ(r.bottom - r.top, scale);
                EXPECT_EQ(WindowToDevice(g, W, H, r.left, r.top), (DevicePoint{x, y})) << rotation << " " << scale;
                EXPECT_EQ(WindowToDevice(g, W, H, r.right - 1, r.bottom - 1), (DevicePoint{x, y}));
            }
            // A checkpoint's band covers the device pixels under both its corners and
            // those between; a corner beyond the client area clips it to the display's
            // corner that lies there, a band beside the picture is empty.
            const WindowRect a = InvalidateChanged(g, W, H, {10, 20, 11, 21});
            const WindowRect b = InvalidateChanged(g, W, H, {40, 25, 41, 26});
            EXPECT_EQ(WindowBandToDevice(g, W, H, b.right - 1, a.top, a.left, b.bottom - 1),
                      (DeviceRect{10, 20, 41, 26}));
            const DeviceRect clipped[] = {{0, 0, 41, 26}, {0, 25, 41, H}, {40, 25, W, H}, {40, 0, W, 26}};
            EXPECT_EQ(WindowBandToDevice(g, W, H, -900, -900, b.left, b.top), clipped[rotation / 90]);
            EXPECT_TRUE(WindowBandToDevice(g, W, H, -900, -900, -800, b.top).empty());
        }
}

TEST(ViewGeometry, InputPacketBytes)
{
    InputPacket p = MakeMousePacket('T', 300, 65535);
    EXPECT_EQ(p, (InputPacket{'T', 0xFF, 'T', 0x11, 0x2C, 0x01, 0xFF, 0xFF}));
    EXPECT_EQ(MakeKeyPacket('V', 0x35, 1), (InputPacket{'V', 0xFF, 'V', 0x11, 0x35, 1, 0, 0}));
}

// The demo at 1600 x 900 (frames measured under Xvfb): the main window centred, the 2x
// device right of it; the 8-bit device's window goes left of the main window.
TEST(WindowPlacement, ANewWindowFindsFreeRoomBesideTheOpenOnes)
{
    const std::vector<IntRect> taken = {{499, 254, 602, 392}, {1112, 153, 482, 727}};
    const IntRect spot = freeSpotBeside(taken, 242, 407, {0, 0, 1600, 900}, 12).value();
    EXPECT_TRUE(spot.x + spot.width == 487 && !intersects(spot, taken[0]) && !intersects(spot, taken[1]));
    EXPECT_FALSE(freeSpotBeside(taken, 500, 407, {0, 0, 1600, 900}, 12)); // no room: the caller cascades
}

// A tile's picture: the largest whole factor that fits, else the largest size with the
// aspect kept; a change repaints exactly the shown pixels whose device pixel it holds.
TEST(ViewGeometry, FittedPictureAndItsRepaints)
{
    EXPECT_EQ(FitPicture(240, 320, 500, 700).factor, 2);
    const FittedPicture small = FitPicture(640, 480, 200, 300); // width-limited, below 1
    EXPECT_TRUE(small.factor == 0 && small.width == 200 && small.height == 150);
    EXPECT_EQ(FitPicture(480, 640, 300, 200).width, 150);
    // Every column and row a one-pixel change (and one from the corner) can start or end at.
    for (auto [W, H, w, h] : {std::array{640, 480, 192, 144}, {240, 320, 480, 640}, {320, 240, 211, 158}, {33, 17, 10, 5}})
        for (int L = 0; L < std::max(W, H); ++L)
            for (const DeviceRect a : {DeviceRect{L, L, L + 1, L + 1}, {0, 0, L, L}}) {
                const WindowRect r = ShownArea(W, H, w, h, a);
                for (int x = 0; x < std::max(w, h); ++x) {
                    const DevicePoint c = ShownToDevice(W, H, w, h, x, x);
                    if (x < w)
                        ASSERT_EQ(c.x >= a.left && c.x < a.right, x >= r.left && x < r.right) << W << " " << w << " " << L;
                    if (x < h)
                        ASSERT_EQ(c.y >= a.top && c.y < a.bottom, x >= r.top && x < r.bottom) << H << " " << h << " " << L;
                }
            }
}
