// One whole screen update of a full 640x480x16 change — receive from memory, CRC,
// LZW decoding, row and pixel prediction undone, XOR into the reference frame and
// the rows copied into the shown picture — beside its LZW decoding alone and beside
// a memcpy of the frame. The closing table gives the ratios.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <ctime>
#include <cstdio>
#include <cstring>
#include <vector>

#include "../tests/screen/TestLzwEncoder.h"
#include "link/Crc32.h"
#include "platform/ByteOrder.h"
#include "screen/ScreenReceiver.h"

using namespace sorvane;

namespace {

constexpr int W = 640, H = 480;

// A screen-like picture: title bar, panels, a gradient and text-like detail.
std::vector<uint8_t> picture()
{
    std::vector<uint16_t> px(size_t(W) * H, 0xFFFF);
    uint32_t seed = 12345;
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            uint16_t v = 0xFFFF;
            if (y < 24)
                v = 0x001F;
            else if (x < 160)
                v = 0xC618;
            else if (y > 300)
                v = uint16_t(((x * 31 / W) << 11) | ((y * 63 / H) << 5) | 12);
            if (y > 40 && y < 280 && x > 180 && (y % 14) < 9) {
                seed = seed * 1664525u + 1013904223u;
                if ((seed >> 24) < 70)
                    v = 0x0000;
            }
            px[size_t(y) * W + x] = v;
        }
    std::vector<uint8_t> bytes(px.size() * 2);
    for (size_t i = 0; i < px.size(); ++i)
        storeLe16(&bytes[2 * i], px[i]);
    return bytes;
}

// The update as the agent sends it: pixel then row prediction, LZW, header with CRC.
std::vector<uint8_t> recordedUpdate(const std::vector<uint8_t>& pic)
{
    std::vector<uint8_t> d = pic;
    const size_t row = size_t(W) * 2;
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W - 1; ++x) {
            uint8_t* p = &d[y * row + 2 * x];
            p[0] ^= pic[y * row + 2 * x + 2];
            p[1] ^= pic[y * row + 2 * x + 3];
        }
    std::vector<uint8_t> e = d;
    for (int y = 0; y < H - 1; ++y)
        for (size_t i = 0; i < row; ++i)
            e[y * row + i] ^= d[(y + 1) * row + i];
    std::vector<uint8_t> payload = test::lzwEncode(e, true);
    std::vector<uint8_t> msg(20);
    ScreenUpdateHeader h;
    h.flags = ScreenUpdateHeader::kRowXor | ScreenUpdateHeader::kPixelXor;
    h.payloadLength = uint32_t(payload.size());
    h.checksum = Crc32(payload);
    h.right = W - 1;
    h.bottom = H - 1;
    h.encode(msg.data());
    msg.insert(msg.end(), payload.begin(), payload.end());
    return msg;
}

// Serves the recorded update for every request, straight from memory.
class MemoryChannel : public LinkChannel {
public:
    explicit MemoryChannel(const std::vector<uint8_t>& update) : update_(update) {}
    size_t recv(uint8_t* b, size_t n) override
    {
        n = std::min(n, update_.size() - at_);
        std::memcpy(b, update_.data() + at_, n);
        at_ += n;
        return n;
    }
    void send(const uint8_t*, size_t) override { at_ = 0; }
    uint8_t readReply() override { return 'a'; }
    void sleepMs(uint32_t) override {}
    void discardPending() override {}

private:
    const std::vector<uint8_t>& update_;
    size_t at_ = 0;
};

struct NullSink : ScreenSink {
    void pictureChanged(int, int, int, int) override {}
    void picturesRebuilt() override {}
    void linkDropped() override {}
};

struct Fixture {
    std::vector<uint8_t> pic = picture();
    std::vector<uint8_t> update = recordedUpdate(pic);
    ScreenState state;
    Fixture()
    {
        state.facts = DisplayFacts{16, W, H, 0};
        BuildViewBitmaps(state.bitmaps, state.facts, state.palette);
        state.refreshRate = 18;
    }
};

Fixture& fixture()
{
    static Fixture f;
    return f;
}

void WholeUpdate(benchmark::State& s)
{
    Fixture& f = fixture();
    MemoryChannel ch(f.update);
    NullSink sink;
    for (auto _ : s) {
        if (PollScreen(ch, f.state, sink) != PollOutcome::Applied)
            s.SkipWithError("update not applied");
    }
    s.SetBytesProcessed(int64_t(s.iterations()) * W * H * 2);
}

void DecodeOnly(benchmark::State& s)
{
    Fixture& f = fixture();
    std::vector<uint8_t> delta(size_t(W) * H * 2);
    LzwDecoder dec;
    std::span<const uint8_t> payload(f.update.data() + 20, f.update.size() - 20);
    for (auto _ : s) {
        auto r = dec.decodeUpdate16(payload, delta, W, H, LzwRect{0, 0, W - 1, H - 1});
        benchmark::DoNotOptimize(r);
    }
    s.SetBytesProcessed(int64_t(s.iterations()) * W * H * 2);
}

void FrameMemcpy(benchmark::State& s)
{
    std::vector<uint8_t> a(size_t(W) * H * 2, 1), b(a.size());
    for (auto _ : s) {
        std::memcpy(b.data(), a.data(), a.size());
        benchmark::ClobberMemory();
    }
    s.SetBytesProcessed(int64_t(s.iterations()) * W * H * 2);
}

BENCHMARK(WholeUpdate)->Unit(benchmark::kMicrosecond);
BENCHMARK(DecodeOnly)->Unit(benchmark::kMicrosecond);
BENCHMARK(FrameMemcpy)->Unit(benchmark::kMicrosecond);

template <class F> double medianMicros(F f)
{
    std::vector<double> t;
    for (int i = 0; i < 9; ++i) {
        // Thread CPU time: the machine is shared, wall time would measure the others.
        timespec a{}, b{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &a);
        for (int k = 0; k < 20; ++k)
            f();
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &b);
        t.push_back(((b.tv_sec - a.tv_sec) * 1e9 + double(b.tv_nsec - a.tv_nsec)) / 1e3 / 20);
    }
    std::sort(t.begin(), t.end());
    return t[4];
}

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    Fixture& f = fixture();
    MemoryChannel ch(f.update);
    NullSink sink;
    std::vector<uint8_t> delta(size_t(W) * H * 2), copy(delta.size());
    LzwDecoder dec;
    std::span<const uint8_t> payload(f.update.data() + 20, f.update.size() - 20);
    double whole = medianMicros([&] { PollScreen(ch, f.state, sink); });
    double decode = medianMicros([&] { dec.decodeUpdate16(payload, delta, W, H, LzwRect{0, 0, W - 1, H - 1}); });
    double mem = medianMicros([&] {
        std::memcpy(copy.data(), f.pic.data(), copy.size());
        benchmark::ClobberMemory();
    });
    std::printf("\n640x480x16 full update (payload %zu bytes)\n", payload.size());
    std::printf("%-28s %10.1f us\n%-28s %10.1f us\n%-28s %10.1f us\n", "whole update", whole, "LZW decoding alone",
                decode, "memcpy of the frame", mem);
    std::printf("whole / decoding = %.2fx (target <= 1.30x); whole / memcpy = %.1fx\n", whole / decode, whole / mem);
    return 0;
}
