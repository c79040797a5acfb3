#pragma once
// The texts of the Size and Date columns of folder listings.
//
// Plain functions; no thread restrictions.

#include <cstdint>
#include <ctime>
#include <string>

namespace sorvane {

// "0"; below 1024 "<n>B"; below 1048576 "<n>.<t>K"; else "<n>.<t>M", where t is the
// truncated tenth of the remainder (1535 gives "1.4K").
std::string FormatSize(uint64_t bytes);

// "MM/DD/YY" of a file time (seconds since 1970) in the PC's local time.
std::string FormatPcDate(std::time_t modified);

} // namespace sorvane
