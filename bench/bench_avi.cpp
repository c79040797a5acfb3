// AVI recording: frames written per second (copy of the picture, 24-bit colours,
// encoding, file write) for 240x320 and 640x480 16-bit screens, full frames and
// Motion JPEG at quality 75. The target: recording never slows polling at 18 polls/s
// for 640x480, so one frame must take well under 1/18 s (55.6 ms) on the connection
// thread. Each run prints frames/s and budget@18/s, the share of a 1/18 s poll
// interval one frame takes (below 1: recording keeps up).

#include "capture/AviRecording.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>

namespace {

using namespace sorvane;

// A screen-like 16-bit picture: flat panels, lines and text-like strokes.
void fillScreen(ScreenState& st, int w, int h)
{
    st.facts.depth = 16;
    st.facts.width = w;
    st.facts.height = h;
    BuildViewBitmaps(st.bitmaps, st.facts, st.palette);
    uint32_t seed = 99;
    Picture& p = st.bitmaps.dib;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            seed = seed * 1664525u + 1013904223u;
            uint16_t v = (y / 40) % 2 ? 0xFFFF : 0x39E7;
            if ((y % 12) < 8 && (x % 7) < 4 && (seed >> 28) < 6)
                v = 0x0000;
            if (x % 60 == 0 || y % 80 == 0)
                v = 0x001F;
            p.row(y)[2 * x] = uint8_t(v);
            p.row(y)[2 * x + 1] = uint8_t(v >> 8);
        }
}

void BM_AviFrame(benchmark::State& state)
{
    const int w = int(state.range(0)), h = int(state.range(1));
    const AviCodec codec = state.range(2) ? AviCodec::Mjpeg : AviCodec::Uncompressed;
    ScreenState st;
    fillScreen(st, w, h);
    const auto path = std::filesystem::temp_directory_path() / "sorvane-bench.avi";
    AviWriter writer;
    AviFormat f{w, h, 18, codec, 0};
    writer.open(path, f);
    uint32_t position = 0;
    for (auto _ : state) {
        AviStatus s = WriteAviFrame(writer, st, position++, AviPointer{true, w / 2, h / 2, false},
                                    mjpegOptionsForQuality(75));
        if (s == AviStatus::Full) { // a new file, as a new recording would start
            state.PauseTiming();
            writer.open(path, f);
            position = 0;
            state.ResumeTiming();
        }
    }
    writer.close();
    std::filesystem::remove(path);
    state.counters["frames/s"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
    // 18 x seconds per frame: below 1 the recording keeps up with 18 polls/s.
    state.counters["budget@18/s"] = benchmark::Counter(double(state.iterations()) / 18.0,
                                                       benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

BENCHMARK(BM_AviFrame)
    ->Args({240, 320, 0})
    ->Args({240, 320, 1})
    ->Args({640, 480, 0})
    ->Args({640, 480, 1})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

} // namespace

BENCHMARK_MAIN();
