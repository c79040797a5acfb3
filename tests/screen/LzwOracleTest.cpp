// Streams made by other encoders decode to what their own decoders give:
// MSB-first against TIFF strips written by libtiff (through Pillow), LSB-first against
// GIF image data written by giflib and read back by Pillow.
#include <gtest/gtest.h>

#include <gif_lib.h>

#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "screen/LzwDecoder.h"
#include "support/SimProcess.h"
#include "support/TempDir.h"

using namespace sorvane;
namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<uint8_t>;

Bytes readFile(const fs::path& p)
{
    std::ifstream f(p, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(f), {});
}

void runOracle(std::vector<std::string> args)
{
    args.insert(args.begin(), {test::programFromEnv("SORVANE_PYTHON"), SORVANE_LZW_ORACLE});
    test::ProcessResult r = test::runProcess(args);
    ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
}

struct Picture {
    std::string name;
    int width, height, bits;
    Bytes pixels; // palette indices, one a byte
};

std::vector<Picture> gifPictures()
{
    std::mt19937 rng(77);
    std::vector<Picture> out;
    auto make = [&](std::string name, int w, int h, int bits, auto pixel) {
        Picture p{std::move(name), w, h, bits, Bytes(size_t(w) * h)};
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                p.pixels[size_t(y) * w + x] = uint8_t(pixel(x, y));
        out.push_back(std::move(p));
    };
    make("flat_ui", 240, 320, 4, [](int x, int y) {
        if (y < 26) return 1;                              // title bar
        if (y > 290) return 8;                             // menu bar
        if (x > 20 && x < 220 && y > 60 && y < 100) return (x / 6 + y) % 9 ? 15 : 0; // text
        return (x > 30 && x < 120 && y > 200 && y < 230) ? 7 : 15; // button
    });
    make("gradient", 200, 150, 4, [](int x, int y) { return (x / 13 + y / 7 + (x ^ y) % 2) % 16; });
    make("noise", 256, 200, 4, [&](int, int) { return int(rng() % 16); });
    make("four_colours", 97, 41, 2, [&](int x, int y) { return (x * y / 5 + int(rng() % 2)) % 4; });
    make("odd_width", 61, 37, 4, [](int x, int y) { return (x * 3 + y) % 16; });
    return out;
}

void writeGif(const fs::path& path, const Picture& p)
{
    int error = 0;
    GifFileType* gif = EGifOpenFileName(path.c_str(), false, &error);
    ASSERT_NE(gif, nullptr) << GifErrorString(error);
    std::vector<GifColorType> colours(size_t(1) << p.bits);
    for (size_t i = 0; i < colours.size(); ++i)
        colours[i] = {uint8_t(i * 17), uint8_t(255 - i * 13), uint8_t(i * 5)};
    ColorMapObject* map = GifMakeMapObject(int(colours.size()), colours.data());
    ASSERT_EQ(EGifPutScreenDesc(gif, p.width, p.height, p.bits, 0, map), GIF_OK);
    ASSERT_EQ(EGifPutImageDesc(gif, 0, 0, p.width, p.height, false, nullptr), GIF_OK);
    Bytes row(size_t(p.width));
    for (int y = 0; y < p.height; ++y) {
        std::copy_n(p.pixels.begin() + size_t(y) * p.width, p.width, row.begin());
        ASSERT_EQ(EGifPutLine(gif, row.data(), p.width), GIF_OK);
    }
    ASSERT_EQ(EGifCloseFile(gif, &error), GIF_OK);
    GifFreeMapObject(map);
}

struct Case {
    std::string name;
    Bytes stream;
    Bytes expect;       // TIFF: pixel bytes; GIF: palette indices, one a byte
    size_t rowUnits = 0; // bytes (TIFF) or pixels (GIF)
    size_t rows = 0;
};

class LzwOracle : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        dir_ = new test::TempDir;
        runOracle({"tiff", dir_->path().string()});
        std::ifstream tiffList(*dir_ / "tiff.txt");
        Case c;
        while (tiffList >> c.name >> c.rowUnits >> c.rows) {
            c.stream = readFile(*dir_ / (c.name + ".lzw"));
            c.expect = readFile(*dir_ / (c.name + ".raw"));
            tiff_.push_back(c);
        }

        std::vector<std::string> args{"gif", dir_->path().string()};
        for (const Picture& p : gifPictures()) {
            writeGif(*dir_ / (p.name + ".gif"), p);
            args.push_back((*dir_ / (p.name + ".gif")).string());
            chosen_.push_back(p);
        }
        runOracle(args);
        std::ifstream gifList(*dir_ / "gif.txt");
        while (gifList >> c.name >> c.rowUnits >> c.rows) {
            c.stream = readFile(*dir_ / (c.name + ".lzw"));
            c.expect = readFile(*dir_ / (c.name + ".idx"));
            gif_.push_back(c);
        }
    }
    static void TearDownTestSuite()
    {
        delete dir_;
        dir_ = nullptr;
    }

    // Decodes a GIF case into nibble rows at the given stride and unpacks them.
    static LzwResult decodeGif(LzwDecoder& d, const Case& c, size_t stride, Bytes& pixels)
    {
        Bytes rows(stride * c.rows, 0);
        LzwResult r = d.decode(LzwVariant::LsbFirst, c.stream, rows, stride, c.rowUnits, c.rows);
        pixels.resize(c.rowUnits * c.rows);
        for (size_t y = 0; y < c.rows; ++y)
            for (size_t x = 0; x < c.rowUnits; ++x)
                pixels[y * c.rowUnits + x] = (rows[y * stride + x / 2] >> (x % 2 ? 0 : 4)) & 0x0F;
        return r;
    }

    // A stream cut in half stops as truncated with what it decoded so far, the rest zero.
    static void expectCutPrefix(const LzwResult& r, const Bytes& out, const Bytes& expect)
    {
        EXPECT_EQ(r.status, LzwStatus::Truncated) << lzwStatusName(r.status);
        ASSERT_GT(r.unitsDecoded, 0u);
        ASSERT_LT(r.unitsDecoded, out.size());
        EXPECT_TRUE(std::equal(out.begin(), out.begin() + r.unitsDecoded, expect.begin()));
        EXPECT_TRUE(std::all_of(out.begin() + r.unitsDecoded, out.end(), [](uint8_t b) { return b == 0; }));
    }

    static inline test::TempDir* dir_ = nullptr;
    static inline std::vector<Case> tiff_;
    static inline std::vector<Case> gif_;
    static inline std::vector<Picture> chosen_;
};

} // namespace

TEST_F(LzwOracle, LibtiffStripsDecodeToTheirPixels)
{
    ASSERT_GE(tiff_.size(), 10u);
    LzwDecoder d;
    for (const Case& c : tiff_) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(c.expect.size(), c.rowUnits * c.rows);
        Bytes out(c.expect.size(), 0xA5);
        LzwResult r = d.decode(LzwVariant::MsbFirst, c.stream, out, c.rowUnits, c.rowUnits, c.rows);
        EXPECT_EQ(r.status, LzwStatus::Complete) << lzwStatusName(r.status);
        EXPECT_TRUE(out == c.expect);

        // Rows placed at a wider pitch, as for a rectangle inside a larger frame.
        const size_t stride = c.rowUnits + 5;
        Bytes placed(stride * c.rows, 0xA5);
        r = d.decode(LzwVariant::MsbFirst, c.stream, placed, stride, c.rowUnits, c.rows);
        EXPECT_EQ(r.status, LzwStatus::Complete);
        for (size_t y = 0; y < c.rows; ++y) {
            ASSERT_TRUE(std::equal(c.expect.begin() + y * c.rowUnits,
                                   c.expect.begin() + (y + 1) * c.rowUnits, placed.begin() + y * stride))
                << "row " << y;
            ASSERT_EQ(Bytes(placed.begin() + y * stride + c.rowUnits, placed.begin() + (y + 1) * stride),
                      Bytes(5, 0xA5));
        }
        if (c.stream.size() >= 64) {
            out.assign(c.expect.size(), 0xA5);
            r = d.decode(LzwVariant::MsbFirst, std::span(c.stream).first(c.stream.size() / 2), out, c.rowUnits,
                         c.rowUnits, c.rows);
            expectCutPrefix(r, out, c.expect);
        }
    }
}

TEST_F(LzwOracle, GiflibImagesDecodeToTheirIndices)
{
    ASSERT_EQ(gif_.size(), chosen_.size());
    LzwDecoder d;
    for (size_t i = 0; i < gif_.size(); ++i) {
        const Case& c = gif_[i];
        SCOPED_TRACE(c.name);
        ASSERT_EQ(c.expect, chosen_[i].pixels); // giflib wrote what Pillow reads
        EXPECT_EQ(c.stream[1], chosen_[i].bits + 1);
        Bytes pixels;
        LzwResult r = decodeGif(d, c, (c.rowUnits + 1) / 2, pixels);
        EXPECT_EQ(r.status, LzwStatus::Complete) << lzwStatusName(r.status);
        EXPECT_TRUE(pixels == c.expect);
        if (c.stream.size() >= 64) {
            Case cut = c;
            cut.stream.resize(c.stream.size() / 2);
            expectCutPrefix(decodeGif(d, cut, (c.rowUnits + 1) / 2, pixels), pixels, c.expect);
        }
    }
}
