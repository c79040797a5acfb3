#pragma once
// Time as the link and protocol code sees it: a millisecond tick count compared as
// unsigned 32-bit differences, and plain sleeps of the calling thread.
//
// SystemClock is the real one. ManualClock never waits: a sleep moves its tick count
// forward at once, so code that pauses thousands of times (the receive loop's 2000
// pauses of 10 ms) runs instantly in tests while seeing the time it would have taken.

#include <atomic>
#include <cstdint>

namespace sorvane {

class Transport;

class Clock {
public:
    virtual ~Clock() = default;
    // Milliseconds since an arbitrary start; wraps at 2^32. Any thread.
    virtual uint32_t tickCount() const = 0;
    // Pauses the calling thread for ms milliseconds. Any thread.
    virtual void sleepMs(uint32_t ms) = 0;
    // A receive's pause after the link had nothing for it: as long as sleepMs(ms), but a
    // real clock ends it as soon as the transport has something to receive, so a reply
    // is taken when it arrives rather than up to ms later. The time the rules count is
    // the same either way.
    virtual void pauseForData(Transport& transport, uint32_t ms)
    {
        (void)transport;
        sleepMs(ms);
    }
};

class SystemClock final : public Clock {
public:
    uint32_t tickCount() const override;
    void sleepMs(uint32_t ms) override;
    void pauseForData(Transport& transport, uint32_t ms) override;
};

class ManualClock final : public Clock {
public:
    explicit ManualClock(uint32_t start = 0) : now_(start) {}
    uint32_t tickCount() const override { return now_.load(); }
    void sleepMs(uint32_t ms) override
    {
        now_.fetch_add(ms);
        sleeps_.fetch_add(1);
    }
    void advance(uint32_t ms) { now_.fetch_add(ms); }
    // How many sleeps were taken since construction.
    uint64_t sleepCount() const { return sleeps_.load(); }

private:
    std::atomic<uint32_t> now_;
    std::atomic<uint64_t> sleeps_{0};
};

} // namespace sorvane
