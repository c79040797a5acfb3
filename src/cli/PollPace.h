#pragma once

#include <cstdint>

#include "platform/Clock.h"

namespace sorvane::cli {

// The pace of the commands that poll: polls start a period apart, counted from the
// previous start, as a connection's do; a poll already due when the previous exchange
// ends starts at once, and the period counts from there (no burst makes up for it).
class PollPace {
public:
    PollPace(Clock& clock, uint32_t periodMs) : clock_(clock), period_(periodMs), last_(clock.tickCount()) {}
    void waitNext()
    {
        const uint32_t since = clock_.tickCount() - last_;
        if (since < period_) {
            clock_.sleepMs(period_ - since);
            last_ = clock_.tickCount();
        } else {
            last_ = clock_.tickCount();
        }
    }

private:
    Clock& clock_;
    uint32_t period_;
    uint32_t last_;
};

} // namespace sorvane::cli
