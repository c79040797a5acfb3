// Many live connections at once: N simulated devices on loopback (1, 8, 33) replay
// pre-encoded update streams, so that encoding costs them nothing, each changing its
// whole 240 x 320 or 640 x 480 16-bit screen at every poll. The program's own
// Connection objects poll them at 18 polls per second. Reported per configuration:
// the poll rate each connection actually achieves (polls started per second once
// running), the program's CPU time per poll (the devices' threads excluded), and the
// latency from the device writing its reply to the picture being ready (the
// connection's invalidate), median and 99th percentile. The last lines hold each
// goal as a ratio: the rate against 18.0 (within 2%), the median latency against
// 1.5 ms (240 x 320) and 3 ms (640 x 480), and the CPU per poll against twice the LZW
// decoding of the same updates, measured here on one thread after each run with warm
// caches (the figure with cold caches, as a poll decodes, is printed beside it).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "../tests/screen/TestLzwEncoder.h"
#include "BenchFrames.h"
#include "BenchLoopback.h"
#include "link/CommandPacket.h"
#include "link/Crc32.h"
#include "platform/ByteOrder.h"
#include "platform/PosixTransports.h"
#include "screen/LzwDecoder.h"
#include "screen/ScreenReceiver.h"
#include "view/Connection.h"

using namespace sorvane;
using bench::loopbackPair;
using bench::threadCpuSeconds;
using Steady = std::chrono::steady_clock;

namespace {

constexpr int kFrames = 8;

double processCpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

// Eight screen-like frames of one size, and the updates that take the agent's reference
// from one to the next (the first from zero), as the agent would send them: pixel then
// row prediction, LZW, header with CRC.
struct Stream {
    int width, height;
    std::vector<uint8_t> fromZero;            // frame 0 against a zero reference
    std::vector<std::vector<uint8_t>> deltas; // deltas[i]: frame i-1 -> frame i (cyclic)
};

const Stream& stream(int w, int h)
{
    static std::mutex m;
    static std::vector<std::unique_ptr<Stream>> made;
    std::lock_guard lock(m);
    for (auto& s : made)
        if (s->width == w && s->height == h)
            return *s;
    auto s = std::make_unique<Stream>();
    s->width = w;
    s->height = h;
    std::vector<std::vector<uint8_t>> frames;
    for (int k = 0; k < kFrames; ++k)
        frames.push_back(bench::changingFrame(w, h, k));
    s->fromZero = bench::encodedUpdate(frames[0], w, h);
    for (int k = 0; k < kFrames; ++k) {
        const auto& a = frames[size_t((k + kFrames - 1) % kFrames)];
        const auto& b = frames[size_t(k)];
        std::vector<uint8_t> x(a.size());
        for (size_t i = 0; i < x.size(); ++i)
            x[i] = a[i] ^ b[i];
        s->deltas.push_back(bench::encodedUpdate(x, w, h));
    }
    made.push_back(std::move(s));
    return *made.back();
}

// The LZW decoding alone of one update of the stream, in microseconds: the median of
// rounds over all its updates, in this thread's CPU time (the machine is shared).
// Warm: the updates decoded one after the other, the delta and the decoder's tables in
// the caches from the previous one. Cold: before each update 4 MB are written
// elsewhere, so the delta and the tables come from beyond the 1 MB second-level cache,
// as in a poll, where the device's thread and other programs run between two updates.
double decodeMicros(const Stream& s, bool cold)
{
    std::vector<uint8_t> delta(size_t(s.width) * size_t(s.height) * 2);
    std::vector<uint8_t> evict(cold ? size_t(4) << 20 : 0);
    LzwDecoder dec;
    const LzwRect all{0, 0, s.width - 1, s.height - 1};
    std::vector<double> rounds;
    for (int round = 0; round < 15; ++round) {
        double spent = 0;
        for (const auto& u : s.deltas) {
            if (cold) {
                std::memset(evict.data(), round + 1, evict.size());
                benchmark::ClobberMemory();
            }
            const double t0 = threadCpuSeconds();
            const std::span<const uint8_t> payload(u.data() + ScreenUpdateHeader::kSize,
                                                   u.size() - ScreenUpdateHeader::kSize);
            benchmark::DoNotOptimize(dec.decodeUpdate16(payload, delta, s.width, s.height, all));
            spent += threadCpuSeconds() - t0;
        }
        rounds.push_back(spent * 1e6 / double(s.deltas.size()));
    }
    std::sort(rounds.begin(), rounds.end());
    return rounds[rounds.size() / 2];
}

// What each configuration measured, every repetition, for the closing goal lines.
struct Measured {
    std::vector<double> rate, cpuUs, p50Us;
    std::vector<double> decodeUs, coldDecodeUs; // measured after each run, at the load it ran under
};
std::map<std::pair<int, int>, std::map<int, Measured>> measured; // (w, h) -> devices -> figures

// One device: answers 'Q' with 'a' (and starts its stream again from zero) and every
// 'R' with the next pre-encoded update, noting when each reply was written.
class Device {
public:
    Device(int fd, const Stream& s) : fd_(fd), stream_(s), thread_([this] { run(); }) {}
    ~Device()
    {
        ::shutdown(fd_, SHUT_RDWR);
        thread_.join();
        ::close(fd_);
    }
    std::vector<Steady::time_point> replies()
    {
        std::lock_guard lock(m_);
        return sent_;
    }
    std::vector<Steady::time_point> requests()
    {
        std::lock_guard lock(m_);
        return asked_;
    }
    double cpuSeconds() const { return cpu_.load(); }

private:
    bool readAll(uint8_t* p, size_t n) { return bench::readAll(fd_, p, n); }
    bool writeAll(const std::vector<uint8_t>& b) { return bench::writeAll(fd_, b.data(), b.size()); }
    void run()
    {
        uint8_t cmd[4];
        int next = -1; // -1: the reference is zero
        while (readAll(cmd, 4)) {
            if (cmd[0] == CmdRefresh) {
                next = -1;
                if (!writeAll(CommandMessage(ReplyAccepted)))
                    break;
            } else if (cmd[0] == CmdUpdate) {
                {
                    std::lock_guard lock(m_);
                    asked_.push_back(Steady::now());
                }
                const std::vector<uint8_t>& u = next < 0 ? stream_.fromZero : stream_.deltas[size_t(next)];
                next = (next + 1) % kFrames;
                if (!writeAll(u))
                    break;
                std::lock_guard lock(m_);
                sent_.push_back(Steady::now());
            }
            cpu_ = threadCpuSeconds();
        }
        cpu_ = threadCpuSeconds();
    }

    int fd_;
    const Stream& stream_;
    std::mutex m_;
    std::vector<Steady::time_point> sent_, asked_;
    std::atomic<double> cpu_{0};
    std::thread thread_;
};

struct Sink final : ConnectionView, ConnectionObserver {
    std::mutex m;
    std::vector<Steady::time_point> ready;
    void invalidate(const DeviceRect&) override
    {
        std::lock_guard lock(m);
        ready.push_back(Steady::now());
    }
    void repaintAll() override {}
    bool hidden() const override { return false; }
    void stateChanged(DeviceState) override {}
};

void Connections(benchmark::State& state)
{
    const int n = int(state.range(0));
    const int w = int(state.range(1)), h = int(state.range(2));
    const Stream& s = stream(w, h);
    constexpr double kSeconds = 4.0;
    for (auto _ : state) {
        SystemClock clock;
        Links links(clock);
        std::vector<std::unique_ptr<Device>> devices;
        std::vector<std::unique_ptr<Sink>> sinks;
        std::vector<std::unique_ptr<Connection>> connections;
        Profile p;
        p.refreshRate = 18;
        for (int i = 0; i < n; ++i) {
            auto [c, d] = loopbackPair();
            auto link = std::make_unique<LinkSlot>();
            LinkSlot& slot = *link;
            slot.transport = PosixSocket::adopt(c);
            slot.linkKind = uint32_t(LinkKind::Wan);
            slot.depth = 16;
            slot.width = w;
            slot.height = h;
            slot.deviceName = "Bench " + std::to_string(i);
            devices.push_back(std::make_unique<Device>(d, s));
            std::string error;
            connections.push_back(Connection::Open(links, i, std::move(link), p, i, ViewStart{}, error));
            sinks.push_back(std::make_unique<Sink>());
        }
        const double cpu0 = processCpuSeconds();
        const auto t0 = Steady::now();
        for (int i = 0; i < n; ++i) {
            connections[size_t(i)]->attach(*sinks[size_t(i)]);
            connections[size_t(i)]->start(*sinks[size_t(i)]);
            connections[size_t(i)]->requestRefresh();
        }
        std::this_thread::sleep_for(std::chrono::duration<double>(kSeconds));
        for (auto& c : connections)
            c->stop();
        for (auto& c : connections)
            c->join();
        const double cpu = processCpuSeconds() - cpu0;
        double deviceCpu = 0;
        size_t polls = 0;
        std::vector<double> latencies, rates;
        for (int i = 0; i < n; ++i) {
            // The achieved rate: polls started per second, from the first poll after the
            // opening second to the last one.
            std::vector<Steady::time_point> asked = devices[size_t(i)]->requests();
            asked.erase(asked.begin(), std::lower_bound(asked.begin(), asked.end(), t0 + std::chrono::seconds(1)));
            if (asked.size() >= 2)
                rates.push_back(double(asked.size() - 1) /
                                std::chrono::duration<double>(asked.back() - asked.front()).count());
            const auto sent = devices[size_t(i)]->replies();
            const auto& ready = sinks[size_t(i)]->ready;
            polls += ready.size();
            for (size_t k = 0; k < std::min(sent.size(), ready.size()); ++k)
                latencies.push_back(std::chrono::duration<double, std::micro>(ready[k] - sent[k]).count());
            deviceCpu += devices[size_t(i)]->cpuSeconds();
        }
        connections.clear();
        devices.clear();
        std::sort(latencies.begin(), latencies.end());
        auto pct = [&](double q) { return latencies.empty() ? 0.0 : latencies[size_t(q * double(latencies.size() - 1))]; };
        double rate = 0;
        for (double r : rates)
            rate += r / double(rates.size());
        const double cpuUs = polls ? (cpu - deviceCpu) * 1e6 / double(polls) : 0;
        state.counters["polls_per_s_each"] = rate;
        state.counters["cpu_us_per_poll"] = cpuUs;
        state.counters["latency_us_p50"] = pct(0.5);
        state.counters["latency_us_p99"] = pct(0.99);
        Measured& m = measured[{w, h}][n];
        m.rate.push_back(rate);
        m.cpuUs.push_back(cpuUs);
        m.p50Us.push_back(pct(0.5));
        m.decodeUs.push_back(decodeMicros(s, false));
        m.coldDecodeUs.push_back(decodeMicros(s, true));
    }
}


BENCHMARK(Connections)
    ->ArgNames({"devices", "w", "h"})
    ->Args({1, 240, 320})
    ->Args({8, 240, 320})
    ->Args({33, 240, 320})
    ->Args({1, 640, 480})
    ->Args({8, 640, 480})
    ->Args({33, 640, 480})
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kSecond);

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// One goal line: "name: value / goal = ratio (goal met|MISSED, the rule)".
void goal(const std::string& name, const std::string& value, const std::string& target, double ratio, bool met,
          const char* rule)
{
    std::printf("%s: %s / %s = %.3f (%s, %s)\n", name.c_str(), value.c_str(), target.c_str(), ratio,
                met ? "goal met" : "MISSED", rule);
}

std::string format(const char* f, double v)
{
    char b[64];
    std::snprintf(b, sizeof b, f, v);
    return b;
}

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    // The median of the repetitions of each configuration.
    std::printf("\nGoals at 18 polls/s (median of repetitions; decode: LZW of the same updates, one thread, caches"
                " warm: the stricter reference)\n");
    for (const auto& [size, byDevices] : measured) {
        const auto [w, h] = size;
        const double latencyGoalUs = w * h > 240 * 320 ? 3000 : 1500;
        for (const auto& [n, m] : byDevices) {
            const std::string tag = std::to_string(n) + " x " + std::to_string(w) + "x" + std::to_string(h);
            const double rate = median(m.rate), p50 = median(m.p50Us), cpu = median(m.cpuUs);
            const double decode = median(m.decodeUs), coldDecode = median(m.coldDecodeUs);
            goal("rate " + tag, format("%.2f polls/s", rate), "18.0", rate / 18.0, std::fabs(rate / 18.0 - 1) <= 0.02,
                 "within 2%");
            goal("reply-to-picture p50 " + tag, format("%.0f us", p50), format("%.0f us", latencyGoalUs),
                 p50 / latencyGoalUs, p50 <= latencyGoalUs, "at most 1");
            goal("CPU per poll " + tag, format("%.0f us", cpu), format("(2 x %.0f us decode, warm)", decode),
                 cpu / (2 * decode), cpu <= 2 * decode, "at most 1");
            std::printf("  (the same against the decoding with cold caches, %.0f us: %.3f)\n", coldDecode,
                        cpu / (2 * coldDecode));
        }
    }
    return 0;
}
