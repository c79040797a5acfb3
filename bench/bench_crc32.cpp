// The link checksum beside zlib's crc32 on the sizes it meets: a 32 KiB file block and
// a 600 KiB screen update. Our value is the zip CRC-32 started at 0xFFFFFFFF and
// inverted, which the set-up checks before measuring.

#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <random>
#include <vector>

#include "link/Crc32.h"

namespace {

std::vector<uint8_t> makeData(size_t n)
{
    std::mt19937 random(42);
    std::vector<uint8_t> v(n);
    for (auto& b : v)
        b = uint8_t(random());
    return v;
}

void checkAgreement(const sorvane::CrcTable& table, const std::vector<uint8_t>& data)
{
    uint32_t ours = sorvane::Crc32(table, data);
    uint32_t zip = uint32_t(crc32(0xFFFFFFFFul, data.data(), uInt(data.size())));
    if (ours != uint32_t(~zip)) {
        std::fprintf(stderr, "checksum mismatch: ours %08x, zlib's gives %08x\n", ours, ~zip);
        std::abort();
    }
}

void BM_Crc32(benchmark::State& state)
{
    const sorvane::CrcTable table = sorvane::BuildCrcTable();
    auto data = makeData(size_t(state.range(0)));
    checkAgreement(table, data);
    for (auto _ : state)
        benchmark::DoNotOptimize(sorvane::Crc32(table, data));
    state.SetBytesProcessed(int64_t(state.iterations()) * state.range(0));
}

// The portable path alone (slicing by 16), for processors without carry-less multiply.
void BM_Crc32Tables(benchmark::State& state)
{
    const sorvane::CrcTable table = sorvane::BuildCrcTable();
    auto data = makeData(size_t(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(table.updateByTables(0, data));
    state.SetBytesProcessed(int64_t(state.iterations()) * state.range(0));
}

void BM_ZlibCrc32(benchmark::State& state)
{
    auto data = makeData(size_t(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(crc32(0xFFFFFFFFul, data.data(), uInt(data.size())));
    state.SetBytesProcessed(int64_t(state.iterations()) * state.range(0));
}

BENCHMARK(BM_Crc32)->Arg(32 * 1024)->Arg(600 * 1024);
BENCHMARK(BM_Crc32Tables)->Arg(32 * 1024)->Arg(600 * 1024);
BENCHMARK(BM_ZlibCrc32)->Arg(32 * 1024)->Arg(600 * 1024);

// Prints ours / zlib's throughput per size after the runs.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& r : runs) {
            double rate = r.counters.count("bytes_per_second") ? double(r.counters.at("bytes_per_second")) : 0;
            std::string name = r.benchmark_name();
            std::string size = name.substr(name.find('/') + 1);
            if (name.rfind("BM_Crc32/", 0) == 0)
                ours_[size] = rate;
            else if (name.rfind("BM_Crc32Tables/", 0) == 0)
                tables_[size] = rate;
            else
                zlib_[size] = rate;
        }
    }
    void Finalize() override
    {
        ConsoleReporter::Finalize();
        for (auto& [size, rate] : ours_)
            if (zlib_.count(size) && zlib_[size] > 0)
                std::printf("ratio ours/zlib at %s bytes: %.2f (tables alone: %.2f)\n", size.c_str(),
                            rate / zlib_[size], tables_[size] / zlib_[size]);
    }

private:
    std::map<std::string, double> ours_, tables_, zlib_;
};

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
