// JPEG through the library: pictures converted with each option byte are the codec's
// own files for those options (whose tables, sampling and quality the codec tests check
// through Pillow); JPEG files read, written back unchanged and decoded; the refusals.

#include "OracleSupport.h"
#include "imaging/JpegEncoder.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

using namespace sorvane;
using namespace sorvane::test;

namespace {

double meanError(const ImageRecord& ours, const RgbPicture& other)
{
    double sum = 0;
    for (int y = 0; y < ours.height && other.width == ours.width; ++y)
        for (int x = 0; x < ours.width; ++x) {
            auto c = pixelColour(ours, x, y);
            const uint8_t* p = &other.rgb[(size_t(y) * size_t(other.width) + size_t(x)) * 3];
            sum += std::abs(p[0] - c[2]) + std::abs(p[1] - c[1]) + std::abs(p[2] - c[0]);
        }
    return other.width == ours.width ? sum / (3.0 * ours.width * ours.height) : 1e9;
}

} // namespace

TEST(Jpeg, ConvertedPicturesAreTheCodecsFilesForTheirOptions)
{
    const struct {
        int bits, options;
        uint8_t type;
    } cases[] = {{24, 1, kImageJfif}, {16, 0, kImageJfif}, {16, 2, kImageJfif}, {8, 6, kImageJpegOther}};
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.bits << " bits, options " << c.options);
        const ImageRecord picture = testPicture(61, 27, c.bits, 0, uint32_t(c.options));
        ImageRecord jpeg;
        jpeg.imageType = c.type;
        ASSERT_EQ(ConvertImage(picture, jpeg, c.options), kImageOk);
        std::vector<uint8_t> bgr;
        for (int y = 0; y < picture.height; ++y)
            for (int x = 0; x < picture.width; ++x)
                for (uint8_t v : pixelColour(picture, x, y))
                    bgr.push_back(v);
        const jpeg::EncodeOptions opt{
            .options = c.options, .subsample420 = (c.options & 4) != 0, .jfifHeader = c.type == kImageJfif};
        std::vector<uint8_t> codec;
        ASSERT_EQ(jpeg::encode(bgr.data(), picture.width, picture.height, picture.width * 3, opt, codec), 0);
        EXPECT_TRUE(std::equal(jpeg.payload().begin(), jpeg.payload().end(), codec.begin(), codec.end()));
    }
    ImageRecord jpeg;
    jpeg.imageType = kImageJfif;
    EXPECT_EQ(ConvertImage(testPicture(8, 8, 4), jpeg, 1), kImageUnsupported);
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
    // Read, a JPEG file stays encoded, and written back it is the same file.
    const std::vector<uint8_t> original = readFileBytes(dir / "baseline.jpg");
    ImageRecord img;
    ASSERT_EQ(readImageBytes(original, kFileJpeg, img), kImageOk);
    EXPECT_EQ(std::make_tuple(img.imageType, img.width, img.height, img.bitsPerPixel),
              std::make_tuple(kImageJfif, 64, 48, 24));
    EXPECT_NE(img.planeFlag, 1);
    std::vector<uint8_t> out;
    ASSERT_EQ(encodeImageFile(img, kFileJpeg, out), kImageOk);
    EXPECT_EQ(out, original);
    // Without the JFIF segment it is image type 16.
    std::vector<uint8_t> bare = {0xFF, 0xD8};
    bare.insert(bare.end(), original.begin() + 4 + (ptrdiff_t(original[4]) << 8 | original[5]), original.end());
    ASSERT_EQ(readImageBytes(bare, kFileJpeg, img), kImageOk);
    EXPECT_EQ(img.imageType, kImageJpegOther);

    // The same file marked as a lossless process.
    std::vector<uint8_t> bytes = original;
    for (size_t i = 2; i + 1 < bytes.size(); ++i)
        if (bytes[i] == 0xFF && bytes[i + 1] == 0xC0) {
            bytes[i + 1] = 0xC3;
            break;
        }
    ImageRecord lossless, raw;
    ASSERT_EQ(readImageBytes(bytes, kFileJpeg, lossless), kImageOk);
    raw.imageType = kImageRaw;
    EXPECT_EQ(ConvertImage(lossless, raw, 0), kImageJpegProcess);
}
