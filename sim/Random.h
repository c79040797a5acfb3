#pragma once
// A small deterministic pseudo-random source (splitmix64), so that runs with the same
// seed send the same bytes.

#include <cstdint>

namespace sorvane::sim {

class Random {
public:
    explicit Random(uint64_t seed) : state_(seed) {}
    uint64_t next()
    {
        uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // Uniform in lo..hi inclusive (lo <= hi).
    int between(int lo, int hi) { return lo + int(next() % uint64_t(hi - lo + 1)); }
    bool coin() { return next() & 1; }

private:
    uint64_t state_;
};

} // namespace sorvane::sim
