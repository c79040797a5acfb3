// LZW decoding throughput on screen-like pictures, ours beside the peers on the very
// same compressed bytes:
//   MSB-first: the picture's 16-bit pixels written as one TIFF strip by libtiff;
//              timed against libtiff's TIFFReadEncodedStrip (file memory-mapped).
//   LSB-first: the picture in 16 colours written as a GIF by giflib; ours decodes the
//              image's joined sub-blocks, giflib decodes the GIF from memory
//              (DGifOpen, DGifGetImageDesc, DGifGetLine).
// Pictures at 240x320 and 640x480: "flat" (a user-interface screen of flat colours),
// "mixed" (the same with gradients and a small noisy area), "photo pane" (a viewer:
// gradient background and bars, a photograph and a thumbnail over about 30% of the
// area) and "photo" (the whole screen one photograph: a smooth field with noise of up
// to 8 levels a channel, which LZW cannot shrink). Each picture's LZW ratio (compressed
// / raw) is printed before the runs.
// Throughput is output bytes per second of our decoder (2 bytes a pixel, or half a
// byte a pixel for 16 colours); the closing table gives peer time / our time, and the
// last lines each MSB-first picture's ratio against its goal of 3x libtiff.
// On a shared machine run it as
//   bench_lzw --benchmark_repetitions=5 --benchmark_enable_random_interleaving=true
#include <benchmark/benchmark.h>
#include <gif_lib.h>
#include <tiffio.h>

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "screen/LzwDecoder.h"

using namespace sorvane;

namespace {

using Bytes = std::vector<uint8_t>;

[[noreturn]] void fail(const std::string& what)
{
    std::fprintf(stderr, "bench_lzw: %s\n", what.c_str());
    std::exit(1);
}

// A deterministic handheld-style screen: colour codes are resolved by the caller
// (RGB 565 for 16 bits, palette indices for 16 colours).
template <class Pixel>
struct Canvas {
    int w, h;
    std::vector<Pixel> px;
    Canvas(int w_, int h_, Pixel bg) : w(w_), h(h_), px(size_t(w_) * h_, bg) {}
    void fill(int x0, int y0, int x1, int y1, Pixel c)
    {
        for (int y = std::max(0, y0); y < std::min(h, y1); ++y)
            for (int x = std::max(0, x0); x < std::min(w, x1); ++x)
                px[size_t(y) * w + x] = c;
    }
};

uint32_t lcg(uint32_t& s) { return s = s * 1664525u + 1013904223u; }

template <class Pixel, class Colour>
Canvas<Pixel> screen(int w, int h, bool gradients, Colour colour)
{
    // colour(k, x, y): k names a role; roles 100.. are gradient steps (0..255).
    Canvas<Pixel> c(w, h, colour(0, 0, 0));
    uint32_t seed = uint32_t(w * 31 + h + gradients);
    const int bar = h / 13;
    for (int x = 0; x < w; ++x) // title bar
        c.fill(x, 0, x + 1, bar, gradients ? colour(100 + x * 255 / w, x, 0) : colour(1, x, 0));
    c.fill(0, h - bar, w, h, colour(2, 0, 0)); // menu bar
    for (int i = 0; i < 5; ++i)                // menu entries
        c.fill(4 + i * w / 5, h - bar + 3, i * w / 5 + w / 7, h - 3, colour(3, 0, 0));
    // A window with a border and lines of text.
    const int wx0 = w / 16, wy0 = bar + h / 20, wx1 = w - w / 16, wy1 = h - bar - h / 6;
    c.fill(wx0, wy0, wx1, wy1, colour(4, 0, 0));
    c.fill(wx0 + 1, wy0 + 1, wx1 - 1, wy1 - 1, colour(5, 0, 0));
    for (int y = wy0 + 8; y + 9 < wy1 - 8; y += 13) {
        const int lineEnd = wx0 + 8 + int(lcg(seed) % unsigned(wx1 - wx0 - 16));
        for (int x = wx0 + 8; x + 6 < lineEnd; x += 7) {
            const uint32_t glyph = lcg(seed);
            if (glyph % 9 == 0)
                continue; // a space
            for (int gy = 0; gy < 9; ++gy)
                for (int gx = 0; gx < 5; ++gx)
                    if ((glyph >> ((gy * 5 + gx) % 31)) & 1)
                        c.px[size_t(y + gy) * w + x + gx] = colour(6, 0, 0);
        }
    }
    // A row of icons.
    for (int i = 0; i < w / 40; ++i) {
        const int x0 = 8 + i * 40, y0 = wy1 + 10;
        for (int y = 0; y < 24 && y0 + y < h - bar; ++y)
            for (int x = 0; x < 24; ++x)
                c.px[size_t(y0 + y) * w + x0 + x] = colour(7 + (i + (x / 6) * (y / 6)) % 6, x, y);
    }
    if (gradients) {
        // A panel with a vertical gradient and a photo-like area beside it.
        const int py0 = wy0 + (wy1 - wy0) / 2, py1 = wy1 - 4;
        for (int y = py0; y < py1; ++y)
            c.fill(wx0 + 4, y, w / 2, y + 1, colour(100 + (y - py0) * 255 / (py1 - py0), 0, y));
        for (int y = py0; y < py1; ++y)
            for (int x = w / 2 + 4; x < wx1 - 4; ++x) {
                const int v = (x * 3 + y * 2 + int(lcg(seed) % 24)) % 256;
                c.px[size_t(y) * w + x] = colour(100 + v, x, y);
            }
    }
    return c;
}

uint16_t rgb565(int r, int g, int b) { return uint16_t((r >> 3) << 11 | (g >> 2) << 5 | (b >> 3)); }

// ---- Photograph-like classes, drawn in 24-bit colour and reduced per depth.
struct Rgb {
    uint8_t r, g, b;
};

uint8_t clampLevel(int v) { return uint8_t(std::clamp(v, 0, 255)); }

// A smooth field (sky, hills, shading, some texture a few pixels across) with noise of up
// to 8 levels either way in every channel, as a camera's sensor leaves it; (fx, fy) place
// the pixel in the picture, 0..1.
Rgb photoPixel(double fx, double fy, uint32_t& seed)
{
    auto noise = [&] { return int(lcg(seed) >> 24) % 17 - 8; };
    const double texture = 20 * std::sin(fx * 173 + 9 * std::sin(fy * 31)) * std::sin(fy * 151 + fx * 40);
    const int r = int(118 + 72 * std::sin(fx * 5.1 + fy * 2.3) + texture);
    const int g = int(124 + 64 * std::sin(fy * 4.7 - fx * 1.9 + 1.0) + texture);
    const int b = int(132 + 56 * std::cos((fx + fy) * 3.3) + texture * 0.7);
    return {clampLevel(r + noise()), clampLevel(g + noise()), clampLevel(b + noise())};
}

// "photo": the whole screen is one photograph.
std::vector<Rgb> photoScreen(int w, int h)
{
    std::vector<Rgb> px(size_t(w) * h);
    uint32_t seed = uint32_t(w * 7 + h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            px[size_t(y) * w + x] = photoPixel(double(x) / w, double(y) / h, seed);
    return px;
}

// "photo pane": a viewer's screen. A vertical gradient behind everything, a title bar
// and a menu bar shaded from side to side, lines of text and gradient buttons, and a
// photograph with a thumbnail of another beside it covering about 30% of the area.
std::vector<Rgb> photoPaneScreen(int w, int h)
{
    std::vector<Rgb> px(size_t(w) * h);
    uint32_t seed = uint32_t(w * 13 + h);
    auto set = [&](int x, int y, Rgb c) { px[size_t(y) * w + x] = c; };
    for (int y = 0; y < h; ++y) { // the background, shaded from top to bottom
        const int t = y * 255 / h;
        for (int x = 0; x < w; ++x)
            set(x, y, {uint8_t(200 + t / 5), uint8_t(215 + t / 8), 255});
    }
    const int bar = h / 13;
    for (int y = 0; y < bar; ++y) // the title bar and the menu bar, shaded across
        for (int x = 0; x < w; ++x) {
            const int t = x * 255 / w;
            set(x, y, {uint8_t(t / 4), uint8_t(40 + t / 3), uint8_t(120 + t / 2)});
            set(x, h - 1 - y, {uint8_t(150 + t / 4 - y), uint8_t(150 + t / 4 - y), uint8_t(170 + t / 4 - y)});
        }
    // The photograph and its thumbnail.
    const int px0 = w / 20, py0 = bar + h / 30, pw = w * 6 / 10, ph = h * 4 / 10;
    for (int y = 0; y < ph; ++y)
        for (int x = 0; x < pw; ++x)
            set(px0 + x, py0 + y, photoPixel(double(x) / pw, double(y) / ph, seed));
    const int tx0 = px0 + pw + w / 20, tw = w - tx0 - w / 20, th = tw * 3 / 4;
    for (int y = 0; y < th; ++y)
        for (int x = 0; x < tw; ++x)
            set(tx0 + x, py0 + y, photoPixel(0.3 + double(x) / tw, 0.7 - double(y) / th, seed));
    // Lines of text under the photograph, then a row of gradient buttons.
    const int textTop = py0 + ph + h / 30, buttonsTop = h - bar - h / 10;
    for (int y = textTop; y + 9 < buttonsTop - 4; y += 13) {
        const int lineEnd = w / 20 + int(lcg(seed) % unsigned(w * 8 / 10));
        for (int x = w / 20; x + 6 < lineEnd; x += 7) {
            const uint32_t glyph = lcg(seed);
            if (glyph % 9 == 0)
                continue;
            for (int gy = 0; gy < 9; ++gy)
                for (int gx = 0; gx < 5; ++gx)
                    if ((glyph >> ((gy * 5 + gx) % 31)) & 1)
                        set(x + gx, y + gy, {20, 20, 40});
        }
    }
    for (int i = 0; i < 4; ++i)
        for (int y = buttonsTop; y < h - bar - 4; ++y)
            for (int x = w / 20 + i * w / 4; x < (i + 1) * w / 4 - 4; ++x) {
                const int t = (y - buttonsTop) * 80 / (h / 10);
                set(x, y, {uint8_t(230 - t), uint8_t(230 - t), uint8_t(240 - t / 2)});
            }
    return px;
}

Bytes to565(const std::vector<Rgb>& px)
{
    Bytes out(px.size() * 2);
    for (size_t i = 0; i < px.size(); ++i) { // little-endian, as the agent sends it
        const uint16_t v = rgb565(px[i].r, px[i].g, px[i].b);
        out[2 * i] = uint8_t(v);
        out[2 * i + 1] = uint8_t(v >> 8);
    }
    return out;
}

// 16 grey levels with ordered dithering.
Bytes toGrey16(const std::vector<Rgb>& px, int w)
{
    static const int bayer[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};
    Bytes out(px.size());
    for (size_t i = 0; i < px.size(); ++i) {
        const int x = int(i % size_t(w)), y = int(i / size_t(w));
        const int v = (px[i].r * 77 + px[i].g * 150 + px[i].b * 29) / 256 * 15;
        out[i] = uint8_t(std::min(15, v / 255 + ((v % 255) * 16 / 255 > bayer[y % 4][x % 4])));
    }
    return out;
}

Bytes picture16(int w, int h, bool gradients)
{
    static const uint16_t roles[] = {rgb565(0, 128, 128), rgb565(0, 0, 160),   rgb565(192, 192, 192),
                                     rgb565(230, 230, 230), rgb565(64, 64, 64), rgb565(255, 255, 255),
                                     rgb565(0, 0, 0),       rgb565(255, 0, 0),  rgb565(0, 160, 0),
                                     rgb565(255, 200, 0),   rgb565(0, 90, 255), rgb565(128, 0, 128),
                                     rgb565(0, 200, 200)};
    auto colour = [](int k, int, int) -> uint16_t {
        if (k >= 100)
            return rgb565(k - 100, (k - 100) / 2 + 64, 255 - (k - 100));
        return roles[k];
    };
    Canvas<uint16_t> c = screen<uint16_t>(w, h, gradients, colour);
    Bytes out(c.px.size() * 2);
    for (size_t i = 0; i < c.px.size(); ++i) { // little-endian, as the agent sends it
        out[2 * i] = uint8_t(c.px[i]);
        out[2 * i + 1] = uint8_t(c.px[i] >> 8);
    }
    return out;
}

Bytes picture4(int w, int h, bool gradients)
{
    static const uint8_t roles[] = {3, 1, 8, 7, 0, 15, 0, 12, 10, 14, 9, 5, 11};
    static const int bayer[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};
    auto colour = [](int k, int x, int y) -> uint8_t {
        if (k >= 100) { // grey ramp over 16 entries with ordered dithering
            const int v = (k - 100) * 15;
            return uint8_t(std::min(15, v / 255 + ((v % 255) * 16 / 255 > bayer[y % 4][x % 4])));
        }
        return roles[k];
    };
    return screen<uint8_t>(w, h, gradients, colour).px;
}

// ---- libtiff: write the 16-bit picture as one LZW strip of 8-bit samples.
struct TiffCase {
    std::string path;
    TIFF* tif = nullptr;
    Bytes strip; // the raw strip: our input
    size_t size = 0;
    ~TiffCase()
    {
        if (tif)
            TIFFClose(tif);
        if (!path.empty())
            unlink(path.c_str());
    }
};

std::unique_ptr<TiffCase> makeTiff(const Bytes& pixels, int rowBytes, int rows)
{
    auto tc = std::make_unique<TiffCase>();
    char name[] = "/tmp/bench_lzw_XXXXXX";
    int fd = mkstemp(name);
    if (fd < 0)
        fail("mkstemp");
    close(fd);
    tc->path = name;
    TIFF* out = TIFFOpen(name, "w");
    if (!out)
        fail("TIFFOpen for writing");
    TIFFSetField(out, TIFFTAG_IMAGEWIDTH, rowBytes);
    TIFFSetField(out, TIFFTAG_IMAGELENGTH, rows);
    TIFFSetField(out, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(out, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(out, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
    TIFFSetField(out, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(out, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
    TIFFSetField(out, TIFFTAG_ROWSPERSTRIP, rows);
    if (TIFFWriteEncodedStrip(out, 0, const_cast<uint8_t*>(pixels.data()), tmsize_t(pixels.size())) < 0)
        fail("TIFFWriteEncodedStrip");
    TIFFClose(out);
    tc->tif = TIFFOpen(name, "r"); // memory-mapped by default
    if (!tc->tif)
        fail("TIFFOpen for reading");
    tc->strip.resize(size_t(TIFFRawStripSize(tc->tif, 0)));
    if (TIFFReadRawStrip(tc->tif, 0, tc->strip.data(), tmsize_t(tc->strip.size())) < 0)
        fail("TIFFReadRawStrip");
    tc->size = pixels.size();
    return tc;
}

// ---- giflib: write the 16-colour picture to memory, read it back from memory.
struct MemReader {
    const Bytes* data;
    size_t pos = 0;
};

int gifWrite(GifFileType* gif, const GifByteType* bytes, int n)
{
    auto* out = static_cast<Bytes*>(gif->UserData);
    out->insert(out->end(), bytes, bytes + n);
    return n;
}

int gifRead(GifFileType* gif, GifByteType* bytes, int n)
{
    auto* in = static_cast<MemReader*>(gif->UserData);
    const size_t k = std::min(size_t(n), in->data->size() - in->pos);
    std::memcpy(bytes, in->data->data() + in->pos, k);
    in->pos += k;
    return int(k);
}

Bytes makeGif(const Bytes& indices, int w, int h)
{
    Bytes file;
    int error = 0;
    GifFileType* gif = EGifOpen(&file, gifWrite, &error);
    GifColorType colours[16];
    for (int i = 0; i < 16; ++i)
        colours[i] = {uint8_t(i * 16), uint8_t(i * 16), uint8_t(i * 16)};
    ColorMapObject* map = GifMakeMapObject(16, colours);
    if (!gif || EGifPutScreenDesc(gif, w, h, 4, 0, map) != GIF_OK
        || EGifPutImageDesc(gif, 0, 0, w, h, false, nullptr) != GIF_OK)
        fail("giflib: writing the header");
    Bytes row(size_t(w), 0);
    for (int y = 0; y < h; ++y) {
        std::memcpy(row.data(), indices.data() + size_t(y) * w, size_t(w));
        if (EGifPutLine(gif, row.data(), w) != GIF_OK)
            fail("giflib: writing a line");
    }
    EGifCloseFile(gif, &error);
    GifFreeMapObject(map);
    return file;
}

// The LZW payload of the (only) image: [0, min code size + 1, joined sub-blocks].
Bytes gifPayload(const Bytes& file)
{
    size_t pos = 13;
    if (file[10] & 0x80)
        pos += size_t(3) << ((file[10] & 7) + 1);
    if (file[pos] != 0x2C)
        fail("GIF: image descriptor expected");
    pos += 10;
    Bytes out{0, uint8_t(file[pos] + 1)};
    ++pos;
    while (file[pos]) {
        out.insert(out.end(), file.begin() + pos + 1, file.begin() + pos + 1 + file[pos]);
        pos += file[pos] + 1;
    }
    return out;
}

bool giflibDecode(const Bytes& file, Bytes& pixels)
{
    MemReader in{&file};
    int error = 0;
    GifFileType* gif = DGifOpen(&in, gifRead, &error);
    if (!gif)
        return false;
    GifRecordType type;
    bool ok = DGifGetRecordType(gif, &type) == GIF_OK && type == IMAGE_DESC_RECORD_TYPE
              && DGifGetImageDesc(gif) == GIF_OK
              && DGifGetLine(gif, pixels.data(), gif->Image.Width * gif->Image.Height) == GIF_OK;
    DGifCloseFile(gif, &error);
    return ok;
}

enum class Kind { Flat, Mixed, PhotoPane, Photo };

struct Shape {
    const char* name;
    int w, h;
    Kind kind;
};
const Shape kShapes[] = {{"flat_240x320", 240, 320, Kind::Flat},
                         {"mixed_240x320", 240, 320, Kind::Mixed},
                         {"photo_pane_240x320", 240, 320, Kind::PhotoPane},
                         {"photo_240x320", 240, 320, Kind::Photo},
                         {"flat_640x480", 640, 480, Kind::Flat},
                         {"mixed_640x480", 640, 480, Kind::Mixed},
                         {"photo_pane_640x480", 640, 480, Kind::PhotoPane},
                         {"photo_640x480", 640, 480, Kind::Photo}};

Bytes shapePicture16(const Shape& s)
{
    switch (s.kind) {
    case Kind::Flat: return picture16(s.w, s.h, false);
    case Kind::Mixed: return picture16(s.w, s.h, true);
    case Kind::PhotoPane: return to565(photoPaneScreen(s.w, s.h));
    case Kind::Photo: return to565(photoScreen(s.w, s.h));
    }
    return {};
}

Bytes shapePicture4(const Shape& s)
{
    switch (s.kind) {
    case Kind::Flat: return picture4(s.w, s.h, false);
    case Kind::Mixed: return picture4(s.w, s.h, true);
    case Kind::PhotoPane: return toGrey16(photoPaneScreen(s.w, s.h), s.w);
    case Kind::Photo: return toGrey16(photoScreen(s.w, s.h), s.w);
    }
    return {};
}

void registerAll()
{
    for (const Shape& s : kShapes) {
        // MSB-first against libtiff.
        auto pixels = std::make_shared<Bytes>(shapePicture16(s));
        std::shared_ptr<TiffCase> tc = makeTiff(*pixels, s.w * 2, s.h);
        {
            LzwDecoder d;
            Bytes out(pixels->size());
            if (!d.decode(LzwVariant::MsbFirst, tc->strip, out, out.size(), out.size(), 1).ok()
                || out != *pixels)
                fail(std::string("our MSB-first decoder disagrees on ") + s.name);
            if (TIFFReadEncodedStrip(tc->tif, 0, out.data(), tmsize_t(out.size())) != tmsize_t(out.size())
                || out != *pixels)
                fail(std::string("libtiff disagrees on ") + s.name);
        }
        const std::string msb = std::string("msb/") + s.name;
        benchmark::RegisterBenchmark((msb + "/sorvane").c_str(), [tc, s](benchmark::State& st) {
            LzwDecoder d;
            Bytes out(tc->size);
            for (auto _ : st) {
                // One update: the 16-bit frame's full-width rectangle, decoded in place.
                LzwResult r = d.decodeUpdate16(tc->strip, out, s.w, s.h, {0, 0, s.w - 1, s.h - 1});
                benchmark::DoNotOptimize(r);
                benchmark::ClobberMemory();
            }
            st.SetBytesProcessed(int64_t(st.iterations()) * int64_t(tc->size));
        });
        benchmark::RegisterBenchmark((msb + "/libtiff").c_str(), [tc](benchmark::State& st) {
            Bytes out(tc->size);
            for (auto _ : st) {
                tmsize_t n = TIFFReadEncodedStrip(tc->tif, 0, out.data(), tmsize_t(out.size()));
                benchmark::DoNotOptimize(n);
                benchmark::ClobberMemory();
            }
            st.SetBytesProcessed(int64_t(st.iterations()) * int64_t(tc->size));
        });

        // LSB-first against giflib.
        const Bytes indices = shapePicture4(s);
        auto file = std::make_shared<Bytes>(makeGif(indices, s.w, s.h));
        auto payload = std::make_shared<Bytes>(gifPayload(*file));
        const size_t frameBytes = size_t(s.w) * s.h / 2;
        {
            LzwDecoder d;
            Bytes out(frameBytes);
            if (!d.decodeUpdate4(*payload, out, s.w, s.h, {0, 0, s.w - 1, s.h - 1}).ok())
                fail(std::string("our LSB-first decoder fails on ") + s.name);
            for (size_t i = 0; i < indices.size(); ++i)
                if (((out[i / 2] >> (i % 2 ? 0 : 4)) & 0x0F) != indices[i])
                    fail(std::string("our LSB-first decoder disagrees on ") + s.name);
            Bytes px(indices.size());
            if (!giflibDecode(*file, px) || px != indices)
                fail(std::string("giflib disagrees on ") + s.name);
        }
        const std::string lsb = std::string("lsb/") + s.name;
        benchmark::RegisterBenchmark((lsb + "/sorvane").c_str(), [payload, s, frameBytes](benchmark::State& st) {
            LzwDecoder d;
            Bytes out(frameBytes);
            for (auto _ : st) {
                LzwResult r = d.decodeUpdate4(*payload, out, s.w, s.h, {0, 0, s.w - 1, s.h - 1});
                benchmark::DoNotOptimize(r);
                benchmark::ClobberMemory();
            }
            st.SetBytesProcessed(int64_t(st.iterations()) * int64_t(frameBytes));
        });
        benchmark::RegisterBenchmark((lsb + "/giflib").c_str(), [file, s, frameBytes](benchmark::State& st) {
            Bytes px(size_t(s.w) * s.h);
            for (auto _ : st) {
                bool ok = giflibDecode(*file, px);
                benchmark::DoNotOptimize(ok);
                benchmark::ClobberMemory();
            }
            st.SetBytesProcessed(int64_t(st.iterations()) * int64_t(frameBytes));
        });
        std::printf("%-19s 16-bit: %7zu -> %7zu bytes (LZW ratio %.2f)   16-colour: %6zu -> %6zu bytes "
                    "(%.2f)\n",
                    s.name, pixels->size(), tc->strip.size(), double(tc->strip.size()) / double(pixels->size()),
                    frameBytes, payload->size(), double(payload->size()) / double(frameBytes));
    }
}

// Collects each benchmark's CPU time per iteration so the ratios can be printed at the end.
// With --benchmark_repetitions a benchmark's best repetition counts: on a shared machine
// the others lost time to other work. --benchmark_enable_random_interleaving=true spreads
// ours and the peer's repetitions over the same stretch of time.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& r : runs)
            if (!r.error_occurred && r.run_type == Run::RT_Iteration) {
                const std::string name = r.benchmark_name();
                const double t = r.GetAdjustedCPUTime();
                auto it = times_.find(name);
                if (it == times_.end() || t < it->second)
                    times_[name] = t;
            }
        ConsoleReporter::ReportRuns(runs);
    }
    void printRatios() const
    {
        std::printf("\nCPU time per picture (the machine may be shared, so CPU time rather than wall time)\n");
        std::printf("%-27s %10s %10s %8s\n", "picture", "ours us", "peer us", "ratio");
        std::vector<std::string> goals;
        for (const char* variant : {"msb", "lsb"})
            for (const Shape& s : kShapes) {
                const bool msb = std::string(variant) == "msb";
                const std::string base = std::string(variant) + "/" + s.name;
                const std::string peer = base + (msb ? "/libtiff" : "/giflib");
                auto ours = times_.find(base + "/sorvane"), theirs = times_.find(peer);
                if (ours == times_.end() || theirs == times_.end())
                    continue;
                const double ratio = theirs->second / ours->second;
                std::printf("%-27s %10.1f %10.1f %7.2fx  (vs %s)\n", base.c_str(), ours->second / 1e3,
                            theirs->second / 1e3, ratio, msb ? "libtiff" : "giflib");
                if (msb) {
                    char line[160];
                    std::snprintf(line, sizeof line, "%s vs libtiff: %.2fx / %.1fx = %.2f (%s)", base.c_str(),
                                  ratio, kGoal, ratio / kGoal, ratio >= kGoal ? "goal met" : "MISSED");
                    goals.push_back(line);
                }
            }
        if (!goals.empty())
            std::printf("\nGoals: the MSB-first decoder at least %.1fx libtiff's on every picture\n", kGoal);
        for (const std::string& g : goals)
            std::printf("%s\n", g.c_str());
    }

private:
    static constexpr double kGoal = 3.0;
    std::map<std::string, double> times_;
};

} // namespace

int main(int argc, char** argv)
{
    TIFFSetWarningHandler(nullptr);
    registerAll();
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.printRatios();
    benchmark::Shutdown();
    return 0;
}
