// Writing: the exact BMP and GIF layouts, files Pillow reads back to our pixels,
// the capture sequences of the program, and the writer's refusals.

#include "OracleSupport.h"
#include "platform/ByteOrder.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>

using namespace sorvane;
using namespace sorvane::test;

namespace {

int writeFile(const std::filesystem::path& path, int fileType, const ImageRecord& image)
{
    ImageFile f;
    int rc = CreateImageFile(path, f, 0, fileType);
    if (rc != kImageOk)
        return rc;
    rc = WriteImage(f, image, 0);
    CloseImageFile(f);
    return rc;
}

ImageRecord toGif(const ImageRecord& raw)
{
    ImageRecord g;
    g.imageType = kImageGifLzw;
    EXPECT_EQ(ConvertImage(raw, g, 0), kImageOk);
    return g;
}

} // namespace

TEST(WriteBmp, KnownByteImageOf16BitPicture)
{
    ImageRecord img = makeRawImage(3, 2, 16);
    std::span<uint8_t> d = img.data.writable();
    const uint16_t px[6] = {0xFFFF, 0xF800, 0x07E0, 0x001F, 0x0020, 0x1234}; // top row, then bottom row
    for (int i = 0; i < 6; ++i)
        storeLe16(&d[size_t(i) * 2], px[i]);
    std::vector<uint8_t> out;
    ASSERT_EQ(encodeImageFile(img, kFileBmp, out), kImageOk);
    const uint8_t expected[] = {
        'B', 'M', 70, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0, // file header
        40, 0, 0, 0, 3, 0, 0, 0, 2, 0, 0, 0, 1, 0, 16, 0, 0, 0, 0, 0, 16, 0, 0, 0, // info header
        0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
        // bottom row: 0x001F, 0x0020 -> 0x0000 (green's low bit goes), 0x1234 -> 0x091A | 0x14
        0x1F, 0x00, 0x00, 0x00, 0x14, 0x09, 0, 0,
        // top row: 0xFFFF -> 0x7FFF, 0xF800 -> 0x7C00, 0x07E0 -> 0x03E0
        0xFF, 0x7F, 0x00, 0x7C, 0xE0, 0x03, 0, 0};
    ASSERT_EQ(out.size(), sizeof expected);
    EXPECT_TRUE(std::equal(out.begin(), out.end(), expected));
}

TEST(WriteBmp, RunLengthImagesAsTheyStand)
{
    TempDir dir;
    // 4 x 2 at 8 bits, bottom row first: 5 5 5 5, then 7 7 9 9.
    const std::vector<uint8_t> rle = {4, 5, 0, 0, 2, 7, 2, 9, 0, 0, 0, 1};
    ImageRecord img;
    img.width = 4;
    img.height = 2;
    img.bitsPerPixel = 8;
    img.imageType = kImageBmpRle;
    img.colourTable = std::make_unique<ColourTable>();
    for (int i = 0; i < 256; ++i)
        (*img.colourTable)[3 * i] = (*img.colourTable)[3 * i + 1] = (*img.colourTable)[3 * i + 2] = uint8_t(i * 20);
    img.dataSize = uint32_t(rle.size());
    img.data = ImageData(rle);
    ASSERT_EQ(writeFile(dir / "r.bmp", kFileBmp, img), kImageOk);
    std::vector<uint8_t> bytes = readFileBytes(dir / "r.bmp");
    ASSERT_EQ(bytes.size(), 54u + 1024 + rle.size());
    EXPECT_EQ(loadLe32(&bytes[30]), 1u); // RLE8
    EXPECT_EQ(loadLe32(&bytes[34]), rle.size());
    runOracle({"decode", (dir / "r.bmp").string()});
    RgbPicture p = readRgb(dir / "r.bmp");
    const uint8_t expected[8] = {140, 140, 180, 180, 100, 100, 100, 100}; // top row first
    ASSERT_EQ(p.rgb.size(), 24u);
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(p.rgb[3 * size_t(i)], expected[i]) << i;
    img.bitsPerPixel = 16;
    EXPECT_EQ(writeFile(dir / "r16.bmp", kFileBmp, img), kImageUnsupported);
}

// Every writer at every depth and row order: Pillow and our own reader give back every
// pixel (BMP keeps 16 bits as 5-5-5). The large 8-bit GIF of noise fills the code table
// many times over; the pictures of runs take the encoder's way for runs of one index.
TEST(WriteImage, PillowAndOurReaderReadEveryFormatAndDepth)
{
    TempDir dir;
    struct Case {
        int fileType, bits, w, h;
        bool bottomUp, runs;
    };
    std::vector<Case> cases;
    for (int type : {kFileBmp, kFilePng})
        for (int bits : {1, 4, 8, 16, 24})
            for (bool bottomUp : {false, true})
                cases.push_back({type, bits, 29, 11, bottomUp, false});
    for (Case c : {Case{kFileGif, 1, 33, 17, false, false}, {kFileGif, 4, 31, 9, true, false},
                   {kFileGif, 8, 320, 240, true, false}, {kFileGif, 1, 1, 1, false, false},
                   {kFileGif, 8, 1, 300, true, true}, {kFileGif, 8, 640, 480, false, true},
                   {kFileGif, 4, 97, 61, true, true}, {kFileGif, 1, 300, 40, false, true}})
        cases.push_back(c);
    std::vector<std::string> args{"decode"};
    std::vector<ImageRecord> pictures;
    for (const Case& c : cases) {
        ImageRecord pic = testPicture(c.w, c.h, c.bits, 0, uint32_t(c.w + c.bits));
        std::mt19937 rnd{uint32_t(args.size())};
        std::span<uint8_t> d = pic.data.writable();
        for (size_t i = 0; c.runs && i < d.size();) { // runs of 1 to thousands, noise between
            size_t len = std::min<size_t>(d.size() - i, rnd() % 4 == 0 ? rnd() % 3000 : rnd() % 40 + 1);
            std::memset(&d[i], int(rnd() % 3 == 0 ? rnd() : 0x55), len);
            i += len;
        }
        if (c.bottomUp)
            pic = bottomUpCopy(pic);
        args.push_back((dir / ("w" + std::to_string(args.size()) + ".img")).string());
        ASSERT_EQ(writeFile(args.back(), c.fileType, c.fileType == kFileGif ? toGif(pic) : copyImage(pic)), kImageOk);
        pictures.push_back(std::move(pic));
    }
    runOracle(args);
    for (size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(::testing::Message() << "type " << cases[i].fileType << ", " << cases[i].bits << " bits, "
                                          << cases[i].w << "x" << cases[i].h << (cases[i].bottomUp ? " bottom-up" : ""));
        const int green = cases[i].fileType == kFileBmp && cases[i].bits == 16 ? 5 : 6;
        const RgbPicture pillow = readRgb(args[i + 1]);
        EXPECT_EQ(compareWithPillow(pictures[i], pillow, green), "");
        ImageRecord back;
        ASSERT_EQ(readRaw(args[i + 1], back), kImageOk);
        EXPECT_EQ(compareWithPillow(back, pillow, green), "");
    }
}

TEST(WriteGif, BlockOrderAndComment)
{
    ImageRecord pic = testPicture(40, 30, 4, 0, 7);
    pic.comment = "device capture";
    ImageRecord gif = toGif(pic);
    std::vector<uint8_t> out;
    ASSERT_EQ(encodeImageFile(gif, kFileGif, out), kImageOk);
    ASSERT_GT(out.size(), 140u);
    // The 16 colours that follow the header are the Pillow round trips' to read.
    const std::vector<uint8_t> head{'G', 'I', 'F', '8', '7', 'a', 40, 0, 30, 0, 0x83, 0, 0};
    EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + 13), head);
    size_t at = 61; // the application extension, the comment, the image descriptor
    EXPECT_EQ(std::vector<uint8_t>(out.begin() + long(at), out.begin() + long(at) + 3), (std::vector<uint8_t>{0x21, 0xFF, 33}));
    EXPECT_EQ(out[at + 36], 0);
    at += 37;
    const std::string comment = "\x21\xFE\x0E" "device capture";
    EXPECT_EQ(std::string(out.begin() + long(at), out.begin() + long(at + comment.size()) + 1), comment + '\0');
    at += 18;
    const uint8_t descriptor[] = {',', 0, 0, 0, 0, 40, 0, 30, 0, 0, 4};
    EXPECT_TRUE(std::equal(descriptor, descriptor + 11, &out[at]));
    size_t lzwBytes = 0;
    for (at += 11; at < out.size() && out[at] != 0; at += out[at] + 1u)
        lzwBytes += out[at];
    EXPECT_EQ(lzwBytes, gif.dataSize);
    ASSERT_EQ(at + 2, out.size());
    EXPECT_EQ(out[at + 1], ';');

    TempDir dir; // Pillow reads the same blocks
    ASSERT_EQ(writeFile(dir / "c.gif", kFileGif, gif), kImageOk);
    std::string info = runOracle({"gifinfo", (dir / "c.gif").string()});
    EXPECT_NE(info.find("version=GIF87a\nsize=40x30\ncomment=device capture"), std::string::npos) << info;

    gif.comment.clear(); // without a comment there is no comment block
    ASSERT_EQ(encodeImageFile(gif, kFileGif, out), kImageOk);
    EXPECT_EQ(out[61 + 37], ',');
}

TEST(WriteImage, RefusesSecondImageOtherTypesAndEncodings)
{
    TempDir dir;
    ImageRecord pic = testPicture(8, 8, 8);
    ImageRecord gif = toGif(pic);

    ImageFile f;
    ASSERT_EQ(CreateImageFile(dir / "a.bmp", f, 0, kFileBmp), kImageOk);
    EXPECT_EQ(WriteImage(f, gif, 0), kImageUnsupported); // BMP from a GIF LZW image
    ASSERT_EQ(WriteImage(f, pic, 0), kImageOk);
    std::vector<uint8_t> first = readFileBytes(dir / "a.bmp");
    EXPECT_EQ(WriteImage(f, pic, 0), kImageUnsupported);
    CloseImageFile(f);
    EXPECT_EQ(readFileBytes(dir / "a.bmp"), first);

    // GIF needs image type 9 and JPEG a JPEG stream; the other types have no writer.
    for (int type : {int(kFileGif), int(kFileJpeg), 1, 2, 7, 20, 99}) {
        ASSERT_EQ(CreateImageFile(dir / "x", f, 0, type), kImageOk);
        EXPECT_EQ(WriteImage(f, pic, 0), kImageUnsupported) << type;
        CloseImageFile(f);
    }

    ASSERT_EQ(OpenImageFile(dir / "a.bmp", f, 0), kImageOk);
    EXPECT_EQ(WriteImage(f, pic, 0), kImageUnsupported); // opened for reading
    CloseImageFile(f);
    EXPECT_EQ(WriteImage(f, pic, 0), kImageUnsupported); // closed
}

TEST(CreateImageFile, ReplaceOrOpenExistingAndFailures)
{
    TempDir dir;
    ImageFile f;
    EXPECT_EQ(CreateImageFile(dir / "no" / "such" / "folder.bmp", f, 0, kFileBmp), kImageCannotCreate);
    EXPECT_EQ(f.mode, kFileClosed);
    EXPECT_EQ(CreateImageFile(dir.path(), f, 0, kFileBmp), kImageCannotCreate);

    // An existing file: opened as it is (1) or replaced (0); either way cut to the image.
    for (int open : {1, 0}) {
        const std::filesystem::path file = dir / ("old" + std::to_string(open) + ".bmp");
        std::ofstream(file) << std::string(5000, 'x');
        ASSERT_EQ(CreateImageFile(file, f, open, kFileBmp), kImageOk);
        EXPECT_EQ(std::filesystem::file_size(file), open ? 5000u : 0u) << open;
        ASSERT_EQ(WriteImage(f, testPicture(2, 2, 24), 0), kImageOk);
        CloseImageFile(f);
        EXPECT_EQ(std::filesystem::file_size(file), 54u + 16) << open;
    }
}

TEST(Capture, ManyColoursReduceWell)
{
    // A photo-like picture: smooth gradients in all three channels plus a little noise.
    ImageRecord pic = makeRawImage(256, 192, 24);
    std::span<uint8_t> d = pic.data.writable();
    uint32_t seed = 5;
    for (int y = 0; y < 192; ++y)
        for (int x = 0; x < 256; ++x) {
            seed = seed * 1103515245u + 12345u;
            int noise = int((seed >> 16) % 9) - 4;
            uint8_t* p = &d[size_t(y) * 768 + size_t(x) * 3];
            p[0] = uint8_t(std::clamp(x + noise, 0, 255));
            p[1] = uint8_t(std::clamp(y * 4 / 3 + noise, 0, 255));
            p[2] = uint8_t(std::clamp((x + y) / 2 + noise, 0, 255));
        }
    ImageRecord eight = copyImage(pic);
    ASSERT_EQ(ImageOperation(eight, 2, 8, 0), kImageOk);
    double ours = 0, uniform = 0;
    for (int y = 0; y < 192; ++y)
        for (int x = 0; x < 256; ++x) {
            auto a = pixelColour(pic, x, y), b = pixelColour(eight, x, y);
            for (int k = 0; k < 3; ++k) {
                ours += std::abs(int(a[k]) - int(b[k]));
                int levels = k == 0 ? 4 : 8; // a plain 3-3-2 palette for comparison
                int step = 256 / levels;
                uniform += std::abs(int(a[k]) - (int(a[k]) / step * step + step / 2));
            }
        }
    ours /= 256.0 * 192 * 3;
    uniform /= 256.0 * 192 * 3;
    EXPECT_LT(ours, 4.0);
    EXPECT_LT(ours, uniform / 2) << "median cut " << ours << ", uniform palette " << uniform;
}
