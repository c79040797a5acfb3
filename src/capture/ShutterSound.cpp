#include "capture/ShutterSound.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/ByteOrder.h"

namespace sorvane {

std::vector<uint8_t> ShutterSoundWav()
{
    constexpr uint32_t kRate = 22050;
    constexpr size_t kSamples = kRate * 18 / 100; // 180 ms
    // Each click: a burst of noise through a one-pole low-pass, decaying within ~25 ms.
    struct Click {
        double start, decay, smooth, level;
    };
    constexpr Click kClicks[2] = {{0.000, 0.006, 0.35, 0.9}, {0.095, 0.009, 0.55, 0.7}};
    std::vector<int16_t> samples(kSamples, 0);
    uint32_t seed = 0x5EED1234u;
    for (const Click& c : kClicks) {
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

} // namespace sorvane
