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

// The same picture with its rows stored bottom row first.
ImageRecord bottomUpCopy(const ImageRecord& top)
{
    ImageRecord b = copyImage(top);
    std::span<uint8_t> d = b.data.writable();
    for (int y = 0; y < b.height; ++y)
        std::memcpy(&d[size_t(b.height - 1 - y) * size_t(b.rowBytes)], rowOf(top, y), size_t(b.rowBytes));
    b.rowOrder = kRowsBottomUp;
    return b;
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

TEST(WriteBmp, ColourTablesAndPadding)
{
    ImageRecord one = makeRawImage(9, 1, 1);
    one.data.writable()[0] = 0xA5;
    one.data.writable()[1] = 0x80;
    std::vector<uint8_t> out;
    ASSERT_EQ(encodeImageFile(one, kFileBmp, out), kImageOk);
    ASSERT_EQ(out.size(), 54u + 8 + 4);
    EXPECT_EQ(loadLe32(&out[10]), 62u);
    const uint8_t bw[8] = {0, 0, 0, 0, 255, 255, 255, 0};
    EXPECT_TRUE(std::equal(bw, bw + 8, &out[54]));
    EXPECT_EQ(out[62], 0xA5);
    EXPECT_EQ(out[63], 0x80);

    ImageRecord four = testPicture(5, 2, 4);
    ASSERT_EQ(encodeImageFile(four, kFileBmp, out), kImageOk);
    ASSERT_EQ(out.size(), 54u + 64 + 2 * 4);
    EXPECT_EQ(loadLe32(&out[34]), 8u); // image size = rows x padded row
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(out[54 + 4 * i], (*four.colourTable)[3 * i]);
        EXPECT_EQ(out[54 + 4 * i + 2], (*four.colourTable)[3 * i + 2]);
        EXPECT_EQ(out[54 + 4 * i + 3], 0);
    }

    ImageRecord eight = testPicture(3, 1, 8);
    ASSERT_EQ(encodeImageFile(eight, kFileBmp, out), kImageOk);
    EXPECT_EQ(out.size(), 54u + 1024 + 4);
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

TEST(WriteBmp, PillowReadsEveryDepthAndRowOrder)
{
    TempDir dir;
    std::vector<std::string> files;
    std::vector<ImageRecord> pictures;
    for (int bits : {1, 4, 8, 16, 24})
        for (bool bottomUp : {false, true}) {
            ImageRecord pic = testPicture(29, 11, bits, 0, uint32_t(bits));
            if (bottomUp)
                pic = bottomUpCopy(pic);
            std::string name = (dir / ("w" + std::to_string(bits) + (bottomUp ? "b" : "t") + ".bmp")).string();
            ASSERT_EQ(writeFile(name, kFileBmp, pic), kImageOk);
            files.push_back(name);
            pictures.push_back(std::move(pic));
        }
    std::vector<std::string> args{"decode"};
    args.insert(args.end(), files.begin(), files.end());
    runOracle(args);
    for (size_t i = 0; i < files.size(); ++i) {
        EXPECT_EQ(compareWithPillow(pictures[i], readRgb(files[i]), pictures[i].bitsPerPixel == 16 ? 5 : 6), "")
            << files[i];
        ImageRecord back;
        ASSERT_EQ(readRaw(files[i], back), kImageOk);
        EXPECT_EQ(compareWithPillow(back, readRgb(files[i]), pictures[i].bitsPerPixel == 16 ? 5 : 6), "")
            << files[i];
    }
}

// PNG: Pillow and our own reader give back every pixel, at every depth and row order
// (16-bit pixels widened to 8-bit channels).
TEST(WritePng, PillowAndOurReaderReadEveryDepth)
{
    TempDir dir;
    std::vector<std::string> args{"decode"};
    std::vector<ImageRecord> pictures;
    for (int bits : {1, 4, 8, 16, 24})
        for (bool bottomUp : {false, true}) {
            ImageRecord pic = testPicture(29, 11, bits, 0, uint32_t(bits) + 7);
            if (bottomUp)
                pic = bottomUpCopy(pic);
            args.push_back((dir / ("p" + std::to_string(bits) + (bottomUp ? "b" : "t") + ".png")).string());
            ASSERT_EQ(writeFile(args.back(), kFilePng, pic), kImageOk);
            pictures.push_back(std::move(pic));
        }
    runOracle(args);
    for (size_t i = 0; i < pictures.size(); ++i) {
        const std::string& file = args[i + 1];
        EXPECT_EQ(compareWithPillow(pictures[i], readRgb(file)), "") << file;
        ImageRecord back;
        ASSERT_EQ(readRaw(file, back), kImageOk);
        EXPECT_EQ(compareWithPillow(back, readRgb(file)), "") << file;
    }
}

TEST(WriteGif, BlockOrderAndComment)
{
    ImageRecord pic = testPicture(40, 30, 4, 0, 7);
    pic.comment = "device capture";
    ImageRecord gif = toGif(pic);
    EXPECT_EQ(gif.imageType, kImageGifLzw);
    EXPECT_EQ(gif.comment, "device capture");
    std::vector<uint8_t> out;
    ASSERT_EQ(encodeImageFile(gif, kFileGif, out), kImageOk);

    ASSERT_GT(out.size(), 100u);
    EXPECT_EQ(std::string(out.begin(), out.begin() + 6), "GIF87a");
    EXPECT_EQ(loadLe16(&out[6]), 40);
    EXPECT_EQ(loadLe16(&out[8]), 30);
    EXPECT_EQ(out[10], 0x83);
    EXPECT_EQ(out[11], 0);
    EXPECT_EQ(out[12], 0);
    for (int i = 0; i < 16; ++i) { // red, green, blue from the blue-green-red table
        EXPECT_EQ(out[13 + 3 * i], (*pic.colourTable)[3 * i + 2]);
        EXPECT_EQ(out[13 + 3 * i + 2], (*pic.colourTable)[3 * i]);
    }
    size_t at = 13 + 48;
    EXPECT_EQ(out[at], 0x21);
    EXPECT_EQ(out[at + 1], 0xFF);
    EXPECT_EQ(out[at + 2], 33);
    EXPECT_EQ(out[at + 36], 0);
    at += 37;
    ASSERT_EQ(out[at], 0x21);
    EXPECT_EQ(out[at + 1], 0xFE);
    EXPECT_EQ(out[at + 2], 14);
    EXPECT_EQ(std::string(&out[at + 3], &out[at + 17]), "device capture");
    EXPECT_EQ(out[at + 17], 0);
    at += 18;
    const uint8_t descriptor[] = {',', 0, 0, 0, 0, 40, 0, 30, 0, 0, 4};
    EXPECT_TRUE(std::equal(descriptor, descriptor + 11, &out[at]));
    at += 11;
    size_t lzwBytes = 0;
    while (at < out.size() && out[at] != 0) {
        EXPECT_LE(out[at], 255);
        lzwBytes += out[at];
        at += out[at] + 1u;
    }
    EXPECT_EQ(lzwBytes, gif.dataSize);
    ASSERT_EQ(at + 2, out.size());
    EXPECT_EQ(out[at + 1], ';');

    // Without a comment there is no comment block.
    gif.comment.clear();
    ASSERT_EQ(encodeImageFile(gif, kFileGif, out), kImageOk);
    EXPECT_EQ(out[13 + 48 + 37], ',');

    TempDir dir;
    pic.comment = "device capture";
    ASSERT_EQ(writeFile(dir / "c.gif", kFileGif, toGif(pic)), kImageOk);
    std::string info = runOracle({"gifinfo", (dir / "c.gif").string()});
    EXPECT_NE(info.find("version=GIF87a"), std::string::npos) << info;
    EXPECT_NE(info.find("comment=device capture"), std::string::npos) << info;
    EXPECT_NE(info.find("size=40x30"), std::string::npos) << info;
}

TEST(WriteGif, PillowReadsEveryDepth)
{
    TempDir dir;
    struct Case {
        int bits, w, h;
    };
    // The large 8-bit picture of noise fills the code table many times over; the
    // pictures of runs after it take the encoder's way for runs of one index.
    const Case cases[] = {{1, 33, 17},  {4, 31, 9},    {8, 45, 20}, {8, 320, 240}, {1, 1, 1},
                          {8, 1, 300}, {8, 640, 480}, {4, 97, 61}, {1, 300, 40}};
    std::vector<std::string> files;
    std::vector<ImageRecord> pictures;
    int n = 0;
    for (const Case& c : cases) {
        ImageRecord pic = testPicture(c.w, c.h, c.bits, 0, uint32_t(c.w));
        if (n >= 6) { // runs of every length from 1 to thousands, and noise between them
            std::span<uint8_t> d = pic.data.writable();
            std::mt19937 rnd{uint32_t(n)};
            for (size_t i = 0; i < d.size();) {
                size_t len = std::min<size_t>(d.size() - i, rnd() % 4 == 0 ? rnd() % 3000 : rnd() % 40 + 1);
                std::memset(&d[i], int(rnd() % 3 == 0 ? rnd() : 0x55), len);
                i += len;
            }
        }
        if (n % 2)
            pic = bottomUpCopy(pic);
        std::string name = (dir / ("g" + std::to_string(n++) + ".gif")).string();
        ASSERT_EQ(writeFile(name, kFileGif, toGif(pic)), kImageOk);
        files.push_back(name);
        pictures.push_back(std::move(pic));
    }
    std::vector<std::string> args{"decode"};
    args.insert(args.end(), files.begin(), files.end());
    runOracle(args);
    for (size_t i = 0; i < files.size(); ++i) {
        EXPECT_EQ(compareWithPillow(pictures[i], readRgb(files[i])), "") << files[i];
        ImageRecord back;
        ASSERT_EQ(readRaw(files[i], back), kImageOk);
        EXPECT_EQ(compareWithPillow(back, readRgb(files[i]), pictures[i].bitsPerPixel == 16 ? 5 : 6), "")
            << files[i];
    }
}

TEST(WriteImage, RefusesSecondImageOtherTypesAndEncodings)
{
    TempDir dir;
    ImageRecord pic = testPicture(8, 8, 8);
    ImageRecord gif = toGif(pic);

    ImageFile f;
    ASSERT_EQ(CreateImageFile(dir / "a.bmp", f, 0, kFileBmp), kImageOk);
    EXPECT_EQ(f.mode, kFileWriting);
    EXPECT_EQ(f.fileType, kFileBmp);
    EXPECT_EQ(WriteImage(f, gif, 0), kImageUnsupported); // BMP from a GIF LZW image
    ASSERT_EQ(WriteImage(f, pic, 0), kImageOk);
    EXPECT_EQ(f.imagesWritten, 1);
    std::vector<uint8_t> first = readFileBytes(dir / "a.bmp");
    EXPECT_EQ(WriteImage(f, pic, 0), kImageUnsupported);
    CloseImageFile(f);
    EXPECT_EQ(readFileBytes(dir / "a.bmp"), first);

    ASSERT_EQ(CreateImageFile(dir / "a.gif", f, 0, kFileGif), kImageOk);
    EXPECT_EQ(WriteImage(f, pic, 0), kImageUnsupported); // GIF needs image type 9
    ASSERT_EQ(WriteImage(f, gif, 0), kImageOk);
    EXPECT_EQ(WriteImage(f, gif, 0), kImageUnsupported);
    CloseImageFile(f);

    for (int type : {1, 2, 7, 20, 99}) {
        ASSERT_EQ(CreateImageFile(dir / "x", f, 0, type), kImageOk);
        EXPECT_EQ(WriteImage(f, pic, 0), kImageUnsupported) << type;
        CloseImageFile(f);
    }
    ASSERT_EQ(CreateImageFile(dir / "a.jpg", f, 0, kFileJpeg), kImageOk);
    EXPECT_EQ(WriteImage(f, pic, 0), kImageUnsupported); // JPEG needs a JPEG stream
    CloseImageFile(f);

    ImageRecord deep = testPicture(4, 4, 16);
    std::vector<uint8_t> out;
    EXPECT_EQ(encodeImageFile(toGif(testPicture(4, 4, 1)), kFileGif, out), kImageOk);
    ImageRecord notGif;
    notGif.imageType = kImageGifLzw;
    EXPECT_EQ(ConvertImage(deep, notGif, 0), kImageUnsupported); // 16 bits need reducing first

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

    {
        std::ofstream(dir / "old.bmp") << std::string(5000, 'x');
    }
    ASSERT_EQ(CreateImageFile(dir / "old.bmp", f, 1, kFileBmp), kImageOk);
    EXPECT_EQ(std::filesystem::file_size(dir / "old.bmp"), 5000u); // opened, not replaced
    ASSERT_EQ(WriteImage(f, testPicture(2, 2, 24), 0), kImageOk);
    CloseImageFile(f);
    EXPECT_EQ(std::filesystem::file_size(dir / "old.bmp"), 54u + 16); // cut to the image

    {
        std::ofstream(dir / "old2.bmp") << std::string(5000, 'x');
    }
    ASSERT_EQ(CreateImageFile(dir / "old2.bmp", f, 0, kFileBmp), kImageOk);
    EXPECT_EQ(std::filesystem::file_size(dir / "old2.bmp"), 0u); // replaced
    CloseImageFile(f);
}

TEST(Capture, GifOfSixteenBitPictureWithFewColoursIsExact)
{
    TempDir dir;
    ImageRecord screen = testPicture(240, 320, 16, 200, 11);
    // The capture hands its display bitmap without copying it.
    std::vector<uint8_t> display(screen.data.bytes().begin(), screen.data.bytes().end());
    ImageRecord picture;
    picture.width = 240;
    picture.height = 320;
    picture.bitsPerPixel = 16;
    picture.rowBytes = 480;
    picture.dataSize = uint32_t(display.size());
    picture.data = ImageData::borrow(display);
    picture.rowOrder = kRowsTopDown;
    picture.planeFlag = 1;

    ImageRecord eight;
    eight.imageType = kImageRaw;
    ASSERT_EQ(ConvertImage(picture, eight, 0), kImageOk);
    ASSERT_EQ(ImageOperation(eight, 2, 8, 0), kImageOk);
    EXPECT_EQ(eight.bitsPerPixel, 8);
    ImageRecord gif;
    gif.imageType = kImageGifLzw;
    ASSERT_EQ(ConvertImage(eight, gif, 0), kImageOk);
    EXPECT_EQ(FreeImage(eight), 2);
    ASSERT_EQ(writeFile(dir / "shot.GIF", kFileGif, gif), kImageOk);
    EXPECT_EQ(FreeImage(gif), 2);
    EXPECT_EQ(readFileBytes(dir / "shot.GIF").size() > 0, true);
    runOracle({"decode", (dir / "shot.GIF").string()});
    EXPECT_EQ(compareWithPillow(picture, readRgb(dir / "shot.GIF")), "");
    EXPECT_TRUE(std::equal(display.begin(), display.end(), screen.data.bytes().begin()));
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

TEST(Capture, TwentyFourBitBmpOfFourBitPicture)
{
    TempDir dir;
    ImageRecord pic = testPicture(240, 320, 4, 0, 3);
    ImageRecord copy;
    copy.imageType = kImageRaw;
    ASSERT_EQ(ConvertImage(pic, copy, 0), kImageOk);
    ASSERT_EQ(ImageOperation(copy, 2, 24, 0), kImageOk);
    ASSERT_EQ(writeFile(dir / "shot.BMP", kFileBmp, copy), kImageOk);
    std::vector<uint8_t> bytes = readFileBytes(dir / "shot.BMP");
    ASSERT_GE(bytes.size(), 54u);
    EXPECT_EQ(loadLe16(&bytes[28]), 24);
    runOracle({"decode", (dir / "shot.BMP").string()});
    EXPECT_EQ(compareWithPillow(pic, readRgb(dir / "shot.BMP")), "");
}
