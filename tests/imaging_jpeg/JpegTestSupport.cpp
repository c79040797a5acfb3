#include "JpegTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <sstream>

#include <jpeglib.h>

namespace sorvane::test {

namespace {

uint32_t lcg(uint32_t& s)
{
    s = s * 1103515245u + 12345u;
    return (s >> 16) & 0x7FFF;
}

uint8_t clampByte(int v) { return uint8_t(std::clamp(v, 0, 255)); }

} // namespace

Picture photoPicture(int width, int height, int noise, uint32_t seed)
{
    Picture p{width, height, 3, std::vector<uint8_t>(size_t(width) * size_t(height) * 3)};
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint8_t* px = &p.pixels[(size_t(y) * size_t(width) + size_t(x)) * 3];
            int n = noise ? int(lcg(seed) % uint32_t(2 * noise + 1)) - noise : 0;
            double fx = double(x) / width, fy = double(y) / height;
            px[0] = clampByte(int(60 + 120 * fx * fy + 40 * std::sin(fx * 5)) + n);
            px[1] = clampByte(int(30 + 180 * fy + 20 * std::cos(fy * 7 + fx)) + n);
            px[2] = clampByte(int(200 - 150 * fx + 30 * std::sin((fx + fy) * 4)) + n);
        }
    return p;
}

Picture screenPicture(int width, int height)
{
    Picture p{width, height, 3, std::vector<uint8_t>(size_t(width) * size_t(height) * 3)};
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint8_t* px = &p.pixels[(size_t(y) * size_t(width) + size_t(x)) * 3];
            uint8_t b = 240, g = 240, r = 240; // window background
            if (y < 16) {
                b = 140, g = 70, r = 20; // title bar
            } else if (y >= height - 14) {
                b = g = r = 200; // menu bar
            } else if (x >= 8 && x < width - 8 && y >= 24 && y < height - 20) {
                b = g = r = 255; // list with a separator line, an icon and a label per entry
                if (y % 32 == 0)
                    b = g = r = 200;
                if (y % 32 >= 9 && y % 32 < 14 && x % 64 >= 24 && x % 64 < 44 && x % 5 == 0)
                    b = g = r = 30;
                if (y % 32 >= 6 && y % 32 < 22 && x % 64 >= 4 && x % 64 < 20)
                    b = 230, g = 200, r = 170;
            }
            px[0] = b;
            px[1] = g;
            px[2] = r;
        }
    return p;
}

Picture greyOf(const Picture& p)
{
    Picture g{p.width, p.height, 1, std::vector<uint8_t>(size_t(p.width) * size_t(p.height))};
    for (size_t i = 0; i < g.pixels.size(); ++i) {
        const uint8_t* px = &p.pixels[i * 3];
        g.pixels[i] = uint8_t((px[0] * 29 + px[1] * 150 + px[2] * 77 + 128) >> 8);
    }
    return g;
}

void writePpm(const std::filesystem::path& path, const Picture& p)
{
    const std::string head = "P6\n" + std::to_string(p.width) + " " + std::to_string(p.height) + "\n255\n";
    std::vector<uint8_t> bytes(head.begin(), head.end());
    for (size_t i = 0; i + 2 < p.pixels.size(); i += 3)
        bytes.insert(bytes.end(), {p.pixels[i + 2], p.pixels[i + 1], p.pixels[i]});
    writeFileBytes(path, bytes);
}

std::string pillow(const std::vector<std::string>& args) { return runScript(JPEG_ORACLE_SCRIPT, args); }

std::vector<Reference> pillowDecode(const std::vector<std::filesystem::path>& files)
{
    std::vector<std::string> args{"decode"};
    for (const auto& f : files)
        args.push_back(f.string());
    std::istringstream out(pillow(args));
    std::vector<Reference> refs;
    std::string file, mode;
    int w = 0, h = 0;
    while (out >> file >> w >> h >> mode) {
        Reference r{file, Picture{w, h, mode == "L" ? 1 : 3, readFileBytes(file + ".raw")}};
        if (r.picture.channels == 3)
            for (size_t i = 0; i + 2 < r.picture.pixels.size(); i += 3)
                std::swap(r.picture.pixels[i], r.picture.pixels[i + 2]);
        refs.push_back(std::move(r));
    }
    EXPECT_EQ(refs.size(), files.size()) << "Pillow did not decode every file";
    return refs;
}

int maxDifference(const jpeg::DecodedJpeg& ours, const Picture& reference)
{
    if (ours.width != reference.width || ours.height != reference.height ||
        ours.components != reference.channels || ours.pixels.size() != reference.pixels.size())
        return 1000;
    int worst = 0;
    for (size_t i = 0; i < ours.pixels.size(); ++i)
        worst = std::max(worst, std::abs(int(ours.pixels[i]) - int(reference.pixels[i])));
    return worst;
}

double psnr(const Picture& a, const jpeg::DecodedJpeg& b)
{
    if (a.pixels.size() != b.pixels.size() || a.pixels.empty())
        return 0;
    double sum = 0;
    for (size_t i = 0; i < a.pixels.size(); ++i) {
        double d = double(a.pixels[i]) - double(b.pixels[i]);
        sum += d * d;
    }
    double mse = sum / double(a.pixels.size());
    return mse == 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 / mse);
}

namespace {

struct ErrorManager {
    jpeg_error_mgr mgr;
    std::jmp_buf jump;
};

void onLibjpegError(j_common_ptr info)
{
    std::longjmp(reinterpret_cast<ErrorManager*>(info->err)->jump, 1);
}

} // namespace

std::vector<uint8_t> libjpegEncode(const Picture& p, const LibjpegParams& params)
{
    jpeg_compress_struct c{};
    ErrorManager err{};
    c.err = jpeg_std_error(&err.mgr);
    err.mgr.error_exit = onLibjpegError;
    unsigned char* buf = nullptr;
    unsigned long size = 0;
    if (setjmp(err.jump)) {
        jpeg_destroy_compress(&c);
        std::free(buf);
        return {};
    }
    jpeg_create_compress(&c);
    jpeg_mem_dest(&c, &buf, &size);
    c.image_width = JDIMENSION(p.width);
    c.image_height = JDIMENSION(p.height);
    c.input_components = p.channels;
    c.in_color_space = p.channels == 4 ? JCS_CMYK : p.channels == 3 ? JCS_EXT_BGR : JCS_GRAYSCALE;
    jpeg_set_defaults(&c);
    if (params.rgb)
        jpeg_set_colorspace(&c, JCS_RGB);
    jpeg_set_quality(&c, params.quality, TRUE);
    if (p.channels >= 3) {
        c.comp_info[0].h_samp_factor = params.lumaH;
        c.comp_info[0].v_samp_factor = params.lumaV;
    }
    if (params.progressive)
        jpeg_simple_progression(&c);
    c.restart_interval = params.restartInterval;
    c.restart_in_rows = params.restartRows;
    c.arith_code = params.arithmetic ? TRUE : FALSE;
    jpeg_start_compress(&c, TRUE);
    while (c.next_scanline < c.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(&p.pixels[size_t(c.next_scanline) * size_t(p.width) * size_t(p.channels)]);
        jpeg_write_scanlines(&c, &row, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    std::vector<uint8_t> out(buf, buf + size);
    std::free(buf);
    return out;
}

} // namespace sorvane::test
