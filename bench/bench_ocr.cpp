// One read of a 240 x 320 screen by the text reader: the simulated handheld's home
// screen at 16 bits, drawn by the simulator's own code at its fixed moment, as a
// WAITTEXT or CHECKTEXT reads it. Last line: the wall and CPU time of one read and
// whether the read found "Team meeting" (the selected row: light text on a dark band).

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "BenchLoopback.h"
#include "Colours.h"
#include "Handheld.h"
#include "PictureGenerator.h"
#include "ocr/TextReader.h"

namespace {

using namespace sorvane;

RgbPicture homeScreen()
{
    const sim::DisplayFormat format; // 240 x 320 at 16 bits
    sim::Handheld handheld(format, 16, sim::inkSetFor(format, 16), false, "Sorvane Sim",
                           sim::makeTimeSource(sim::Moment{}));
    std::vector<uint16_t> pixels(size_t(format.width) * size_t(format.height));
    handheld.render(pixels);
    RgbPicture picture{format.width, format.height, {}};
    for (uint16_t v : pixels) {
        const sim::Rgb c = sim::rgbFrom565(v);
        picture.rgb.insert(picture.rgb.end(), {c.r, c.g, c.b});
    }
    return picture;
}

struct Fixture {
    RgbPicture screen = homeScreen();
    std::unique_ptr<TextReader> reader;
    std::string text, error;
    Fixture()
    {
        reader = MakeTextReader(error);
        if (!reader) {
            std::fprintf(stderr, "no text reader: %s\n", error.c_str());
            std::exit(1);
        }
    }
    void read()
    {
        if (!reader->read(screen, text, error)) {
            std::fprintf(stderr, "the read failed: %s\n", error.c_str());
            std::exit(1);
        }
    }
};

Fixture& fixture()
{
    static Fixture f;
    return f;
}

void ReadHomeScreen(benchmark::State& s)
{
    Fixture& f = fixture();
    for (auto _ : s)
        f.read();
}

BENCHMARK(ReadHomeScreen)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    Fixture& f = fixture();
    constexpr int kReads = 5;
    const auto wall = std::chrono::steady_clock::now();
    const double cpu = bench::threadCpuSeconds();
    for (int i = 0; i < kReads; ++i)
        f.read();
    const double cpuMs = (bench::threadCpuSeconds() - cpu) * 1000.0 / kReads;
    const double wallMs =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - wall).count() / kReads;
    std::printf("\nocr read 240x320 home screen: %.0f ms wall, %.0f ms CPU; \"Team meeting\" %s\n", wallMs, cpuMs,
                TextContains(f.text, "Team meeting") ? "found" : "NOT FOUND");
    return 0;
}
