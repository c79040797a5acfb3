#include "OracleSupport.h"

#include "platform/ByteOrder.h"
#include "support/SimProcess.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>

namespace sorvane::test {

std::string runScript(const char* script, const std::vector<std::string>& args)
{
    std::vector<std::string> argv{programFromEnv("SORVANE_PYTHON"), script};
    argv.insert(argv.end(), args.begin(), args.end());
    ProcessResult r = runProcess(argv, std::chrono::seconds(120));
    EXPECT_EQ(r.exitCode, 0) << script << " failed: " << r.out << r.err;
    return r.exitCode == 0 ? r.out : std::string();
}

std::string runOracle(const std::vector<std::string>& args) { return runScript(SORVANE_IMAGE_ORACLE, args); }

std::vector<uint8_t> readFileBytes(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeFileBytes(const std::filesystem::path& file, const std::vector<uint8_t>& bytes)
{
    std::ofstream out(file, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

RgbPicture readRgb(const std::filesystem::path& file)
{
    RgbPicture p;
    std::vector<uint8_t> bytes = readFileBytes(file.string() + ".rgb");
    if (bytes.size() < 8) {
        ADD_FAILURE() << "no Pillow pixels for " << file;
        return p;
    }
    p.width = int(loadLe32(bytes.data()));
    p.height = int(loadLe32(bytes.data() + 4));
    p.rgb.assign(bytes.begin() + 8, bytes.end());
    if (p.rgb.size() != size_t(p.width) * size_t(p.height) * 3)
        ADD_FAILURE() << "short Pillow pixels for " << file;
    return p;
}

std::string compareWithPillow(const ImageRecord& image, const RgbPicture& pillow, int greenBits)
{
    if (!isValidRawImage(image))
        return "not a valid raw image";
    if (image.width != pillow.width || image.height != pillow.height)
        return "size " + std::to_string(image.width) + "x" + std::to_string(image.height) + ", Pillow " +
               std::to_string(pillow.width) + "x" + std::to_string(pillow.height);
    auto reduce = [](int v, int bits) { return int(std::lround(v * ((1 << bits) - 1) / 255.0)); };
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x) {
            auto bgr = pixelColour(image, x, y);
            const uint8_t* p = &pillow.rgb[(size_t(y) * size_t(pillow.width) + size_t(x)) * 3];
            bool same;
            if (image.bitsPerPixel == 16) {
                const uint8_t* row = rowOf(image, y);
                unsigned v = unsigned(row[2 * x] | row[2 * x + 1] << 8);
                int r5 = int(v >> 11), g6 = int((v >> 5) & 63), b5 = int(v & 31);
                int g = greenBits == 6 ? g6 : g6 >> 1;
                same = reduce(p[0], 5) == r5 && reduce(p[1], greenBits) == g && reduce(p[2], 5) == b5;
            } else {
                same = p[0] == bgr[2] && p[1] == bgr[1] && p[2] == bgr[0];
            }
            if (!same) {
                std::ostringstream s;
                s << "pixel (" << x << ", " << y << "): ours rgb(" << int(bgr[2]) << "," << int(bgr[1]) << ","
                  << int(bgr[0]) << "), Pillow rgb(" << int(p[0]) << "," << int(p[1]) << "," << int(p[2]) << ")";
                return s.str();
            }
        }
    return {};
}

int readRaw(const std::filesystem::path& file, ImageRecord& raw)
{
    ImageFile f;
    int rc = OpenImageFile(file, f, 0);
    if (rc != kImageOk)
        return rc;
    ImageRecord read;
    rc = ReadImage(f, read, 0, 0);
    CloseImageFile(f);
    if (rc != kImageOk)
        return rc;
    raw = ImageRecord{};
    raw.imageType = kImageRaw;
    return ConvertImage(read, raw, 1);
}

ImageRecord bottomUpCopy(const ImageRecord& top)
{
    ImageRecord b = copyImage(top);
    std::span<uint8_t> d = b.data.writable();
    for (int y = 0; y < b.height; ++y)
        std::memcpy(&d[size_t(b.height - 1 - y) * size_t(b.rowBytes)], rowOf(top, y), size_t(b.rowBytes));
    b.rowOrder = kRowsBottomUp;
    return b;
}

ImageRecord testPicture(int width, int height, int bits, int colours, uint32_t seed)
{
    ImageRecord img = makeRawImage(width, height, bits);
    std::mt19937 rnd(seed);
    if (img.colourTable)
        for (auto& v : *img.colourTable)
            v = uint8_t(rnd());
    std::vector<uint32_t> pool;
    if (colours > 0)
        for (int i = 0; i < colours; ++i)
            pool.push_back(rnd() & 0xFFFFFF);
    std::span<uint8_t> d = img.data.writable();
    for (int y = 0; y < height; ++y) {
        uint8_t* row = &d[size_t(y) * size_t(img.rowBytes)];
        for (int x = 0; x < width; ++x) {
            uint32_t v = (x / 3 + y / 2) % 7 == 0 ? 0x123456u * uint32_t(y) : rnd();
            if (!pool.empty())
                v = pool[(uint32_t(x * 13 + y * 7) ^ (v & 3)) % pool.size()];
            switch (bits) {
            case 1: row[x >> 3] |= uint8_t((v & 1) << (7 - (x & 7))); break;
            case 4: row[x >> 1] |= uint8_t((v & 15) << ((x & 1) ? 0 : 4)); break;
            case 8: row[x] = uint8_t(v); break;
            case 16: row[2 * x] = uint8_t(v); row[2 * x + 1] = uint8_t(v >> 8); break;
            default: row[3 * x] = uint8_t(v); row[3 * x + 1] = uint8_t(v >> 8); row[3 * x + 2] = uint8_t(v >> 16);
            }
        }
    }
    return img;
}

} // namespace sorvane::test
