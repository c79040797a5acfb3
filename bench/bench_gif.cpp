// GIF encoding of screen-like pictures: our LZW encoder and GIF writer (ConvertImage to
// image type 9 and the file bytes) beside giflib (EGifPutLine into memory), on the
// same 8-bit pictures in the same run. Prints the ratio of giflib's time to ours.

#include "imaging/ImageLibrary.h"

#include <benchmark/benchmark.h>
#include <gif_lib.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

using namespace sorvane;

namespace {

// A handheld screen: a title bar, rows of small glyphs on a light background, icons
// with some texture, a shaded button row and a photo-like patch.
ImageRecord screenPicture(int w, int h)
{
    ImageRecord img = makeRawImage(w, h, 8);
    ColourTable& t = *img.colourTable;
    for (int i = 0; i < 256; ++i) { // a 6x7x6 colour cube plus greys
        int r = i % 6, g = (i / 6) % 7, b = (i / 42) % 6;
        t[3 * i] = uint8_t(b * 51);
        t[3 * i + 1] = uint8_t(g * 42);
        t[3 * i + 2] = uint8_t(r * 51);
    }
    std::mt19937 rnd(7);
    std::span<uint8_t> d = img.data.writable();
    auto px = [&](int x, int y) -> uint8_t& { return d[size_t(y) * size_t(img.rowBytes) + size_t(x)]; };
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            px(x, y) = 215; // background
    for (int y = 0; y < 26 && y < h; ++y)
        for (int x = 0; x < w; ++x)
            px(x, y) = uint8_t(40 + (y / 4)); // title bar, banded
    // Glyph rows: 6 x 10 cells with random strokes.
    for (int row = 32; row + 10 < h * 2 / 3; row += 14)
        for (int cell = 4; cell + 6 < w - 4; cell += 7) {
            if (rnd() % 9 == 0)
                continue; // a space
            uint32_t bits = rnd();
            for (int gy = 0; gy < 9; ++gy)
                for (int gx = 0; gx < 5; ++gx)
                    if ((bits >> ((gy * 5 + gx) % 31)) & 1 && (gx == 0 || gy % 4 == 0 || gx == 4))
                        px(cell + gx, row + gy) = 0;
        }
    // Icons.
    for (int iy = h * 2 / 3; iy + 32 < h - 30; iy += 40)
        for (int ix = 8; ix + 32 < w; ix += 44) {
            uint8_t base = uint8_t(rnd() % 200);
            for (int y = 0; y < 32; ++y)
                for (int x = 0; x < 32; ++x)
                    px(ix + x, iy + y) = uint8_t(base + ((x / 4 + y / 4) % 3) + (rnd() % 16 == 0));
        }
    // Button row with a vertical gradient, and a noisy photo patch at the right.
    for (int y = std::max(0, h - 24); y < h; ++y)
        for (int x = 0; x < w; ++x)
            px(x, y) = uint8_t(216 + (y - (h - 24)) / 2);
    for (int y = h / 3; y < h / 3 + h / 6; ++y)
        for (int x = w - w / 4; x < w - 4; ++x)
            px(x, y) = uint8_t(rnd() % 216);
    return img;
}

struct Pictures {
    ImageRecord small = screenPicture(240, 320);
    ImageRecord large = screenPicture(640, 480);
    const ImageRecord& get(int which) const { return which ? large : small; }
};
const Pictures& pictures()
{
    static const Pictures p;
    return p;
}

void ourGif(benchmark::State& state)
{
    const ImageRecord& pic = pictures().get(int(state.range(0)));
    std::vector<uint8_t> file;
    for (auto _ : state) {
        ImageRecord gif;
        gif.imageType = kImageGifLzw;
        if (ConvertImage(pic, gif, 0) != kImageOk || encodeImageFile(gif, kFileGif, file) != kImageOk)
            state.SkipWithError("encoding failed");
        benchmark::DoNotOptimize(file.data());
    }
    state.counters["bytes"] = double(file.size());
    state.SetItemsProcessed(state.iterations() * pic.width * pic.height);
}

int writeToVector(GifFileType* gif, const GifByteType* data, int n)
{
    auto* out = static_cast<std::vector<uint8_t>*>(gif->UserData);
    out->insert(out->end(), data, data + n);
    return n;
}

void giflibGif(benchmark::State& state)
{
    const ImageRecord& pic = pictures().get(int(state.range(0)));
    std::vector<GifColorType> colours(256);
    for (int i = 0; i < 256; ++i)
        colours[size_t(i)] = {(*pic.colourTable)[3 * i + 2], (*pic.colourTable)[3 * i + 1], (*pic.colourTable)[3 * i]};
    std::vector<uint8_t> file;
    std::vector<GifPixelType> line(size_t(pic.width));
    for (auto _ : state) {
        file.clear();
        int err = 0;
        GifFileType* gif = EGifOpen(&file, writeToVector, &err);
        ColorMapObject* map = GifMakeMapObject(256, colours.data());
        bool ok = gif && map && EGifPutScreenDesc(gif, pic.width, pic.height, 8, 0, map) == GIF_OK &&
                  EGifPutImageDesc(gif, 0, 0, pic.width, pic.height, false, nullptr) == GIF_OK;
        for (int y = 0; ok && y < pic.height; ++y) {
            std::memcpy(line.data(), rowOf(pic, y), line.size());
            ok = EGifPutLine(gif, line.data(), pic.width) == GIF_OK;
        }
        if (gif)
            EGifCloseFile(gif, &err);
        GifFreeMapObject(map);
        if (!ok)
            state.SkipWithError("giflib failed");
        benchmark::DoNotOptimize(file.data());
    }
    state.counters["bytes"] = double(file.size());
    state.SetItemsProcessed(state.iterations() * pic.width * pic.height);
}

BENCHMARK(ourGif)->Arg(0)->Arg(1)->ArgName("640x480");
BENCHMARK(giflibGif)->Arg(0)->Arg(1)->ArgName("640x480");

// Keeps each run's time per iteration so that the ratios can be printed at the end.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& r : runs)
            if (r.run_type == Run::RT_Iteration && !r.error_occurred)
                times[r.benchmark_name()] = r.GetAdjustedCPUTime();
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> times;
};

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::printf("\n%-10s %12s %12s %8s\n", "picture", "ours ns", "giflib ns", "ratio");
    const char* labels[2] = {"240x320", "640x480"};
    for (int i = 0; i < 2; ++i) {
        std::string suffix = std::string("/640x480:") + std::to_string(i);
        auto ours = reporter.times.find("ourGif" + suffix), peer = reporter.times.find("giflibGif" + suffix);
        if (ours == reporter.times.end() || peer == reporter.times.end())
            continue;
        std::printf("%-10s %12.1f %12.1f %7.2fx\n", labels[i], ours->second, peer->second, peer->second / ours->second);
    }
    benchmark::Shutdown();
    return 0;
}
