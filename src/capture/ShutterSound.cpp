#include "capture/ShutterSound.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <span>

#include "platform/ByteOrder.h"

namespace sorvane {

namespace {

constexpr uint32_t kRate = 22050;

// A burst of noise through a one-pole low-pass, decaying within ~25 ms.
struct Click {
    double start, decay, smooth, level;
};

// 16-bit mono PCM at kRate of `ms` milliseconds holding the clicks.
std::vector<uint8_t> clicksWav(std::span<const Click> clicks, size_t ms)
{
    const size_t kSamples = kRate * ms / 1000;
    std::vector<int16_t> samples(kSamples, 0);
    uint32_t seed = 0x5EED1234u;
    for (const Click& c : clicks) {
        double low = 0;
        for (size_t i = size_t(c.start * kRate); i < kSamples; ++i) {
            const double t = double(i) / kRate - c.start;
            seed = seed * 1664525u + 1013904223u;
            const double noise = double(int32_t(seed >> 8) - (1 << 23)) / double(1 << 23);
            low += c.smooth * (noise - low);
            const double v = samples[i] + 32767.0 * c.level * low * std::exp(-t / c.decay);
            samples[i] = int16_t(std::lround(std::clamp(v, -32768.0, 32767.0)));
        }
    }
    std::vector<uint8_t> wav(44 + 2 * kSamples);
    uint8_t* p = wav.data();
    std::memcpy(p, "RIFF", 4);
    storeLe32(p + 4, uint32_t(wav.size() - 8));
    std::memcpy(p + 8, "WAVEfmt ", 8);
    storeLe32(p + 16, 16);
    storeLe16(p + 20, 1);
    storeLe16(p + 22, 1);
    storeLe32(p + 24, kRate);
    storeLe32(p + 28, kRate * 2);
    storeLe16(p + 32, 2);
    storeLe16(p + 34, 16);
    std::memcpy(p + 36, "data", 4);
    storeLe32(p + 40, uint32_t(2 * kSamples));
    for (size_t i = 0; i < kSamples; ++i)
        storeLe16(p + 44 + 2 * i, uint16_t(samples[i]));
    return wav;
}

} // namespace

std::vector<uint8_t> ShutterSoundWav()
{
    constexpr Click kClicks[2] = {{0.000, 0.006, 0.35, 0.9}, {0.095, 0.009, 0.55, 0.7}};
    return clicksWav(kClicks, 180);
}

std::vector<uint8_t> ClickSoundWav()
{
    constexpr Click kClick[1] = {{0.000, 0.003, 0.6, 0.6}};
    return clicksWav(kClick, 40);
}

} // namespace sorvane
