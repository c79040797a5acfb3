#pragma once
// A one-way "stop now" shared by every thread of the simulator. Once requested it stays
// requested; fd() becomes readable then, so threads include it in their poll() sets and
// wake from any wait. Thread-safe.

#include <atomic>

namespace sorvane::sim {

class StopSignal {
public:
    StopSignal();
    ~StopSignal();
    StopSignal(const StopSignal&) = delete;
    StopSignal& operator=(const StopSignal&) = delete;

    void request();
    bool requested() const { return requested_.load(); }
    int fd() const { return pipe_[0]; }

    // Waits up to ms milliseconds or until stop is requested; true when requested.
    bool sleepFor(int ms) const;

private:
    int pipe_[2] = {-1, -1};
    std::atomic<bool> requested_{false};
};

} // namespace sorvane::sim
