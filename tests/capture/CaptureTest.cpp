// Still captures: the clipboard's packed bitmap read by Pillow, one-click names that
// never replace an earlier capture, and which file a typed name becomes. The captured
// picture itself, low colour included, is the end-to-end screen tests' (the
// simulator's own dump).

#include <gtest/gtest.h>

#include "OracleSupport.h"
#include "capture/ClipboardBitmap.h"
#include "capture/ShutterSound.h"
#include "capture/StillCapture.h"
#include "platform/ByteOrder.h"
#include "support/SimProcess.h"
#include "support/TempDir.h"

using namespace sorvane;
using namespace sorvane::test;

namespace {

struct BlockCase {
    int bits, width, height;
    size_t rowsAt;
};

class ClipboardBlock : public ::testing::TestWithParam<BlockCase> {};

TEST_P(ClipboardBlock, LayoutAndPillowReadsIt)
{
    const BlockCase c = GetParam();
    const ImageRecord pic = testPicture(c.width, c.height, c.bits, 0, uint32_t(c.bits));
    const std::vector<uint8_t> block = PackedBitmap(pic);
    const size_t stride = ((size_t(c.width) * size_t(c.bits) + 31) / 32) * 4;
    ASSERT_EQ(block.size(), stride * size_t(c.height) + 1068);
    EXPECT_EQ(loadLe32s(&block[8]), c.height); // positive: bottom row first
    EXPECT_EQ(loadLe16(&block[14]), c.bits);
    if (c.bits == 16) // bit fields, then the red, green and blue masks
        EXPECT_EQ(std::make_tuple(loadLe32(&block[16]), loadLe32(&block[40]), loadLe32(&block[44]), loadLe32(&block[48])),
                  std::make_tuple(3u, 0xF800u, 0x07E0u, 0x001Fu));
    // The bottom screen row comes first, at the offset of the layout.
    EXPECT_EQ(0, std::memcmp(&block[c.rowsAt], rowOf(pic, c.height - 1), size_t(pic.rowBytes)));
    TempDir dir;
    const auto file = dir / "clip.bmp";
    writeFileBytes(file, BmpFileOfPackedBitmap(block));
    runOracle({"decode", file.string()});
    EXPECT_EQ(compareWithPillow(pic, readRgb(file)), "");
}

INSTANTIATE_TEST_SUITE_P(Depths, ClipboardBlock,
                         ::testing::Values(BlockCase{16, 240, 320, 52}, BlockCase{4, 30, 7, 104},
                                           BlockCase{8, 13, 5, 1064}));

TEST(OneClick, TimeStampedNamesNeverReplaceAnEarlierCapture)
{
    TempDir dir;
    std::tm t{};
    t.tm_year = 105, t.tm_mon = 10, t.tm_mday = 9, t.tm_hour = 14, t.tm_min = 3, t.tm_sec = 7;
    const std::time_t when = timegm(&t);
    const ImageRecord a = testPicture(24, 16, 16, 0, 1), b = testPicture(24, 16, 16, 0, 2);
    // A folder that cannot be made is a failure, and leaves nothing behind.
    std::filesystem::path none;
    writeFileBytes(dir / "file", {1});
    EXPECT_EQ(WriteOneClickCapture(a, dir / "file", when, CaptureFormat::Png, none), kImageCannotCreate);
    std::filesystem::path first, second, third;
    ASSERT_EQ(WriteOneClickCapture(a, dir.path(), when, oneClickFormat(3, false), first), kImageOk);
    EXPECT_EQ(first, dir / "RECORDED_DATA" / "2005-11-09;14-03-07.JPG");
    const std::vector<uint8_t> kept = readFileBytes(first);
    ASSERT_EQ(WriteOneClickCapture(b, dir.path(), when, CaptureFormat::Jpeg, second), kImageOk);
    EXPECT_EQ(second, dir / "RECORDED_DATA" / "2005-11-09;14-03-07-2.JPG");
    ASSERT_EQ(WriteOneClickCapture(b, dir.path(), when, CaptureFormat::Jpeg, third), kImageOk);
    EXPECT_EQ(third, dir / "RECORDED_DATA" / "2005-11-09;14-03-07-3.JPG");
    EXPECT_EQ(readFileBytes(first), kept);
    EXPECT_NE(readFileBytes(second), kept);
}

TEST(OneClick, FormatChoice)
{
    EXPECT_EQ(oneClickFormat(2, false), CaptureFormat::Gif);
    EXPECT_EQ(oneClickFormat(4, false), CaptureFormat::Bmp); // out of range counts as 0
    EXPECT_EQ(oneClickFormat(0, true), CaptureFormat::Png);
}

struct NameCase {
    const char* typed;
    CaptureFormat chosen;
    const char* path;
    CaptureFormat format;
};

TEST(SaveDialogName, ExtensionRule)
{
    const NameCase cases[] = {
        {"/d/shot", CaptureFormat::Gif, "/d/shot.GIF", CaptureFormat::Gif},
        {"/d/shot.png", CaptureFormat::Gif, "/d/shot.png", CaptureFormat::Png},
        {"/d/shot.BMP", CaptureFormat::Bmp24, "/d/shot.BMP", CaptureFormat::Bmp24},
        {"/d/shot.bmp", CaptureFormat::Jpeg, "/d/shot.bmp", CaptureFormat::Bmp},
        {"/d/a.JPEG", CaptureFormat::Bmp, "/d/a.JPEG", CaptureFormat::Jpeg},
        {"/d/shot.v2", CaptureFormat::Jpeg, "/d/shot.v2.JPG", CaptureFormat::Jpeg},
        {"/d.x/shot", CaptureFormat::Png, "/d.x/shot.PNG", CaptureFormat::Png},
    };
    for (const NameCase& c : cases) {
        CaptureTarget t = ResolveCaptureTarget(c.typed, c.chosen);
        EXPECT_EQ(t.path, std::filesystem::path(c.path)) << c.typed;
        EXPECT_EQ(t.format, c.format) << c.typed;
    }
}

TEST(ShutterSound, PythonsWaveModuleReadsBothSounds)
{
    TempDir dir;
    writeFileBytes(dir / "s.wav", ShutterSoundWav());
    writeFileBytes(dir / "c.wav", ClickSoundWav());
    ProcessResult r = runProcess({programFromEnv("SORVANE_PYTHON"), "-c",
                                  "import sys, wave\n"
                                  "for f in sys.argv[1:]:\n"
                                  "    w = wave.open(f); print(w.getnchannels(), w.getframerate(), w.getnframes())",
                                  (dir / "s.wav").string(), (dir / "c.wav").string()});
    EXPECT_EQ(r.out, "1 22050 3969\n1 22050 882\n") << r.err;
}

} // namespace
