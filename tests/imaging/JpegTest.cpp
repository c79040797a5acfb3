// JPEG through the library: captures written as JFIF files, JPEG files read and
// decoded, and the refusals. The codec itself has its own tests.

#include "OracleSupport.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstring>
#include <sstream>

using namespace sorvane;
using namespace sorvane::test;

namespace {

const int kLuminance[64] = {16, 11, 10, 16, 24,  40,  51,  61,  12, 12, 14, 19, 26,  58,  60,  55,
                            14, 13, 16, 24, 40,  57,  69,  56,  14, 17, 22, 29, 51,  87,  80,  62,
                            18, 22, 37, 56, 68,  109, 103, 77,  24, 35, 55, 64, 81,  104, 113, 92,
                            49, 64, 78, 87, 103, 121, 120, 101, 72, 92, 95, 98, 112, 100, 103, 99};
const int kChrominance[64] = {17, 18, 24, 47, 99, 99, 99, 99, 18, 21, 26, 66, 99, 99, 99, 99,
                              24, 26, 56, 99, 99, 99, 99, 99, 47, 66, 99, 99, 99, 99, 99, 99,
                              99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99,
                              99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99};

std::string table(const int* base, int divisor)
{
    std::ostringstream s;
    for (int i = 0; i < 64; ++i)
        s << (i ? "," : "") << base[i] / divisor;
    return s.str();
}

// A smooth picture, so that the JPEG error stays small.
ImageRecord smoothPicture(int w, int h, int bits)
{
    ImageRecord img = makeRawImage(w, h, 24);
    std::span<uint8_t> d = img.data.writable();
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t* p = &d[size_t(y) * size_t(img.rowBytes) + size_t(x) * 3];
            p[0] = uint8_t(x * 255 / w);
            p[1] = uint8_t(y * 255 / h);
            p[2] = uint8_t(128 + (x - y) / 4);
        }
    if (bits != 24) {
        EXPECT_EQ(ImageOperation(img, 2, bits, 0), kImageOk);
    }
    return img;
}

double meanError(const ImageRecord& ours, const RgbPicture& other)
{
    double sum = 0;
    for (int y = 0; y < ours.height; ++y)
        for (int x = 0; x < ours.width; ++x) {
            auto c = pixelColour(ours, x, y);
            const uint8_t* p = &other.rgb[(size_t(y) * size_t(other.width) + size_t(x)) * 3];
            sum += std::abs(p[0] - c[2]) + std::abs(p[1] - c[1]) + std::abs(p[2] - c[0]);
        }
    return sum / (3.0 * ours.width * ours.height);
}

} // namespace

TEST(Jpeg, CaptureWithOptionsOneHalvesTablesWithoutSubsampling)
{
    TempDir dir;
    ImageRecord picture = smoothPicture(240, 320, 24);
    ImageRecord jpeg;
    jpeg.imageType = kImageJfif;
    ASSERT_EQ(ConvertImage(picture, jpeg, 1), kImageOk);
    std::span<const uint8_t> bytes = jpeg.payload();
    ASSERT_GT(bytes.size(), 20u);
    EXPECT_EQ(std::memcmp(bytes.data() + 6, "JFIF", 4), 0);
    ImageFile f;
    ASSERT_EQ(CreateImageFile(dir / "shot.JPG", f, 0, kFileJpeg), kImageOk);
    ASSERT_EQ(WriteImage(f, jpeg, 0), kImageOk);
    EXPECT_EQ(WriteImage(f, jpeg, 0), kImageUnsupported);
    CloseImageFile(f);

    std::string info = runOracle({"jpeginfo", (dir / "shot.JPG").string()});
    EXPECT_NE(info.find("q0=" + table(kLuminance, 2) + "\n"), std::string::npos) << info;
    EXPECT_NE(info.find("q1=" + table(kChrominance, 2) + "\n"), std::string::npos) << info;
    EXPECT_NE(info.find("sampling=1x1;1x1;1x1\n"), std::string::npos) << info;
    EXPECT_LT(meanError(picture, readRgb(dir / "shot.JPG")), 3.0);

    // Read back through the library it stays encoded until converted.
    ImageRecord raw;
    ASSERT_EQ(readRaw(dir / "shot.JPG", raw), kImageOk);
    EXPECT_EQ(raw.bitsPerPixel, 24);
    EXPECT_LT(meanError(raw, readRgb(dir / "shot.JPG")), 1.5);
}

TEST(Jpeg, OptionsStepTablesAndSampling)
{
    TempDir dir;
    ImageRecord picture = smoothPicture(64, 48, 16);
    const int divisors[2] = {4, 1}; // options 0 and 2: a quarter, as they are
    for (int options : {0, 2, 6}) {
        ImageRecord jpeg;
        jpeg.imageType = options == 6 ? kImageJpegOther : kImageJfif;
        ASSERT_EQ(ConvertImage(picture, jpeg, options), kImageOk);
        std::string name = (dir / ("o" + std::to_string(options) + ".jpg")).string();
        ImageFile f;
        ASSERT_EQ(CreateImageFile(name, f, 0, kFileJpeg), kImageOk);
        ASSERT_EQ(WriteImage(f, jpeg, 0), kImageOk);
        CloseImageFile(f);
        std::string info = runOracle({"jpeginfo", name});
        if (options != 6) {
            EXPECT_NE(info.find("q0=" + table(kLuminance, divisors[options / 2]) + "\n"), std::string::npos) << info;
        }
        if (options == 6) { // 4:2:0 and no JFIF segment
            EXPECT_NE(info.find("sampling=2x2;1x1;1x1\n"), std::string::npos) << info;
            EXPECT_EQ(std::memcmp(jpeg.payload().data() + 6, "JFIF", 4) == 0, false);
        }
        EXPECT_LT(meanError(picture, readRgb(name)), 8.0) << options;
    }
    ImageRecord four = testPicture(8, 8, 4);
    ImageRecord jpeg;
    jpeg.imageType = kImageJfif;
    EXPECT_EQ(ConvertImage(four, jpeg, 1), kImageUnsupported);
}

TEST(Jpeg, ReadsPillowFilesAndRefusesOtherProcesses)
{
    TempDir dir;
    runOracle({"make-jpegs", dir.path().string()});
    for (const char* name : {"baseline.jpg", "progressive.jpg", "grey.jpg"}) {
        ImageRecord raw;
        ASSERT_EQ(readRaw(dir / name, raw), kImageOk) << name;
        EXPECT_EQ(raw.bitsPerPixel, std::string(name) == "grey.jpg" ? 8 : 24) << name;
        EXPECT_LT(meanError(raw, readRgb(dir / name)), 1.5) << name;
    }
    // The same file marked as a lossless process.
    std::vector<uint8_t> bytes = readFileBytes(dir / "baseline.jpg");
    for (size_t i = 2; i + 1 < bytes.size(); ++i)
        if (bytes[i] == 0xFF && bytes[i + 1] == 0xC0) {
            bytes[i + 1] = 0xC3;
            break;
        }
    ImageRecord lossless;
    ASSERT_EQ(readImageBytes(bytes, kFileJpeg, lossless), kImageOk);
    ImageRecord raw;
    raw.imageType = kImageRaw;
    EXPECT_EQ(ConvertImage(lossless, raw, 0), kImageJpegProcess);
}
