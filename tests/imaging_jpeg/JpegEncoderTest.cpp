// The JPEG writer: its tables and headers checked through Pillow and against
// libjpeg-turbo's standard tables, its pictures decoded by Pillow.

#include <gtest/gtest.h>

#include <sstream>

#include "JpegTestSupport.h"
#include "imaging/JpegDecoder.h"
#include "imaging/JpegEncoder.h"
#include "support/TempDir.h"

using namespace sorvane;
using namespace sorvane::test;
namespace fs = std::filesystem;

namespace {

std::vector<uint8_t> encodePicture(const Picture& p, jpeg::EncodeOptions opt)
{
    std::vector<uint8_t> out;
    EXPECT_EQ(jpeg::encode(p.pixels.data(), p.width, p.height, ptrdiff_t(p.width) * 3, opt, out), 0);
    return out;
}

struct Segment {
    uint8_t marker;
    std::vector<uint8_t> body;
};

// The marker segments up to SOS (its header included), then the markers of the
// entropy-coded data and the end.
std::vector<Segment> segments(const std::vector<uint8_t>& f)
{
    std::vector<Segment> out;
    size_t i = 2;
    out.push_back({0xD8, {}});
    while (i + 4 <= f.size() && f[i] == 0xFF) {
        uint8_t m = f[i + 1];
        size_t len = size_t(f[i + 2] << 8 | f[i + 3]);
        out.push_back({m, std::vector<uint8_t>(f.begin() + ptrdiff_t(i) + 4, f.begin() + ptrdiff_t(i + 2 + len))});
        i += 2 + len;
        if (m == 0xDA)
            break;
    }
    for (; i + 1 < f.size(); ++i)
        if (f[i] == 0xFF && f[i + 1] != 0x00)
            out.push_back({f[i + 1], {}});
    return out;
}

// The Huffman tables of every DHT segment, in the order written.
std::vector<uint8_t> huffmanTables(const std::vector<uint8_t>& f)
{
    std::vector<uint8_t> tables;
    for (const Segment& s : segments(f))
        if (s.marker == 0xC4)
            tables.insert(tables.end(), s.body.begin(), s.body.end());
    return tables;
}

// The oracle's answer as numbers, one vector per line.
std::vector<std::vector<int>> rowsOf(std::istream& in)
{
    std::vector<std::vector<int>> rows;
    for (std::string line; std::getline(in, line);) {
        std::istringstream l(line);
        rows.emplace_back(std::istream_iterator<int>(l), std::istream_iterator<int>());
    }
    return rows;
}

// Pillow's view of a file: its mode, the sampling of its first component and its
// quantization tables (natural order).
struct Inspection {
    std::string mode;
    int sampling = -2;
    std::vector<std::vector<int>> quant;
};

Inspection inspect(const fs::path& file)
{
    std::istringstream in(pillow({"inspect", file.string()}));
    Inspection r;
    in >> r.mode >> r.sampling >> std::ws;
    r.quant = rowsOf(in);
    return r;
}

} // namespace

TEST(JpegEncode, QuantizationTablesAreAnnexKScaledByTheOptions)
{
    std::istringstream tables(pillow({"annex-k"}));
    const std::vector<std::vector<int>> annexK = rowsOf(tables);
    ASSERT_EQ(annexK.size(), 2u);
    ASSERT_EQ(annexK[0].size(), 64u);
    TempDir dir;
    const Picture picture = photoPicture(24, 16);
    struct Case {
        int options;
        bool flag420;
        int sampling; // Pillow: 0 = 4:4:4, 2 = 4:2:0
    };
    for (Case c : {Case{0, false, 0}, {1, false, 0}, {2, false, 0}, {3, false, 0}, {5, false, 2}, {1, true, 2},
                   {7, false, 2}}) {
        fs::path file = dir / ("o" + std::to_string(c.options) + (c.flag420 ? "s" : "") + ".jpg");
        writeFileBytes(file, encodePicture(picture, {.options = c.options, .subsample420 = c.flag420}));
        Inspection info = inspect(file);
        EXPECT_EQ(info.mode, "RGB");
        EXPECT_EQ(info.sampling, c.sampling) << c.options;
        ASSERT_EQ(info.quant.size(), 2u) << c.options;
        for (int t = 0; t < 2; ++t)
            for (int k = 0; k < 64; ++k) {
                int v = annexK[size_t(t)][size_t(k)];
                int expected = (c.options & 3) == 0 ? v / 4 : (c.options & 3) == 1 ? v / 2 : (c.options & 3) == 2 ? v : 2 * v;
                ASSERT_EQ(info.quant[size_t(t)][size_t(k)], expected & 0xFF)
                    << "options " << c.options << " table " << t << " entry " << k;
            }
    }
}

TEST(JpegEncode, HeadersAndHuffmanTables)
{
    const Picture picture = photoPicture(20, 12);
    std::vector<uint8_t> ours = encodePicture(picture, {.options = 1});
    std::vector<Segment> s = segments(ours);
    std::vector<uint8_t> order;
    for (const Segment& seg : s)
        order.push_back(seg.marker);
    EXPECT_EQ(order, (std::vector<uint8_t>{0xD8, 0xE0, 0xDB, 0xC4 - 4, 0xC4, 0xDA, 0xD9}));
    const std::vector<uint8_t> jfif{'J', 'F', 'I', 'F', 0, 1, 1, 0, 0, 1, 0, 1, 0, 0};
    EXPECT_EQ(s[1].body, jfif);
    const std::vector<uint8_t> sof{8, 0, 12, 0, 20, 3, 1, 0x11, 0, 2, 0x11, 1, 3, 0x11, 1};
    EXPECT_EQ(s[3].body, sof);
    const std::vector<uint8_t> sos{3, 1, 0x00, 2, 0x11, 3, 0x11, 0, 63, 0};
    EXPECT_EQ(s[5].body, sos);
    // libjpeg writes the Annex K Huffman tables unless told to optimize them.
    LibjpegParams standard;
    EXPECT_EQ(huffmanTables(ours), huffmanTables(libjpegEncode(picture, standard)));

    std::vector<Segment> a = segments(encodePicture(picture, {.options = 1, .jfifHeader = false}));
    ASSERT_EQ(a[1].marker, 0xE0);
    EXPECT_EQ(std::string(a[1].body.begin(), a[1].body.begin() + 4), "AVI1");
}

// Our files decoded by Pillow keep their quality, and our reader agrees with Pillow's on
// them. At 4:4:4 with options 1, libjpeg given the same tables does no better than a
// trace in quality or size.
TEST(JpegEncode, PicturesKeepTheirQualityInPillow)
{
    TempDir dir;
    struct Case {
        std::string name;
        Picture picture;
        jpeg::EncodeOptions opt;
        double minPsnr;
        bool againstLibjpeg = false;
    };
    std::vector<Case> cases = {
        {"photo", photoPicture(160, 120, 2), {.options = 1}, 40.0, true},
        {"screen", screenPicture(160, 120), {.options = 1}, 40.0, true},
        {"photo420", photoPicture(75, 61, 2), {.options = 1, .subsample420 = true}, 36.0},
        {"one", photoPicture(1, 1), {.options = 2}, 30.0},
        {"one420", photoPicture(1, 1), {.options = 6}, 30.0},
        {"odd", photoPicture(17, 9, 3), {.options = 0}, 40.0},
        {"odd420", photoPicture(17, 9, 3), {.options = 4}, 30.0},
        {"column", photoPicture(1, 33, 3), {.options = 1}, 35.0},
        {"row420", photoPicture(33, 1, 3), {.options = 5}, 30.0},
    };
    std::vector<fs::path> files;
    for (const Case& c : cases) {
        files.push_back(dir / (c.name + ".jpg"));
        writeFileBytes(files.back(), encodePicture(c.picture, c.opt));
    }
    std::vector<Reference> refs = pillowDecode(files);
    ASSERT_EQ(refs.size(), cases.size());
    for (size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(cases[i].name);
        const Picture& src = cases[i].picture;
        const Picture& ref = refs[i].picture;
        ASSERT_EQ(std::make_tuple(ref.width, ref.height, ref.channels), std::make_tuple(src.width, src.height, src.channels));
        const double ours = psnr(src, jpeg::DecodedJpeg{ref.width, ref.height, ref.channels, ref.pixels});
        EXPECT_GE(ours, cases[i].minPsnr);
        jpeg::DecodedJpeg decoded;
        const std::vector<uint8_t> bytes = readFileBytes(files[i]);
        ASSERT_EQ(jpeg::decode(bytes, decoded), 0);
        EXPECT_LE(maxDifference(decoded, ref), 2);
        if (!cases[i].againstLibjpeg)
            continue;
        const fs::path ppm = dir / (cases[i].name + ".ppm");
        writePpm(ppm, src);
        std::istringstream theirs(pillow({"same-tables", ppm.string(), "1", (dir / "pil.jpg").string()}));
        size_t size = 0;
        double psnrTheirs = 0;
        theirs >> size >> psnrTheirs;
        EXPECT_GE(ours, psnrTheirs - 0.3);
        EXPECT_LE(double(bytes.size()), double(size) * 1.05);
    }
}

TEST(JpegEncode, RowLayoutAndInnerLoopsDoNotChangeTheFile)
{
    const Picture p = photoPicture(23, 19, 4);
    const std::vector<uint8_t> topDown = encodePicture(p, {.options = 1});
    const size_t row = size_t(p.width) * 3;
    // Bottom-up rows, walked with a negative stride from the last one.
    std::vector<uint8_t> flipped(p.pixels.size());
    for (int y = 0; y < p.height; ++y)
        std::copy_n(&p.pixels[size_t(y) * row], row, &flipped[size_t(p.height - 1 - y) * row]);
    std::vector<uint8_t> out;
    const uint8_t* lastRow = &flipped[size_t(p.height - 1) * row];
    ASSERT_EQ(jpeg::encode(lastRow, p.width, p.height, -ptrdiff_t(row), {.options = 1}, out), 0);
    EXPECT_EQ(out, topDown);
    // Rows padded to a longer stride.
    std::vector<uint8_t> padded(size_t(p.height) * (row + 5), 0xEE);
    for (int y = 0; y < p.height; ++y)
        std::copy_n(&p.pixels[size_t(y) * row], row, &padded[size_t(y) * (row + 5)]);
    ASSERT_EQ(jpeg::encode(padded.data(), p.width, p.height, ptrdiff_t(row + 5), {.options = 1}, out), 0);
    EXPECT_EQ(out, topDown);
    // Nor do the inner loops the processor has: each set writes what the portable one does.
    if (!jpeg::kernelsAvailable(jpeg::Kernels::Avx2))
        return;
    for (const Picture& q : {p, photoPicture(301, 203, 40), screenPicture(45, 37)})
        for (int options : {0, 4, 7})
            for (bool colour : {true, false}) {
                std::vector<uint8_t> portable;
                const ptrdiff_t stride = ptrdiff_t(q.width) * 3;
                ASSERT_EQ(jpeg::encodeWith(jpeg::Kernels::Portable, q.pixels.data(), q.width, q.height, stride, colour,
                                           {.options = options}, portable), 0);
                ASSERT_EQ(jpeg::encodeWith(jpeg::Kernels::Avx2, q.pixels.data(), q.width, q.height, stride, colour,
                                           {.options = options}, out), 0);
                EXPECT_EQ(out, portable) << q.width << " options " << options << " colour " << colour;
            }
}

TEST(JpegEncode, BadParametersGiveMinus6)
{
    const Picture p = photoPicture(8, 8);
    const uint8_t* px = p.pixels.data();
    const struct {
        const uint8_t* pixels;
        int w, h;
        ptrdiff_t stride;
        int options;
    } cases[] = {{nullptr, 8, 8, 24, 1},    {px, 0, 8, 24, 1},      {px, 8, -1, 24, 1}, {px, 65536, 1, 65536 * 3, 1},
                 {px, 8, 8, 23, 1},         {px + 7 * 24, 8, 8, -23, 1}, {px, 8, 8, 24, 8}, {px, 8, 8, 24, -1}};
    for (const auto& c : cases) {
        std::vector<uint8_t> out{1, 2, 3};
        EXPECT_EQ(jpeg::encode(c.pixels, c.w, c.h, c.stride, {.options = c.options}, out), -6)
            << c.w << " " << c.stride;
        EXPECT_TRUE(out.empty());
    }
}
