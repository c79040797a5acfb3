// The JPEG reader against Pillow's decoding of files written by Pillow, ImageMagick
// and libjpeg-turbo, and its refusal of streams it must not accept.

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "JpegTestSupport.h"
#include "imaging/JpegDecoder.h"
#include "imaging/JpegIdct.h"
#include "support/SimProcess.h"
#include "support/TempDir.h"

using namespace sorvane;
using namespace sorvane::test;
namespace fs = std::filesystem;

namespace {

// Decodes every file with our reader and with Pillow and expects the pixels within
// +-2 per channel.
void expectSameAsPillow(const std::vector<fs::path>& files)
{
    std::vector<Reference> refs = pillowDecode(files);
    ASSERT_EQ(refs.size(), files.size());
    for (const Reference& ref : refs) {
        std::vector<uint8_t> bytes = readFileBytes(ref.file);
        jpeg::DecodedJpeg out;
        ASSERT_EQ(jpeg::decode(bytes, out), 0) << ref.file;
        EXPECT_LE(maxDifference(out, ref.picture), 2) << ref.file;
    }
}

size_t findMarker(const std::vector<uint8_t>& f, uint8_t code)
{
    for (size_t i = 0; i + 1 < f.size(); ++i)
        if (f[i] == 0xFF && f[i + 1] == code)
            return i;
    return std::string::npos;
}

bool hasMarker(const std::vector<uint8_t>& f, uint8_t code) { return findMarker(f, code) != std::string::npos; }

std::vector<uint8_t> smallBaseline(bool progressive = false, unsigned restart = 0)
{
    return libjpegEncode(photoPicture(37, 29, 10),
                         {.lumaH = 2, .lumaV = 2, .progressive = progressive, .restartInterval = restart});
}

} // namespace

TEST(JpegDecode, FilesWrittenByPillowAndImageMagickMatchPillowsPixels)
{
    TempDir dir;
    std::vector<fs::path> files;
    int progressive = 0;
    const std::pair<const char*, Picture> sources[] = {{"photo", photoPicture(75, 61, 8)},
                                                       {"screen", screenPicture(101, 77)}};
    for (const auto& [name, picture] : sources) {
        fs::create_directory(dir / name);
        writePpm(dir / name / "src.ppm", picture);
        std::istringstream names(pillow({"write-pillow", (dir / name / "src.ppm").string(), (dir / name).string()}));
        for (std::string n; names >> n;) {
            files.push_back(dir / name / n);
            progressive += hasMarker(readFileBytes(files.back()), 0xC2);
        }
    }
    ASSERT_EQ(files.size(), 18u);
    EXPECT_EQ(progressive, 8); // the oracle really wrote progressive files
    const std::string src = (dir / "photo" / "src.ppm").string();
    auto imageMagick = [](std::vector<std::string> args) {
        args.insert(args.begin(), "/usr/bin/convert");
        ProcessResult r = runProcess(args, std::chrono::seconds(120));
        ASSERT_EQ(r.exitCode, 0) << "ImageMagick's convert failed or is missing: " << r.err;
    };
    for (std::string sampling : {"1x1", "2x1", "2x2", "1x2", "4x1"})
        for (std::string interlace : {"None", "JPEG"}) {
            files.push_back(dir / ("im_" + sampling + interlace + ".jpg"));
            imageMagick({src, "-sampling-factor", sampling, "-quality", "70", "-interlace", interlace, files.back()});
        }
    files.push_back(dir / "im_grey.jpg");
    imageMagick({src, "-colorspace", "Gray", "-quality", "90", files.back()});
    expectSameAsPillow(files);
}

TEST(JpegDecode, RestartIntervalsRgbAndOddSizesMatchPillow)
{
    TempDir dir;
    struct Case {
        const char* name;
        Picture picture;
        LibjpegParams params;
    };
    const Case cases[] = {
        {"rst1_444", photoPicture(50, 30, 6), {.restartInterval = 1}},
        {"rst5_420", photoPicture(67, 41, 6), {.lumaH = 2, .lumaV = 2, .restartInterval = 5}},
        {"rstrow_422", screenPicture(90, 50), {.lumaH = 2, .restartRows = 1}},
        {"prog_rst2_420", photoPicture(67, 41, 6), {.lumaH = 2, .lumaV = 2, .progressive = true, .restartInterval = 2}},
        {"prog_rst3_444", screenPicture(60, 33), {.progressive = true, .restartInterval = 3}},
        {"grey_prog_rst7", greyOf(photoPicture(45, 31, 9)), {.progressive = true, .restartInterval = 7}},
        {"rgb_base", photoPicture(41, 23, 6), {.rgb = true}},
        {"rgb_prog", screenPicture(41, 23), {.progressive = true, .rgb = true}},
        {"one_pixel_420", photoPicture(1, 1), {.lumaH = 2, .lumaV = 2}},
        {"column_420", photoPicture(1, 40, 5), {.lumaH = 2, .lumaV = 2, .progressive = true}},
        {"row_422", photoPicture(40, 1, 5), {.lumaH = 2}},
        {"mcu_exact_420", photoPicture(32, 16, 5), {.lumaH = 2, .lumaV = 2}},
        {"odd_440", photoPicture(17, 9, 5), {.lumaV = 2, .progressive = true}},
    };
    std::vector<fs::path> files;
    for (const Case& c : cases) {
        std::vector<uint8_t> bytes = libjpegEncode(c.picture, c.params);
        ASSERT_FALSE(bytes.empty()) << c.name;
        if (c.params.restartInterval || c.params.restartRows) {
            EXPECT_TRUE(hasMarker(bytes, 0xDD) && hasMarker(bytes, 0xD0)) << c.name;
        }
        files.push_back(dir / (std::string(c.name) + ".jpg"));
        writeFileBytes(files.back(), bytes);
    }
    expectSameAsPillow(files);
}

TEST(JpegDecode, MissingEndMarkerIsAcceptedOnlyForACompletePicture)
{
    for (bool progressive : {false, true}) {
        std::vector<uint8_t> whole = smallBaseline(progressive);
        jpeg::DecodedJpeg a, b;
        ASSERT_EQ(jpeg::decode(whole, a), 0);
        std::vector<uint8_t> cut(whole.begin(), whole.end() - 2); // no EOI
        ASSERT_EQ(jpeg::decode(cut, b), 0) << progressive;
        EXPECT_EQ(a.pixels, b.pixels);
    }
}

// Every prefix short of the end marker is refused; among them the progressive stream
// that stops cleanly after its first scans, which is still a partial picture.
TEST(JpegDecode, EveryTruncationIsRefused)
{
    const std::vector<uint8_t> files[] = {smallBaseline(false), smallBaseline(true), smallBaseline(false, 1)};
    for (const std::vector<uint8_t>& f : files) {
        for (size_t len = 0; len + 2 < f.size(); ++len) {
            std::vector<uint8_t> prefix(f.begin(), f.begin() + ptrdiff_t(len));
            jpeg::DecodedJpeg out;
            int rc = jpeg::decode(prefix, out);
            ASSERT_EQ(rc, -6) << "prefix of " << len << " of " << f.size() << " bytes";
            ASSERT_TRUE(out.pixels.empty() && out.width == 0);
        }
    }
}

TEST(JpegDecode, CorruptStreamsAreRefused)
{
    auto expectRefused = [](const std::vector<uint8_t>& f, const char* what) {
        jpeg::DecodedJpeg out;
        EXPECT_EQ(jpeg::decode(f, out), -6) << what;
        EXPECT_TRUE(out.pixels.empty()) << what;
    };
    const std::vector<uint8_t> base = smallBaseline();
    const size_t sof = findMarker(base, 0xC0), sos = findMarker(base, 0xDA), dht = findMarker(base, 0xC4);
    ASSERT_EQ(base[dht + 4], 0x00); // the DC table 0, counts 0 1 5 1 1 1 1 1 1
    const struct {
        const char* what;
        std::vector<std::pair<size_t, uint8_t>> bytes;
    } cases[] = {
        // The same number of symbols, but 2 + 0 + 4 codes of up to three bits do not fit.
        {"impossible Huffman table", {{dht + 5, 2}, {dht + 6, 0}, {dht + 7, 4}}},
        {"undefined Huffman table", {{sos + 6, 0x33}}},
        {"undefined quantization table", {{sof + 12, 3}}},
        {"zero sampling factor", {{sof + 11, 0x00}}},
        {"factors that do not divide", {{sof + 11, 0x31}, {sof + 14, 0x21}}}, // 3x1 beside 2x1
        {"height given by DNL", {{sof + 5, 0}, {sof + 6, 0}}},
        // A short file cannot claim a huge picture: refused before a buffer that size is made.
        {"65535 x 65535 in a short file", {{sof + 5, 0xFF}, {sof + 6, 0xFF}, {sof + 7, 0xFF}, {sof + 8, 0xFF}}},
    };
    for (const auto& c : cases) {
        std::vector<uint8_t> f = base;
        for (auto [at, v] : c.bytes)
            f[at] = v;
        expectRefused(f, c.what);
    }
    std::vector<uint8_t> f = smallBaseline(false, 1);
    f[findMarker(f, 0xD0) + 1] = 0xD3;
    expectRefused(f, "restart marker out of sequence");
    expectRefused(libjpegEncode(Picture{12, 10, 4, std::vector<uint8_t>(12 * 10 * 4, 90)}, {}), "four components");
    expectRefused({}, "empty");
    expectRefused({0xFF, 0xD8}, "SOI alone");
    expectRefused({0x89, 'P', 'N', 'G', 13, 10, 26, 10}, "not a JPEG");
    expectRefused({0xFF, 0xD8, 0xFF, 0xD9}, "no frame");
}

TEST(JpegDecode, OtherCodingProcessesGiveMinus7)
{
    auto expectProcess = [](const std::vector<uint8_t>& f, const char* what) {
        jpeg::DecodedJpeg out;
        EXPECT_EQ(jpeg::decode(f, out), -7) << what;
    };
    for (bool progressive : {false, true}) {
        const std::vector<uint8_t> a =
            libjpegEncode(photoPicture(30, 20), {.progressive = progressive, .arithmetic = true});
        ASSERT_TRUE(hasMarker(a, progressive ? 0xCA : 0xC9)) << "libjpeg did not write an arithmetic-coded frame";
        expectProcess(a, progressive ? "arithmetic progressive" : "arithmetic sequential");
    }

    const std::vector<uint8_t> base = smallBaseline();
    const size_t sof = findMarker(base, 0xC0);
    for (uint8_t m : {0xC1, 0xC3, 0xC5, 0xC6, 0xC7, 0xCB, 0xCD, 0xCE, 0xCF}) {
        std::vector<uint8_t> f = base;
        f[sof + 1] = m;
        expectProcess(f, "other frame type");
    }
    std::vector<uint8_t> twelve = base;
    twelve[sof + 4] = 12;
    expectProcess(twelve, "12-bit samples");

    // A hierarchical stream starts with a DHP segment before its frames.
    std::vector<uint8_t> dhp = base;
    const uint8_t segment[] = {0xFF, 0xDE, 0x00, 0x0B, 8, 0, 29, 0, 37, 1, 1, 0x11, 0};
    dhp.insert(dhp.begin() + 2, std::begin(segment), std::end(segment));
    expectProcess(dhp, "hierarchical");
}

TEST(JpegDecode, VectorInverseDctEqualsTheScalarOne)
{
    // Random blocks from sparse and small to dense and extreme (the latter only
    // corrupt streams produce), with 8- and 16-bit divisors: identical samples.
    uint32_t seed = 5;
    auto next = [&seed] {
        seed = seed * 1664525u + 1013904223u;
        return seed >> 8;
    };
    for (int trial = 0; trial < 4000; ++trial) {
        alignas(16) int16_t coefs[64];
        alignas(16) uint16_t quant[64];
        int range = trial % 4 == 0 ? 32768 : trial % 4 == 1 ? 1024 : trial % 4 == 2 ? 64 : 4;
        int density = int(next() % 64);
        for (int k = 0; k < 64; ++k) {
            coefs[k] = int16_t(int(next() % 64) <= density || k == 0 ? int(next() % uint32_t(2 * range)) - range : 0);
            quant[k] = uint16_t(trial % 3 == 0 ? next() % 65536 : 1 + next() % 255);
        }
        uint8_t a[8 * 10], b[8 * 10];
        jpeg::inverseDct(coefs, quant, a, 10);
        jpeg::inverseDctScalar(coefs, quant, b, 10);
        for (int r = 0; r < 8; ++r)
            for (int c = 0; c < 8; ++c)
                ASSERT_EQ(a[r * 10 + c], b[r * 10 + c]) << "trial " << trial << " at " << r << "," << c;
    }
}
