#pragma once
// The simulated device's clock: the moment its screens show. The agent reads it
// through a TimeSource, which is the PC's local time, or one fixed moment (--clock) so
// that the pictures of a run depend only on its input. Thread-safe.

#include <functional>
#include <optional>
#include <string>

namespace sorvane::sim {

struct Moment {
    int year = 2026, month = 1, day = 5; // month 1..12
    int weekday = 1;                     // 0 = Sunday
    int hour = 9, minute = 41;
    bool operator==(const Moment&) const = default;
};

using TimeSource = std::function<Moment()>;

// The PC's local time, or the given moment every time.
TimeSource makeTimeSource(const std::optional<Moment>& fixed);

// "fixed" (Monday 2026-01-05 09:41) or "YYYY-MM-DDTHH:MM"; nullopt when it is neither
// or names no real day.
std::optional<Moment> parseMoment(const std::string& text);

const char* weekdayName(int weekday); // "Sunday" .. "Saturday"
const char* monthName(int month);     // "January" .. "December"

} // namespace sorvane::sim
