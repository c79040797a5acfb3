#pragma once
// sorvane-sim on the device agent's fixed TCP port 1899, on a loopback address of its
// own (127.0.0.N, N from 2 to 254), for links whose port the protocol fixes (WAN,
// LAN). Linux routes all of 127.0.0.0/8 to the loopback interface, so tests running
// at the same time each take another address; an address already taken is skipped.
// Header-only.

#include <atomic>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include <unistd.h>

#include "support/SimProcess.h"

namespace sorvane::test {

struct LoopbackSim {
    std::unique_ptr<SimProcess> process;
    uint32_t address = 0; // host order, 127.0.0.N
    std::string host;     // "127.0.0.N"
};

// Starts the simulator with `args` plus --host and --port 1899. Throws when no
// address could be had.
inline LoopbackSim startLoopbackSim(const std::vector<std::string>& args)
{
    static std::atomic<unsigned> next{0};
    const unsigned base = unsigned(::getpid()) * 37u;
    for (int tries = 0; tries < 40; ++tries) {
        const unsigned n = 2 + (base + next.fetch_add(1) * 11u) % 253u;
        LoopbackSim sim;
        sim.address = 0x7F000000u | n;
        sim.host = "127.0.0." + std::to_string(n);
        std::vector<std::string> all = args;
        all.insert(all.end(), {"--host", sim.host, "--port", "1899"});
        try {
            sim.process = std::make_unique<SimProcess>(all, std::chrono::seconds(20));
            return sim;
        } catch (const std::runtime_error&) {
            // taken by another test: the next address
        }
    }
    throw std::runtime_error("no loopback address with a free port 1899");
}

} // namespace sorvane::test
