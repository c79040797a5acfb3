#include "files/ListingText.h"

#include <cstdio>

namespace sorvane {

std::string FormatSize(uint64_t bytes)
{
    constexpr uint64_t kKilo = 1024;
    constexpr uint64_t kMega = 1048576;
    char text[48];
    if (bytes == 0)
        return "0";
    if (bytes < kKilo)
        std::snprintf(text, sizeof text, "%lluB", static_cast<unsigned long long>(bytes));
    else if (bytes < kMega)
        std::snprintf(text, sizeof text, "%llu.%01lluK", static_cast<unsigned long long>(bytes / kKilo),
                      static_cast<unsigned long long>(bytes % kKilo * 10 / kKilo));
    else
        std::snprintf(text, sizeof text, "%llu.%01lluM", static_cast<unsigned long long>(bytes / kMega),
                      static_cast<unsigned long long>(bytes % kMega * 10 / kMega));
    return text;
}

std::string FormatPcDate(std::time_t modified)
{
    std::tm parts{};
    if (!localtime_r(&modified, &parts))
        return "";
    char text[32];
    std::snprintf(text, sizeof text, "%02d/%02d/%02d", parts.tm_mon + 1, parts.tm_mday, parts.tm_year % 100);
    return text;
}

} // namespace sorvane
