// The simulated handheld driven as a newcomer drives it, through sorvane-cli's input
// options (the core's input packets, sent as one queued message) over loopback: typed
// letters show in Notes and a drag leaves ink at the device's depth; --lag and --notes
// do what they say. The simulator's clock is fixed, so two runs differ only where the
// input changed the picture.

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "support/SimProcess.h"
#include "support/TempDir.h"

using namespace sorvane::test;

namespace {

struct Picture {
    int width = 0, height = 0;
    std::string rgb;
    std::string at(int x, int y) const { return rgb.substr((size_t(y) * size_t(width) + size_t(x)) * 3, 3); }
};

// The picture sorvane-cli captures after sending the input, from a simulator with a
// fixed clock; no update on the way was refused.
Picture capture(const std::vector<std::string>& device, const std::vector<std::string>& input)
{
    TempDir dir;
    std::vector<std::string> args = {"--host", "127.0.0.1", "--port", "0", "--clock", "fixed", "--dump-dir",
                                     dir.path().string()};
    args.insert(args.end(), device.begin(), device.end());
    SimProcess sim(args);
    std::vector<std::string> cli = {programFromEnv("SORVANE_CLI"), "--host", "127.0.0.1", "--port",
                                    std::to_string(sim.tcpPort()), "capture", (dir / "shot.ppm").string()};
    cli.insert(cli.end(), input.begin(), input.end());
    ProcessResult r = runProcess(cli, std::chrono::seconds(120));
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(simRefreshes(dir.path()), 1);
    std::ifstream f(dir / "shot.ppm", std::ios::binary);
    Picture p;
    int maxval = 0;
    std::string magic;
    f >> magic >> p.width >> p.height >> maxval;
    f.get();
    p.rgb.assign(std::istreambuf_iterator<char>(f), {});
    EXPECT_EQ(magic, "P6");
    EXPECT_EQ(p.rgb.size(), size_t(p.width) * size_t(p.height) * 3);
    return p;
}

std::vector<std::string> operator+(std::vector<std::string> a, const std::vector<std::string>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

} // namespace

TEST(Handheld, TypedLettersShowInTheNotesTextArea)
{
    // Start (bottom left), then Notes, the menu's first item.
    const std::vector<std::string> openNotes = {"--tap", "10,310", "--tap", "20,240"};
    const Picture before = capture({}, openNotes);
    const Picture after = capture({}, openNotes + std::vector<std::string>{"--type", "Hello"});
    ASSERT_EQ(after.rgb.size(), before.rgb.size());

    // What changed lies on the first line of the text area: below the 16-pixel title
    // bar, within five letters (and the caret) from the left.
    int left = after.width, right = -1, top = after.height, bottom = -1;
    for (int y = 0; y < after.height; ++y)
        for (int x = 0; x < after.width; ++x)
            if (after.at(x, y) != before.at(x, y)) {
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
    ASSERT_GE(right, 0) << "typing changed nothing";
    EXPECT_GE(top, 16);
    EXPECT_LT(bottom, 16 + 20);
    EXPECT_LT(right, 4 + 6 * 5 + 2);
    EXPECT_GT(right - left, 6 * 4) << "fewer than five letters wide";
}

TEST(Handheld, LagHoldsInputBackInOrderAndNotesStartWithText)
{
    // Each capture equals one without the option. 20 polls at 10 a second outlast a lag of
    // 300 ms; without --polls the capture ends at the first poll finding no change.
    const std::vector<std::string> notes = {"--key", "0xC3"}, typed = {"--key", "0xC3", "--type", "Hello"};
    const std::vector<std::string> rows[][3] = {{{"--notes", "Hello"}, notes, typed},
                                                {{"--lag", "60000"}, notes, {}},
                                                {{"--lag", "300"}, typed + std::vector<std::string>{"--polls", "20"}, typed}};
    for (const auto& [device, input, plainInput] : rows)
        EXPECT_TRUE(capture(device, input).rgb == capture({}, plainInput).rgb) << device[0] << " " << device[1];
}

struct InkCase {
    const char* name;
    std::vector<std::string> device;
};

class HandheldInk : public ::testing::TestWithParam<InkCase> {};

TEST_P(HandheldInk, ADragLeavesInkAlongItsLine)
{
    const std::vector<std::string> notes = {"--key", "0xC3"}; // the Notes application key
    const Picture plain = capture(GetParam().device, notes);
    const Picture inked = capture(GetParam().device, notes + std::vector<std::string>{"--drag", "20,100,200,100"});
    ASSERT_EQ(inked.rgb.size(), plain.rgb.size());
    const std::string ink = inked.at(20, 100);
    for (int x = 20; x <= 200; ++x) {
        EXPECT_NE(plain.at(x, 100), ink) << "x " << x;
        ASSERT_EQ(inked.at(x, 100), ink) << "x " << x;
    }
    for (int x = 0; x < inked.width; ++x)
        EXPECT_EQ(inked.at(x, 120), plain.at(x, 120)) << "ink off the line at x " << x;
    EXPECT_EQ(inked.at(10, 100), plain.at(10, 100));
    EXPECT_EQ(inked.at(210, 100), plain.at(210, 100));
}

INSTANTIATE_TEST_SUITE_P(Depths, HandheldInk,
                         ::testing::Values(InkCase{"depth16", {"--depth", "16"}},
                                           InkCase{"depth16_480x640", {"--width", "480", "--height", "640"}},
                                           InkCase{"depth4_320x240", {"--depth", "4", "--width", "320", "--height",
                                                                      "240"}}),
                         [](const auto& info) { return std::string(info.param.name); });
