#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <set>

#include "imaging/ImageLibrary.h"
#include "platform/ByteOrder.h"
#include "support/SimProcess.h"
#include "support/TempDir.h"
#include "view/SkinGeometry.h"

using namespace sorvane;

namespace {

// The rotation rule, applied by turning 90 degrees at a time: (x, y) of a w x h image
// goes to (h - 1 - y, x).
std::pair<int, int> turn(int rotation, int w, int h, int x, int y)
{
    for (; rotation > 0; rotation -= 90) {
        std::tie(x, y) = std::pair{h - 1 - y, x};
        std::swap(w, h);
    }
    return {x, y};
}

Skin skinOf(int w, int h, std::vector<Hotspot> hotspots, int ox = 0, int oy = 0)
{
    Skin s;
    s.shown = true;
    s.image = makeRawImage(w, h, 16);
    s.xOffset = ox;
    s.yOffset = oy;
    s.hotspots = std::move(hotspots);
    return s;
}

} // namespace

TEST(SkinFile, ReadWithProfileRules)
{
    struct Case {
        const char* what;
        std::string ini;
        std::vector<std::string> names;
        std::vector<int> hotspotXs; // of skin 0, in table order
        Hotspot first{};            // the first hotspot of skin 0, where there is one
        int xOffset = 0, yOffset = 0;
    };
    // 33 names; 40 hotspots with X = i and KEY = i, but KEY 0 for every third one.
    std::string names33 = "[SKINS]\n", hotspots40 = "[hotspots0]\n";
    std::vector<std::string> first32;
    std::vector<int> kept;
    for (int i = 0; i < 40; ++i) {
        const std::string n = std::to_string(i);
        names33 += i < 33 ? "skin" + n + "=n" + n + "\n" : "";
        hotspots40 += "X" + n + "=" + n + "\nKEY" + n + "=" + (i % 3 ? n : "0") + "\n";
        if (i < 32)
            first32.push_back("n" + n);
        if (i < 32 && i % 3)
            kept.push_back(i);
    }
    const Case cases[] = {
        {"gap after skin1", "[SKINS]\nskin0=A\nskin1=B\nskin3=D\n", {"A", "B"}, {}},
        {"empty name ends the list", "\xEF\xBB\xBF;c\r\n[skins]\r\n Skin0 = \"  Q  \" \r\nskin1=\r\nskin2=C\r\n", {"  Q  "}, {}},
        {"first section and key win", "[SKINS]\nskin0=A\nskin0=B\n[Other]\nskin1=X\n[SKINS]\nskin1=Y\n", {"A"}, {}},
        {"33rd skin ignored", names33, first32, {}},
        {"40 hotspots, zero keys skipped", hotspots40, {}, kept, {1, 0, 0, 0, 1, ""}},
        {"missing keys take defaults; keys outside 1..255 dropped",
         "[skin0]\nXOffset=12abc\nYOffset=-99999999999\n[hotspots0]\nKEY0=256\nKEY1=-3\nX2=7\nY2=x\nCX2=4\nCY2=5\n"
         "KEY2=+193\nTIP2=" + std::string(200, 't') + "\n",
         {}, {7}, {7, 0, 4, 5, 193, std::string(127, 't')}, 12, -kMaxSkinOffset},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const PrivateProfile ini(c.ini);
        EXPECT_EQ(SkinNames(ini), c.names);
        const SkinDefinition d = ReadSkinDefinition(ini, 0);
        std::vector<int> xs;
        for (const Hotspot& h : d.hotspots)
            xs.push_back(h.x);
        EXPECT_EQ(xs, c.hotspotXs);
        if (!d.hotspots.empty())
            EXPECT_EQ(d.hotspots[0], c.first);
        EXPECT_EQ(d.xOffset, c.xOffset);
        EXPECT_EQ(d.yOffset, c.yOffset);
    }
}

TEST(SkinFile, OlderNameReadWhenTheUsualOneIsAbsent)
{
    test::TempDir dir;
    EXPECT_TRUE(LoadSkinList(dir.path()).empty());
    std::ofstream(dir / "K_PPC.INI") << "[SKINS]\nskin0=Old\n";
    EXPECT_EQ(LoadSkinList(dir.path()), std::vector<std::string>{"Old"});
    std::ofstream(dir / "SKINS.INI") << "[SKINS]\nskin0=New\nskin1=Two\n";
    EXPECT_EQ(LoadSkinList(dir.path()), (std::vector<std::string>{"New", "Two"}));
}

TEST(SkinGeometry, PlacementFollowsTheRotationRule)
{
    // The description's example, then sizes where every term differs.
    EXPECT_EQ(PlaceSkinPicture(180, 300, 500, 240, 320, 20, 60), (SkinPlacement{40, 120}));
    EXPECT_EQ(PlaceSkinPicture(90, 300, 500, 240, 320, 20, 60), (SkinPlacement{120, 20}));
    EXPECT_EQ(PlaceSkinPicture(45, 300, 500, 240, 320, 20, 60), std::nullopt);
    for (int r : {0, 90, 180, 270}) {
        const int Ws = 31, Hs = 53, W = 12, H = 20, ox = 3, oy = 7;
        // The turned picture's corner is the smallest turned corner of its rectangle.
        auto [ax, ay] = turn(r, Ws, Hs, ox, oy);
        auto [bx, by] = turn(r, Ws, Hs, ox + W - 1, oy + H - 1);
        EXPECT_EQ(PlaceSkinPicture(r, Ws, Hs, W, H, ox, oy), (SkinPlacement{std::min(ax, bx), std::min(ay, by)})) << r;
    }
}

TEST(SkinGeometry, HotspotsAndTurnedPaintingAtEveryRotationAndScale)
{
    const int Ws = 30, Hs = 50;
    Skin skin = skinOf(Ws, Hs, {{3, 4, 5, 6, 1, "a"}, {6, 8, 4, 4, 2, "b"}, {20, 40, 6, 5, 0xC1, ""}});
    auto colour = [](int x, int y) { return uint16_t(x * 2048 + y); }; // 5 bits of x, 6 of y
    for (int y = 0; y < Hs; ++y)
        for (int x = 0; x < Ws; ++x)
            storeLe16(skin.image.data.writable().data() + y * skin.image.rowBytes + 2 * x, colour(x, y));
    for (int r : {0, 90, 180, 270}) {
        const DisplaySize t = RotatedSize(Ws, Hs, r);
        std::vector<uint32_t> painted(size_t(t.width * t.height));
        RenderSkinRegion(skin.image, r, 0, 0, t.width, t.height, painted.data(), size_t(t.width));
        for (int s = 1; s <= 3; ++s) {
            const ViewGeometry g{s, r, 0, 0, 9};
            for (int y = 0; y < Hs; ++y)
                for (int x = 0; x < Ws; ++x) {
                    auto [tx, ty] = turn(r, Ws, Hs, x, y);
                    std::vector<int> expected;
                    for (int i = 0; i < 3; ++i) {
                        const Hotspot& h = skin.hotspots[size_t(i)];
                        if (x >= h.x && x < h.x + h.cx && y >= h.y && y < h.y + h.cy)
                            expected.push_back(i);
                    }
                    ASSERT_EQ(HotspotsAt(skin, false, g, tx * s + s - 1, ty * s + 9), expected) << r << " " << x << "," << y;
                    const auto bgr = bgrFrom565(colour(x, y));
                    ASSERT_EQ(painted[size_t(ty * t.width + tx)],
                              0xFF000000u | uint32_t(bgr[2]) << 16 | uint32_t(bgr[1]) << 8 | bgr[0]);
                }
        }
    }
}

TEST(SkinGeometry, ClicksSendKeysAndTapsReachTheRightPixel)
{
    Skin skin = skinOf(300, 500, {{0, 0, 10, 10, 0x26, ""}, {5, 5, 10, 10, 0x0D, ""}}, 20, 60);
    const ViewGeometry g0{1, 0, 20, 60, 0};
    // Overlapping buttons pressed by one click, and an application button's extra key:
    // tests/view_ui SkinWindow's Enter over the Calendar button, as the simulator sees them.
    EXPECT_FALSE(ClickHotspots(skin, false, g0, 100, 100).taken());
    // Second display without a case of its own: no hotspots, the window fits the picture.
    EXPECT_EQ(HotspotAt(skin, true, g0, 7, 7), -1);
    EXPECT_EQ(SkinContentSize(skin, true, {120, 160}), (DisplaySize{120, 160}));
    EXPECT_EQ(PlaceSkinPicture(skin, true, {120, 160}, 90), (SkinPlacement{0, 0}));

    const SkinPlacement p = *PlaceSkinPicture(skin, false, {240, 320}, 270);
    const ViewGeometry g{2, 270, p.skinX, p.skinY, 26};
    EXPECT_TRUE(UpdateInsidePicture(g, {240, 320}, {p.skinX * 2, p.skinY * 2 + 26, p.skinX * 2 + 640, p.skinY * 2 + 506}));
    EXPECT_FALSE(UpdateInsidePicture(g, {240, 320}, {p.skinX * 2 - 1, p.skinY * 2 + 26, p.skinX * 2 + 9, p.skinY * 2 + 36}));
}

TEST(SkinImages, BelowSixteenBitsBecomeRgb565)
{
    // Pillow writes palette pictures (a BMP's rows stored bottom-up, a 4-bit PNG) and
    // the colours it reads back.
    const char* python = std::getenv("SORVANE_PYTHON");
    ASSERT_TRUE(python && *python) << "SORVANE_PYTHON is not set";
    test::TempDir dir;
    const std::string script =
        "import random,sys\nfrom PIL import Image\nr=random.Random(5)\n"
        "for name,n in (('p.bmp',256),('p.png',16)):\n"
        " im=Image.new('P',(37,23));im.putpalette([r.randrange(256) for _ in range(3*n)]+[0]*(768-3*n))\n"
        " im.putdata([r.randrange(n) for _ in range(37*23)])\n"
        " im.save(sys.argv[1]+'/'+name,**({'bits':4} if n==16 else {}))\n"
        " open(sys.argv[1]+'/'+name+'.rgb','wb').write(Image.open(sys.argv[1]+'/'+name).convert('RGB').tobytes())\n";
    const test::ProcessResult made = test::runProcess({python, "-c", script, dir.path().string()});
    ASSERT_EQ(made.exitCode, 0) << made.err;
    for (const char* name : {"p.bmp", "p.png"}) {
        ImageRecord image;
        ASSERT_EQ(LoadSkinImage(dir / name, image), kImageOk) << name;
        ASSERT_EQ(image.bitsPerPixel, 16);
        std::ifstream in(dir / (std::string(name) + ".rgb"), std::ios::binary);
        const std::string rgb{std::istreambuf_iterator<char>(in), {}};
        ASSERT_EQ(rgb.size(), size_t(37 * 23 * 3));
        for (int y = 0; y < 23; ++y)
            for (int x = 0; x < 37; ++x) {
                const uint8_t* c = reinterpret_cast<const uint8_t*>(rgb.data()) + (y * 37 + x) * 3;
                const uint8_t* row = rowOf(image, y);
                ASSERT_EQ(row[2 * x] | row[2 * x + 1] << 8, rgb565From(c[2], c[1], c[0])) << name << " " << x << "," << y;
            }
    }
}

TEST(SkinImages, ShippedSkinsLoadWithTheirButtons)
{
    const std::filesystem::path shipped = SORVANE_SKIN_DIR;
    ASSERT_EQ(LoadSkinList(shipped).size(), 2u);
    for (int index = 1; index <= 2; ++index) {
        Skin skin;
        ASSERT_EQ(LoadSkin(shipped, index, skin), SkinLoadResult::Loaded) << index;
        for (bool second : {false, true}) {
            const DisplaySize d = second ? DisplaySize{120, 160} : DisplaySize{240, 320};
            const SkinFace f = FaceInUse(skin, second);
            if (!f)
                continue;
            EXPECT_TRUE(f.xOffset >= 0 && f.yOffset >= 0 && f.xOffset + d.width <= f.image->width &&
                        f.yOffset + d.height <= f.image->height);
            const ViewGeometry g{1, 0, f.xOffset, f.yOffset, 0};
            std::set<int> keys;
            for (const Hotspot& h : skin.hotspots) {
                const WindowRect hr{h.x, h.y, h.x + h.cx, h.y + h.cy};
                EXPECT_TRUE(hr.right <= f.image->width && hr.bottom <= f.image->height);
                EXPECT_FALSE(UpdateInsidePicture(g, d, hr)) << "a button on the screen";
                keys.insert(h.key);
            }
            EXPECT_EQ(keys, (std::set<int>{0x0D, 0x25, 0x26, 0x27, 0x28, 0xC1, 0xC2, 0xC3, 0xC4}));
        }
        EXPECT_EQ(bool(FaceInUse(skin, true)), index == 2);
    }
    // Toggle Skin: on, off; nothing to show without a skin.
    Skin skin;
    EXPECT_EQ(ToggleSkin(shipped, 1, skin), SkinToggle::Shown);
    EXPECT_EQ(ToggleSkin(shipped, 1, skin), SkinToggle::Hidden);
    EXPECT_EQ(ToggleSkin(shipped, 0, skin), SkinToggle::Unchanged);
}
