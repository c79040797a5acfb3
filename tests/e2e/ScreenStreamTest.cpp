// The screen stream end to end: sorvane-cli captures from sorvane-sim over loopback
// TCP, and the picture it writes must equal, byte for byte, the simulator's own dump
// of the screen it last sent — at every depth and orientation, on the second display,
// in low colour mode, with random rectangles and prediction, and through every fault.
// A refused update would be hidden by the refresh that follows it: the simulator's count
// of Refresh Display requests says that only the planted faults were refused.

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <sstream>

#include "support/SimProcess.h"
#include "support/TempDir.h"

using namespace sorvane::test;

namespace {

// sorvane-cli capture into `file` from a simulator showing the synthetic picture and
// dumping what it sent into `dir`.
ProcessResult capture(const TempDir& dir, std::vector<std::string> simArgs, const std::string& file,
                      const std::vector<std::string>& cliArgs)
{
    simArgs.insert(simArgs.begin(), {"--host", "127.0.0.1", "--port", "0", "--picture", "synthetic", "--dump-dir",
                                     dir.path().string()});
    SimProcess sim(simArgs);
    std::vector<std::string> cli = {programFromEnv("SORVANE_CLI"), "--host", "127.0.0.1", "--port",
                                    std::to_string(sim.tcpPort()), "--refresh", "18", "--timeout", "120",
                                    "capture", (dir / file).string()};
    cli.insert(cli.end(), cliArgs.begin(), cliArgs.end());
    return runProcess(cli, std::chrono::seconds(180));
}

struct Case {
    const char* name;
    std::vector<std::string> simArgs;
    std::vector<std::string> captureArgs;
    int refreshes = 1; // the capture's own, and one per spoiled update
    const char* dump = "main.ppm";
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class ScreenStream : public ::testing::TestWithParam<Case> {};

TEST_P(ScreenStream, CapturedPictureEqualsTheSimulatorsScreen)
{
    const Case& c = GetParam();
    TempDir dir;
    ProcessResult r = capture(dir, c.simArgs, "capture.ppm", c.captureArgs);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string out = (dir / "capture.ppm").string();
    const std::string ours = readFile(out), theirs = readFile(dir / c.dump);
    ASSERT_FALSE(theirs.empty());
    EXPECT_TRUE(ours == theirs) << "the captured picture differs from the simulator's screen";
    EXPECT_EQ(simRefreshes(dir.path()), c.refreshes);
}

const std::vector<std::string> kStress = {"--random-rects", "7", "--predict", "random", "--lzw-clear-every", "300",
                                          "--still-after", "12"};

std::vector<std::string> with(std::vector<std::string> a, const std::vector<std::string>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

INSTANTIATE_TEST_SUITE_P(
    Depths, ScreenStream,
    ::testing::Values(
        Case{"depth16", with({"--depth", "16"}, kStress), {}},
        Case{"depth16_turned90", with({"--depth", "16", "--orientation", "90"}, kStress), {}},
        Case{"depth8_palette_changes", with({"--depth", "8", "--palette-change-every", "4"}, kStress), {}},
        Case{"depth4", with({"--depth", "4"}, kStress), {}},
        Case{"depth4_turned270", with({"--depth", "4", "--orientation", "270"}, kStress), {}},
        Case{"depth2_turned270", with({"--depth", "2", "--orientation", "270"}, kStress), {}},
        Case{"second_display", with({"--depth", "16", "--second", "8:160x120:0"}, kStress),
             {"--display", "second"}, 1, "second.ppm"},
        Case{"low_colour", with({"--depth", "16"}, kStress), {"--low-color"}},
        Case{"wide_640x480", {"--depth", "16", "--width", "640", "--height", "480", "--predict", "both"}, {}}),
    [](const auto& info) { return std::string(info.param.name); });

// An 8-bit picture meets a bad update as a 16-bit one does (it is its own reference).
// The 4-bit case turned by 90 and the 2-bit one are those depths' plain streams as well.
INSTANTIATE_TEST_SUITE_P(
    Faults, ScreenStream,
    ::testing::Values(
        Case{"bad_crc_oversize_bad_header_16",
             with({"--depth", "16", "--bad-crc", "2,6", "--oversize", "3", "--bad-header", "5"}, kStress), {}, 5},
        Case{"bad_crc_oversize_bad_header_4",
             with({"--depth", "4", "--orientation", "90", "--bad-crc", "2", "--oversize", "4", "--bad-header", "6"},
                  kStress),
             {}, 4},
        Case{"faults_2bit", with({"--depth", "2", "--bad-crc", "2", "--oversize", "4"}, kStress), {}, 3},
        // The last poll asked for is refreshed: the capture polls on until an update
        // applies, and never writes the zeroed picture.
        Case{"last_poll_bad_crc", {"--depth", "16", "--bad-crc", "3", "--still-after", "2"}, {"--polls", "3"}, 2},
        Case{"last_poll_bad_crc_4", {"--depth", "4", "--bad-crc", "2", "--still-after", "0"}, {"--polls", "2"}, 2}),
    [](const auto& info) { return std::string(info.param.name); });

// A link that closes in the middle of an update, and a 2-bit update whose header
// length is out of range (taken as a dropped link), end the capture with a reason.
class ScreenStreamEnd : public ::testing::TestWithParam<std::vector<std::string>> {};

TEST_P(ScreenStreamEnd, EndsTheCaptureWithAReason)
{
    TempDir dir;
    std::vector<std::string> simArgs = {"--still-after", "0"};
    simArgs.insert(simArgs.end(), GetParam().begin(), GetParam().end());
    ProcessResult r = capture(dir, simArgs, "x.ppm", {});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("closed"), std::string::npos) << r.err;
    EXPECT_FALSE(std::filesystem::exists(dir / "x.ppm"));
}

INSTANTIATE_TEST_SUITE_P(Links, ScreenStreamEnd,
                         ::testing::Values(std::vector<std::string>{"--close-mid-update", "3"},
                                           std::vector<std::string>{"--depth", "2", "--bad-header", "3"}));

} // namespace

// Captures written through the image library, read back by Pillow and compared with the
// simulator's dump: BMP and indexed GIF exactly, a reduced GIF and JPEG by PSNR.
struct FileCase {
    const char* name;
    std::vector<std::string> simArgs;
    const char* file;
    const char* mode;
};

class CaptureFiles : public ::testing::TestWithParam<FileCase> {};

TEST_P(CaptureFiles, PillowReadsThePicture)
{
    const FileCase& c = GetParam();
    TempDir dir;
    ProcessResult r = capture(dir, c.simArgs, c.file, {});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string out = (dir / c.file).string();
    ProcessResult cmp = runProcess({programFromEnv("SORVANE_PYTHON"), SORVANE_COMPARE_IMAGE, out,
                                    (dir / "main.ppm").string(), c.mode});
    EXPECT_EQ(cmp.exitCode, 0) << cmp.out << cmp.err;
    EXPECT_EQ(simRefreshes(dir.path()), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Formats, CaptureFiles,
    ::testing::Values(// 16-bit BMP files hold 555 pixels: the low green bit goes.
                      FileCase{"bmp16", {"--depth", "16"}, "shot.bmp", "psnr:40"},
                      FileCase{"bmp8", {"--depth", "8"}, "shot.bmp", "exact"},
                      FileCase{"bmp4", {"--depth", "4"}, "shot.bmp", "exact"},
                      FileCase{"gif8", {"--depth", "8"}, "shot.gif", "exact"},
                      FileCase{"gif2", {"--depth", "2"}, "shot.gif", "exact"},
                      FileCase{"gif16_reduced", {"--depth", "16"}, "shot.gif", "psnr:28"},
                      FileCase{"png16", {"--depth", "16"}, "shot.png", "exact"},
                      FileCase{"png4", {"--depth", "4"}, "shot.PNG", "exact"},
                      // Dense one-pixel text: libjpeg at the same tables reaches 27.5 dB here too.
                      FileCase{"jpeg16", {"--depth", "16"}, "shot.jpg", "psnr:26"}),
    [](const auto& info) { return std::string(info.param.name); });
