// JPEG writing and reading beside libjpeg-turbo on the same pictures.
//
// Pictures: deterministic 240x320 and 640x480 "photo" (smooth gradients with mild
// noise) and "screen" (flat panels, thin lines and text-like strokes) images.
// Writing: options 1 (Annex K tables halved), 4:4:4 and 4:2:0, and libjpeg given
// exactly the same quantization tables and sampling, its standard (Annex K) Huffman
// tables, its default transform, BGR input; its compressor is set up once and
// reused, writing into a buffer it keeps, so only the compression itself is timed.
// Reading: the same libjpeg-written file (4:4:4 and 4:2:0), to BGR pixels.
// After the runs a table prints Mpixel/s of both and the ratio ours / libjpeg, then
// one line per writing goal (ours at least as fast as libjpeg). On a shared machine
// run e.g. --benchmark_repetitions=5 --benchmark_enable_random_interleaving=true.

#include "imaging/JpegDecoder.h"
#include "imaging/JpegEncoder.h"
#include "imaging/JpegTables.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <jpeglib.h>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using namespace sorvane;

struct Picture {
    std::string name;
    int width, height;
    std::vector<uint8_t> bgr;
};

uint32_t nextRandom(uint32_t& s)
{
    s = s * 1664525u + 1013904223u;
    return s >> 24;
}

Picture photo(int w, int h)
{
    Picture p{"photo" + std::to_string(w) + "x" + std::to_string(h), w, h, std::vector<uint8_t>(size_t(w) * h * 3)};
    uint32_t seed = 12345;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            int n = int(nextRandom(seed) % 5) - 2;
            uint8_t* px = &p.bgr[(size_t(y) * w + x) * 3];
            px[0] = uint8_t(std::clamp(40 + (x * 160) / w + n, 0, 255));
            px[1] = uint8_t(std::clamp(200 - (y * 150) / h + n, 0, 255));
            px[2] = uint8_t(std::clamp(((x + y) * 255) / (w + h) + n, 0, 255));
        }
    return p;
}

Picture screen(int w, int h)
{
    Picture p{"screen" + std::to_string(w) + "x" + std::to_string(h), w, h, std::vector<uint8_t>(size_t(w) * h * 3)};
    uint32_t seed = 777;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t* px = &p.bgr[(size_t(y) * w + x) * 3];
            bool title = y < 24;
            bool panel = (y / 40) % 2 == 1 && x > 10 && x < w - 10;
            uint8_t b = title ? 160 : panel ? 230 : 255, g = title ? 60 : panel ? 230 : 255,
                    r = title ? 10 : panel ? 220 : 255;
            // text-like strokes: short dark runs in every other 12-pixel line band
            if (!title && (y % 12) >= 3 && (y % 12) <= 9 && (x % 7) < 2 && ((x / 7 + y / 12) % 3) != 0) {
                b = g = r = 20;
            }
            if (x == 10 || x == w - 10)
                b = g = r = 90;
            (void)seed;
            px[0] = b;
            px[1] = g;
            px[2] = r;
        }
    return p;
}

const std::vector<Picture>& pictures()
{
    static const std::vector<Picture> all = {photo(240, 320), screen(240, 320), photo(640, 480), screen(640, 480)};
    return all;
}

// libjpeg-turbo set up with our tables (options 1) and the given sampling.
void configure(jpeg_compress_struct& c, const Picture& p, bool h2v2)
{
    c.image_width = JDIMENSION(p.width);
    c.image_height = JDIMENSION(p.height);
    c.input_components = 3;
    c.in_color_space = JCS_EXT_BGR;
    jpeg_set_defaults(&c);
    auto qy = jpeg::scaledQuantTable(jpeg::kAnnexKLuminanceQuant, 1);
    auto qc = jpeg::scaledQuantTable(jpeg::kAnnexKChrominanceQuant, 1);
    unsigned int ty[64], tc[64];
    for (int i = 0; i < 64; ++i) {
        ty[i] = qy[size_t(i)];
        tc[i] = qc[size_t(i)];
    }
    jpeg_add_quant_table(&c, 0, ty, 100, TRUE);
    jpeg_add_quant_table(&c, 1, tc, 100, TRUE);
    c.comp_info[0].h_samp_factor = c.comp_info[0].v_samp_factor = h2v2 ? 2 : 1;
}

// One compressor kept over many pictures; the file lands in a buffer it reuses.
class LibjpegWriter {
public:
    LibjpegWriter(const Picture& p, bool h2v2) : p_(p), rows_(size_t(p.height))
    {
        c_.err = jpeg_std_error(&err_);
        jpeg_create_compress(&c_);
        configure(c_, p, h2v2);
        for (size_t y = 0; y < rows_.size(); ++y)
            rows_[y] = const_cast<JSAMPROW>(&p.bgr[y * size_t(p.width) * 3]);
        capacity_ = size_t(p.width) * size_t(p.height) * 3 + 4096;
        buf_ = static_cast<unsigned char*>(malloc(capacity_));
    }
    ~LibjpegWriter()
    {
        jpeg_destroy_compress(&c_);
        free(buf_);
    }
    // The size of the file written.
    size_t write()
    {
        unsigned long size = capacity_;
        jpeg_mem_dest(&c_, &buf_, &size); // big enough: libjpeg keeps writing into buf_
        jpeg_start_compress(&c_, TRUE);
        while (c_.next_scanline < c_.image_height)
            jpeg_write_scanlines(&c_, &rows_[c_.next_scanline], c_.image_height - c_.next_scanline);
        jpeg_finish_compress(&c_);
        return size;
    }
    const unsigned char* data() const { return buf_; }

private:
    const Picture& p_;
    jpeg_compress_struct c_;
    jpeg_error_mgr err_;
    std::vector<JSAMPROW> rows_;
    unsigned char* buf_ = nullptr;
    size_t capacity_ = 0;
};

std::vector<uint8_t> libjpegEncode(const Picture& p, bool h2v2)
{
    LibjpegWriter writer(p, h2v2);
    size_t size = writer.write();
    return std::vector<uint8_t>(writer.data(), writer.data() + size);
}

void libjpegDecode(const std::vector<uint8_t>& file, std::vector<uint8_t>& pixels)
{
    jpeg_decompress_struct d;
    jpeg_error_mgr err;
    d.err = jpeg_std_error(&err);
    jpeg_create_decompress(&d);
    jpeg_mem_src(&d, file.data(), (unsigned long)file.size());
    jpeg_read_header(&d, TRUE);
    d.out_color_space = JCS_EXT_BGR;
    jpeg_start_decompress(&d);
    pixels.resize(size_t(d.output_width) * d.output_height * 3);
    while (d.output_scanline < d.output_height) {
        JSAMPROW row = &pixels[size_t(d.output_scanline) * d.output_width * 3];
        jpeg_read_scanlines(&d, &row, 1);
    }
    jpeg_finish_decompress(&d);
    jpeg_destroy_decompress(&d);
}

void setPixels(benchmark::State& state, const Picture& p)
{
    state.counters["Mpix/s"] =
        benchmark::Counter(double(p.width) * p.height * double(state.iterations()) / 1e6, benchmark::Counter::kIsRate);
}

void encodeOurs(benchmark::State& state, const Picture* p, bool h2v2)
{
    std::vector<uint8_t> out;
    jpeg::EncodeOptions opt;
    opt.options = 1;
    opt.subsample420 = h2v2;
    for (auto _ : state) {
        if (jpeg::encode(p->bgr.data(), p->width, p->height, ptrdiff_t(p->width) * 3, opt, out) != 0)
            throw std::runtime_error("encode failed");
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["bytes"] = double(out.size());
    setPixels(state, *p);
}

void encodeLibjpeg(benchmark::State& state, const Picture* p, bool h2v2)
{
    LibjpegWriter writer(*p, h2v2);
    size_t size = 0;
    for (auto _ : state) {
        size = writer.write();
        benchmark::DoNotOptimize(writer.data());
    }
    state.counters["bytes"] = double(size);
    setPixels(state, *p);
}

void decodeOurs(benchmark::State& state, const Picture* p, bool h2v2)
{
    std::vector<uint8_t> file = libjpegEncode(*p, h2v2);
    jpeg::DecodedJpeg img;
    for (auto _ : state) {
        if (jpeg::decode(file, img) != 0)
            throw std::runtime_error("decode failed");
        benchmark::DoNotOptimize(img.pixels.data());
    }
    setPixels(state, *p);
}

void decodeLibjpeg(benchmark::State& state, const Picture* p, bool h2v2)
{
    std::vector<uint8_t> file = libjpegEncode(*p, h2v2);
    std::vector<uint8_t> pixels;
    for (auto _ : state) {
        libjpegDecode(file, pixels);
        benchmark::DoNotOptimize(pixels.data());
    }
    setPixels(state, *p);
}

// Keeps each run's CPU time per iteration (the machine may be shared), to print the ratios at the end.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        // With repetitions (best interleaved: --benchmark_enable_random_interleaving)
        // the fastest run counts: others were slowed by whatever else ran.
        for (const Run& r : runs)
            if (r.run_type == Run::RT_Iteration && r.iterations > 0) {
                auto [it, added] = times.emplace(r.benchmark_name(), r.GetAdjustedCPUTime());
                if (!added)
                    it->second = std::min(it->second, r.GetAdjustedCPUTime());
            }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> times;
};

} // namespace

int main(int argc, char** argv)
{
    const char* kinds[] = {"encode444", "encode420", "decode444", "decode420"};
    for (const Picture& p : pictures())
        for (bool h2v2 : {false, true}) {
            std::string e = h2v2 ? "encode420" : "encode444";
            benchmark::RegisterBenchmark((e + "/ours/" + p.name).c_str(), encodeOurs, &p, h2v2);
            benchmark::RegisterBenchmark((e + "/libjpeg/" + p.name).c_str(), encodeLibjpeg, &p, h2v2);
        }
    for (const Picture& p : pictures())
        for (bool h2v2 : {false, true}) {
            std::string k = h2v2 ? "decode420" : "decode444";
            benchmark::RegisterBenchmark((k + "/ours/" + p.name).c_str(), decodeOurs, &p, h2v2);
            benchmark::RegisterBenchmark((k + "/libjpeg/" + p.name).c_str(), decodeLibjpeg, &p, h2v2);
        }
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);

    // ratio = ours / libjpeg in pixels per CPU second; the goals are the writer's.
    std::vector<std::pair<std::string, double>> goals;
    std::printf("\n%-10s %-16s %12s %12s %8s\n", "what", "picture", "ours Mpix/s", "libjpeg", "ratio");
    for (const char* k : kinds)
        for (const Picture& p : pictures()) {
            auto a = reporter.times.find(std::string(k) + "/ours/" + p.name);
            auto b = reporter.times.find(std::string(k) + "/libjpeg/" + p.name);
            if (a == reporter.times.end() || b == reporter.times.end())
                continue;
            double px = double(p.width) * p.height;
            // times are in the reporter's unit (ns by default)
            double ours = px / a->second * 1e3, lib = px / b->second * 1e3;
            std::printf("%-10s %-16s %12.1f %12.1f %8.2f\n", k, p.name.c_str(), ours, lib, ours / lib);
            if (std::string(k).starts_with("encode"))
                goals.emplace_back(std::string(k) + " " + p.name + " ours/libjpeg", ours / lib);
        }
    std::printf("\n");
    for (const auto& [name, ratio] : goals)
        std::printf("%s: %.2f / 1.00 = %.2f (%s)\n", name.c_str(), ratio, ratio, ratio >= 1.0 ? "goal met" : "MISSED");
    benchmark::Shutdown();
    return 0;
}
