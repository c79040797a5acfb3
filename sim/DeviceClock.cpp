#include "DeviceClock.h"

#include <charconv>
#include <ctime>

namespace sorvane::sim {
namespace {

bool leap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int daysIn(int year, int month)
{
    static constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && leap(year) ? 29 : days[month - 1];
}

// Day of the week of a date in the Gregorian calendar (0 = Sunday).
int weekdayOf(int y, int m, int d)
{
    static constexpr int t[] = {0, 3, 2, 5, 0, 3, 5, 1, 4, 6, 2, 4};
    if (m < 3)
        --y;
    return (y + y / 4 - y / 100 + y / 400 + t[m - 1] + d) % 7;
}

bool field(const std::string& s, size_t at, size_t n, int& out)
{
    if (at + n > s.size())
        return false;
    auto [p, ec] = std::from_chars(s.data() + at, s.data() + at + n, out);
    return ec == std::errc() && p == s.data() + at + n;
}

} // namespace

TimeSource makeTimeSource(const std::optional<Moment>& fixed)
{
    if (fixed)
        return [m = *fixed] { return m; };
    return [] {
        std::time_t now = std::time(nullptr);
        std::tm t{};
        localtime_r(&now, &t);
        Moment m;
        m.year = t.tm_year + 1900;
        m.month = t.tm_mon + 1;
        m.day = t.tm_mday;
        m.weekday = t.tm_wday;
        m.hour = t.tm_hour;
        m.minute = t.tm_min;
        return m;
    };
}

std::optional<Moment> parseMoment(const std::string& text)
{
    if (text == "fixed")
        return Moment{};
    Moment m;
    if (text.size() != 16 || text[4] != '-' || text[7] != '-' || text[10] != 'T' || text[13] != ':')
        return std::nullopt;
    if (!field(text, 0, 4, m.year) || !field(text, 5, 2, m.month) || !field(text, 8, 2, m.day) ||
        !field(text, 11, 2, m.hour) || !field(text, 14, 2, m.minute))
        return std::nullopt;
    if (m.year < 1601 || m.month < 1 || m.month > 12 || m.day < 1 || m.day > daysIn(m.year, m.month) || m.hour > 23 ||
        m.minute > 59)
        return std::nullopt;
    m.weekday = weekdayOf(m.year, m.month, m.day);
    return m;
}

const char* weekdayName(int weekday)
{
    static constexpr const char* names[] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};
    return names[unsigned(weekday) % 7];
}

const char* monthName(int month)
{
    static constexpr const char* names[] = {"January", "February", "March",     "April",   "May",      "June",
                                            "July",    "August",   "September", "October", "November", "December"};
    return names[unsigned(month - 1) % 12];
}

} // namespace sorvane::sim
