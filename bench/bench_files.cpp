// File transfer throughput over loopback against sorvane-sim: sending and receiving a
// 50 MB file of mixed text and random data, beside the bound the protocol allows
// (zlib level 1 over the same 32 KiB blocks, plus the 1 ms pause after each sent
// block). The ratio bound / ours is printed; 0.8 or more means the protocol's own
// cost (framing, CRC, link, file I/O) stays under 20%.

#include <benchmark/benchmark.h>
#include <zlib.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <vector>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "files/BlockCodec.h"
#include "files/FileTransfer.h"
#include "link/Handshake.h"
#include "link/LinkConfig.h"
#include "link/LinkTransport.h"
#include "link/SlotLinkChannel.h"
#include "platform/PosixTransports.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using namespace sorvane;
constexpr size_t kFileSize = 50u << 20;

std::vector<uint8_t> mixedData()
{
    std::mt19937 rng(7);
    std::vector<uint8_t> v;
    v.reserve(kFileSize);
    for (int part = 0; v.size() < kFileSize; ++part) {
        if (part % 2) {
            for (size_t i = 0; i < (1u << 20) && v.size() < kFileSize; ++i)
                v.push_back(uint8_t(rng()));
        } else {
            for (int line = 0; v.size() < kFileSize && line < 30000; ++line) {
                std::string s = "record " + std::to_string(rng() % 100000) + " of the data set, value " +
                                std::to_string(line) + "\n";
                v.insert(v.end(), s.begin(), s.end());
            }
        }
    }
    v.resize(kFileSize);
    return v;
}

// The simulator on a free loopback port serving `dir`, connected as a WAN link.
struct Sim {
    pid_t pid = -1;
    SystemClock clock;
    Links links{clock};
    PasswordTable passwords;
    LinkConfig config;
    PosixTransportFactory factory;
    int slot = -1;

    explicit Sim(const fs::path& dir)
    {
        int out[2];
        if (pipe(out) != 0)
            std::abort();
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        std::string program = SORVANE_SIM_PATH, d = dir.string();
        std::vector<char*> argv{program.data(), const_cast<char*>("--port"), const_cast<char*>("0"),
                                const_cast<char*>("--files"), d.data(), nullptr};
        if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0)
            std::abort();
        ::close(out[1]);
        FILE* f = fdopen(out[0], "r");
        char line[256];
        int port = 0;
        while (fgets(line, sizeof line, f) && std::string(line) != "ready\n")
            std::sscanf(line, "tcp 127.0.0.1 %d", &port);
        const LinkTarget target{4, 1, 0x7F000001};
        config.agentPort = uint16_t(port);
        slot = links.allocSlot();
        links.find(slot)->linkKind = 4;
        links.find(slot)->transport = OpenLinkTransport(links, config, target, factory);
        HandshakeEnv env{passwords, nullptr, nullptr, {}, {}};
        if (!ConnectLink(links, slot, env).passed()) {
            std::fprintf(stderr, "no connection to the simulator\n");
            std::abort();
        }
    }
    ~Sim()
    {
        CloseLinkTransport(links, slot);
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
    }
};

struct Quiet final : TransferProgress {
    void fileStarted(size_t, std::string_view, uint64_t, uint64_t) override {}
    void blockMoved(uint64_t, uint64_t) override {}
    bool cancelled() override { return false; }
};

struct Setup {
    fs::path dir = fs::temp_directory_path() / ("sorvane-bench-" + std::to_string(getpid()));
    std::vector<uint8_t> data = mixedData();
    Setup()
    {
        fs::create_directories(dir / "device");
        std::ofstream(dir / "mixed.bin", std::ios::binary)
            .write(reinterpret_cast<const char*>(data.data()), std::streamsize(data.size()));
    }
    ~Setup() { fs::remove_all(dir); }
};
Setup& setup()
{
    static Setup s;
    return s;
}

void BM_SendFile(benchmark::State& state)
{
    Sim sim(setup().dir / "device");
    SlotLinkChannel channel(sim.links, sim.slot);
    Quiet quiet;
    for (auto _ : state) {
        std::vector<TransferFile> files{{(setup().dir / "mixed.bin").string(), "\\mixed.bin", 0}};
        if (!SendFiles(channel, files, TransferOptions{true}, quiet).allDone())
            state.SkipWithError("send failed");
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kFileSize));
}

void BM_ReceiveFile(benchmark::State& state)
{
    fs::copy_file(setup().dir / "mixed.bin", setup().dir / "device" / "mixed.bin", fs::copy_options::overwrite_existing);
    Sim sim(setup().dir / "device");
    SlotLinkChannel channel(sim.links, sim.slot);
    Quiet quiet;
    for (auto _ : state) {
        std::vector<TransferFile> files{{(setup().dir / "back.bin").string(), "\\mixed.bin", kFileSize}};
        if (!ReceiveFiles(channel, files, TransferOptions{true}, quiet).allDone())
            state.SkipWithError("receive failed");
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kFileSize));
}

// zlib level 1 over the same blocks, as the sending side compresses them.
void BM_Zlib1Blocks(benchmark::State& state)
{
    const auto& data = setup().data;
    std::vector<uint8_t> out(compressBound(kTransferBlockSize));
    for (auto _ : state)
        for (size_t at = 0; at < data.size(); at += kTransferBlockSize) {
            uLongf n = uLongf(out.size());
            compress2(out.data(), &n, data.data() + at, uLong(std::min<size_t>(kTransferBlockSize, data.size() - at)), 1);
            benchmark::DoNotOptimize(out.data());
        }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kFileSize));
}

BENCHMARK(BM_Zlib1Blocks)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_SendFile)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_ReceiveFile)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

class BoundReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& r : runs)
            seconds_[r.benchmark_name().substr(0, r.benchmark_name().find('/'))] =
                r.GetAdjustedRealTime() / 1000.0; // milliseconds per iteration
    }
    void Finalize() override
    {
        ConsoleReporter::Finalize();
        const double zlib = seconds_["BM_Zlib1Blocks"];
        const double blocks = double(BlockCountOf(kFileSize));
        const double sendBound = zlib + blocks * 0.001, receiveBound = zlib;
        if (seconds_["BM_SendFile"] > 0)
            std::printf("send: %.2f s, bound %.2f s (zlib level 1 %.2f s + 1 ms x %.0f blocks): ratio %.2f\n",
                        seconds_["BM_SendFile"], sendBound, zlib, blocks, sendBound / seconds_["BM_SendFile"]);
        if (seconds_["BM_ReceiveFile"] > 0)
            std::printf("receive: %.2f s, bound %.2f s (zlib level 1): ratio %.2f\n", seconds_["BM_ReceiveFile"],
                        receiveBound, receiveBound / seconds_["BM_ReceiveFile"]);
    }

private:
    std::map<std::string, double> seconds_;
};

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    BoundReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
