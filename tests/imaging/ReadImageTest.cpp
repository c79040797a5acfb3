// Reading: identification by first bytes, and files written by Pillow, ImageMagick
// and by hand read to exactly the pixels Pillow reads from them.

#include "OracleSupport.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <map>

using namespace sorvane;
using namespace sorvane::test;

namespace {

std::vector<uint8_t> bytesOf(std::string_view s, size_t padTo = 64)
{
    std::vector<uint8_t> v(s.begin(), s.end());
    v.resize(std::max(v.size(), padTo), 0);
    return v;
}

class PillowCorpus : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        dir_ = std::make_unique<TempDir>();
        runOracle({"make", dir_->path().string()});
    }
    static void TearDownTestSuite() { dir_.reset(); }
    static std::unique_ptr<TempDir> dir_;
};
std::unique_ptr<TempDir> PillowCorpus::dir_;

} // namespace

TEST(IdentifyImageFile, EveryCodeByItsFirstBytes)
{
    using namespace std::string_view_literals;
    const std::vector<std::pair<std::string_view, int>> cases = {
        {"BM"sv, kFileBmp},
        {"\x0A\x05\x01\x08"sv, kFilePcx},
        {"\x0A\x00\x01"sv, kFilePcx},
        {"\xB1\x68\xDE\x3A"sv, kFileDcx},
        {"II\x2A\x00"sv, kFileTiff},
        {"MM\x00\x2A"sv, kFileTiff},
        {"\xFF\xD8\xFF\xE0"sv, kFileJpeg},
        {"%PDF-1.4"sv, kFilePdf},
        {"GIF89a"sv, kFileGif},
        {"GIF87a"sv, kFileGif},
        {"\x89PNG\r\n\x1A\n"sv, kFilePng},
        {"RIFF\x10\x00\x00\x00" "AVI LIST"sv, kFileAvi},
        {"II\x1A\x00\x00\x00HEAPCCDR"sv, kFileCrw},
        {"\x00MRM\x00\x01"sv, kFileMrw},
        {"MMOR\x00\x00"sv, kFileOrf},
        {"FUJIFILMCCD-RAW 0201"sv, kFileRaf},
    };
    for (auto& [magic, code] : cases)
        EXPECT_EQ(identifyImageFile(bytesOf(magic)), code) << "magic of code " << code;

    EXPECT_EQ(identifyImageFile(bytesOf("RIFF\x10\x00\x00\x00WAVEfmt "sv)), kFileUnknown);
    EXPECT_EQ(identifyImageFile(bytesOf("FUJIFILM and nothing else"sv)), kFileUnknown);
    EXPECT_EQ(identifyImageFile(bytesOf("\x0A\x05\x02"sv)), kFileUnknown); // PCX needs encoding 1
    EXPECT_EQ(identifyImageFile(bytesOf("II\x2B\x00"sv)), kFileUnknown);
    EXPECT_EQ(identifyImageFile(std::span<const uint8_t>()), kFileUnknown);
    EXPECT_EQ(identifyImageFile(bytesOf("B", 1)), kFileUnknown);
}

TEST(OpenImageFile, TypeComesFromContentNotName)
{
    TempDir dir;
    writeFileBytes(dir / "skin.png", bytesOf("BM"));
    writeFileBytes(dir / "photo.bmp", bytesOf("\x89PNG\r\n\x1A\n"));
    writeFileBytes(dir / "notes.txt", bytesOf("plain text"));
    writeFileBytes(dir / "empty.bmp", std::vector<uint8_t>{});
    ImageFile f;
    ImageRecord img;
    ASSERT_EQ(OpenImageFile(dir / "skin.png", f, 0), kImageOk);
    EXPECT_EQ(std::make_tuple(f.fileType, f.mode, f.bytes().size()), std::make_tuple(kFileBmp, kFileReading, size_t(64)));
    EXPECT_EQ(ReadImage(f, img, 0, 0), kImageUnsupported); // "BM" and zeros is no bitmap
    EXPECT_EQ(CloseImageFile(f), kImageOk);
    EXPECT_EQ(f.mode, kFileClosed);
    EXPECT_FALSE(f.mapping);
    ASSERT_EQ(OpenImageFile(dir / "photo.bmp", f, 0), kImageOk);
    EXPECT_EQ(f.fileType, kFilePng);
    CloseImageFile(f);
    for (const char* name : {"notes.txt", "empty.bmp"})
        EXPECT_EQ(OpenImageFile(dir / name, f, 0), kImageUnsupported) << name;
    EXPECT_EQ(f.mode, kFileClosed);
    EXPECT_EQ(OpenImageFile(dir / "missing.bmp", f, 0), kImageCannotCreate);
    EXPECT_EQ(OpenImageFile(dir.path(), f, 0), kImageCannotCreate); // a folder
    EXPECT_EQ(ReadImage(f, img, 0, 0), kImageUnsupported);         // not open
}

TEST_F(PillowCorpus, EveryFileReadsToPillowsPixels)
{
    std::map<std::string, int> counts;
    std::vector<std::string> failures;
    for (const auto& entry : std::filesystem::directory_iterator(dir_->path())) {
        std::string ext = entry.path().extension().string();
        if (ext != ".bmp" && ext != ".gif" && ext != ".png")
            continue;
        ++counts[ext];
        const std::string name = entry.path().filename().string();
        ImageRecord raw;
        int rc = readRaw(entry.path(), raw);
        if (rc != kImageOk) {
            failures.push_back(name + ": result " + std::to_string(rc));
            continue;
        }
        // Files of 5-5-5 pixels have five bits of green.
        int greenBits = name.find("555") != std::string::npos ? 5 : 6;
        std::string diff = compareWithPillow(raw, readRgb(entry.path()), greenBits);
        if (!diff.empty())
            failures.push_back(name + ": " + diff);
    }
    EXPECT_EQ(counts[".bmp"], 22);
    EXPECT_EQ(counts[".gif"], 8);
    EXPECT_EQ(counts[".png"], 42);
    for (const auto& f : failures)
        ADD_FAILURE() << f;
}

TEST_F(PillowCorpus, ReadRecordsKeepDepthAndRowOrder)
{
    struct Expect {
        const char* name;
        int bits;
        uint8_t rowOrder;
    };
    const Expect cases[] = {
        {"pil_1bit.bmp", 1, kRowsBottomUp},       {"hand_1bit_inverted.bmp", 1, kRowsBottomUp},
        {"im_1bit_colours.bmp", 4, kRowsBottomUp}, {"hand_rle4.bmp", 4, kRowsBottomUp},
        {"hand_rle8.bmp", 8, kRowsBottomUp},       {"im_565.bmp", 16, kRowsBottomUp},
        {"hand_555_plain.bmp", 16, kRowsBottomUp}, {"pil_32bit.bmp", 24, kRowsBottomUp},
        {"hand_topdown_24bit.bmp", 24, kRowsTopDown}, {"hand_topdown_8bit.bmp", 8, kRowsTopDown},
        {"pil_interlaced.gif", 8, kRowsTopDown},   {"hand_ct0_d1.png", 1, kRowsTopDown},
        {"hand_ct0_d2.png", 4, kRowsTopDown},      {"hand_ct3_d4_adam7.png", 4, kRowsTopDown},
        {"hand_ct4_d16.png", 8, kRowsTopDown},     {"hand_ct6_d16_adam7.png", 24, kRowsTopDown},
    };
    for (const auto& c : cases) {
        ImageFile f;
        ASSERT_EQ(OpenImageFile(dir_->path() / c.name, f, 0), kImageOk) << c.name;
        ImageRecord img;
        ASSERT_EQ(ReadImage(f, img, 0, 0), kImageOk) << c.name;
        EXPECT_EQ(img.bitsPerPixel, c.bits) << c.name;
        EXPECT_EQ(img.rowOrder, c.rowOrder) << c.name;
        EXPECT_EQ(img.imageType, kImageRaw) << c.name;
        EXPECT_EQ(img.planeFlag, 1) << c.name;
        EXPECT_EQ(img.rowBytes, packedRowBytes(img.width, img.bitsPerPixel)) << c.name;
        EXPECT_EQ(FreeImage(img), (c.bits == 4 || c.bits == 8) ? 2 : 1) << c.name;
        EXPECT_EQ(FreeImage(img), 0) << c.name; // nothing left to free
    }
}

TEST_F(PillowCorpus, DamagedFilesAreRefusedOrReadSafely)
{
    auto readBytes = [](const std::vector<uint8_t>& bytes, int type) {
        ImageRecord img;
        return readImageBytes(bytes, type, img);
    };
    // Every prefix of a file either is refused or reads without harm.
    for (const char* name : {"hand_rle4.bmp", "hand_rle8.bmp", "pil_24bit.bmp", "pil_interlaced.gif",
                             "hand_ct3_d2_adam7.png", "im_rgba16.png"}) {
        std::vector<uint8_t> whole = readFileBytes(dir_->path() / name);
        int type = identifyImageFile(whole);
        for (size_t n = 0; n < whole.size(); n += 1 + n / 16) {
            std::vector<uint8_t> part(whole.begin(), whole.begin() + ptrdiff_t(n));
            int rc = readBytes(part, type);
            EXPECT_TRUE(rc == kImageOk || rc == kImageUnsupported) << name << " cut at " << n;
        }
    }
    // The picture size limit holds for every reader.
    for (const char* name : {"pil_24bit.bmp", "pil_plain.gif", "pil_rgb.png"}) {
        std::vector<uint8_t> whole = readFileBytes(dir_->path() / name);
        ImageRecord img;
        ASSERT_EQ(readImageBytes(whole, identifyImageFile(whole), img), kImageOk) << name;
        const int64_t pixels = int64_t(img.width) * img.height;
        EXPECT_EQ(readImageBytes(whole, identifyImageFile(whole), img, pixels), kImageOk) << name;
        EXPECT_EQ(readImageBytes(whole, identifyImageFile(whole), img, pixels - 1), kImageUnsupported) << name;
    }
    // Uncompressed bitmap rows and PNG data that stop short are refused.
    std::vector<uint8_t> bmp = readFileBytes(dir_->path() / "pil_24bit.bmp");
    bmp.resize(bmp.size() - 1);
    EXPECT_EQ(readBytes(bmp, kFileBmp), kImageUnsupported);

    // A PNG whose critical chunk fails its CRC is refused; an ancillary one is skipped.
    std::vector<uint8_t> png = readFileBytes(dir_->path() / "hand_ct2_d8.png");
    ASSERT_EQ(readBytes(png, kFilePng), kImageOk);
    std::vector<uint8_t> badText = png, badHeader = png;
    badText[33 + 8 + 2] ^= 1; // inside the tEXt chunk that follows IHDR
    EXPECT_EQ(readBytes(badText, kFilePng), kImageOk);
    badHeader[16] ^= 1; // IHDR width
    EXPECT_EQ(readBytes(badHeader, kFilePng), kImageUnsupported);

    // A GIF with nothing after its image descriptor is refused.
    std::vector<uint8_t> gif = readFileBytes(dir_->path() / "pil_plain.gif");
    size_t at = 13 + ((gif[10] & 0x80) ? size_t(3) << ((gif[10] & 7) + 1) : 0);
    while (gif[at] == 0x21) {
        at += 2;
        while (gif[at])
            at += gif[at] + 1u;
        ++at;
    }
    gif.resize(at + 10);
    EXPECT_EQ(readBytes(gif, kFileGif), kImageUnsupported);
}
