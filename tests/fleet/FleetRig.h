#pragma once
// A fleet of simulated handhelds for the many-device tests: one sorvane-sim per device
// on port 1899 of a loopback address of its own, 127.0.0.2 upwards (an address another
// test holds is skipped for one above them all), started all at once. Each shows the
// synthetic picture, which stands still after a few updates, and dumps what it sent.
// Header-only.

#include <atomic>
#include <future>
#include <memory>
#include <string>
#include <vector>

#include "support/SimProcess.h"
#include "support/TempDir.h"

namespace sorvane::test {

struct FleetFormat {
    int depth, width, height, orientation;
};

// Mixed depths, sizes and orientations, taken in turn.
inline const std::vector<FleetFormat> kFleetFormats = {
    {16, 96, 128, 0}, {8, 128, 96, 0}, {4, 112, 80, 90}, {2, 64, 64, 0}, {16, 160, 120, 270},
    {8, 80, 112, 180}, {16, 240, 320, 0}, {4, 144, 96, 0}, {16, 120, 96, 90}, {2, 96, 64, 270},
};

inline constexpr int kFleetStillAfter = 3;

struct FleetDevice {
    std::string name;
    FleetFormat format{};
    uint32_t address = 0; // host order
    TempDir dumps;
    std::unique_ptr<SimProcess> sim;
};

// `count` devices named "Fleet 01" ... Throws when one cannot be started.
inline std::vector<std::unique_ptr<FleetDevice>> startFleet(int count)
{
    std::atomic<unsigned> spare{unsigned(2 + count)};
    auto start = [&spare](FleetDevice& d, unsigned n) {
        for (int tries = 0; tries < 40 && n < 255; ++tries, n = spare.fetch_add(1)) {
            const std::string host = "127.0.0." + std::to_string(n);
            const FleetFormat& f = d.format;
            try {
                d.sim = std::make_unique<SimProcess>(std::vector<std::string>{
                    "--host", host, "--port", "1899", "--name", d.name, "--depth", std::to_string(f.depth),
                    "--width", std::to_string(f.width), "--height", std::to_string(f.height), "--orientation",
                    std::to_string(f.orientation), "--picture", "synthetic", "--still-after",
                    std::to_string(kFleetStillAfter), "--dump-dir", d.dumps.path().string()});
                d.address = 0x7F000000u | n;
                return;
            } catch (const std::runtime_error&) {
                // taken by another test: an address above the fleet's
            }
        }
        throw std::runtime_error("no loopback address with a free port 1899 for " + d.name);
    };
    std::vector<std::unique_ptr<FleetDevice>> fleet;
    std::vector<std::future<void>> started;
    for (int i = 0; i < count; ++i) {
        auto d = std::make_unique<FleetDevice>();
        d->name = (i < 9 ? "Fleet 0" : "Fleet ") + std::to_string(i + 1);
        d->format = kFleetFormats[size_t(i) % kFleetFormats.size()];
        started.push_back(std::async(std::launch::async, start, std::ref(*d), unsigned(2 + i)));
        fleet.push_back(std::move(d));
    }
    for (auto& s : started)
        s.get(); // rethrows
    return fleet;
}

} // namespace sorvane::test
