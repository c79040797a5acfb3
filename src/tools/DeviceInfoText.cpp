#include "tools/DeviceInfoText.h"

#include <cstdio>

namespace sorvane {
namespace {

struct Processor {
    uint32_t code;
    const char* text;
};

// Processor type codes as the device reports them.
constexpr Processor kProcessors[] = {
    {386, "Intel 386"},
    {486, "Intel 486"},
    {586, "Intel Pentium"},
    {686, "Intel Pentium II"},
    {601, "PowerPC"},
    {603, "PowerPC"},
    {604, "PowerPC"},
    {620, "PowerPC"},
    {3000, "MIPS R3000"},
    {4000, "MIPS R4000"},
    {5000, "MIPS R5000"},
    {103, "Hitachi SH3"},
    {10003, "Hitachi SH3"},
    {10004, "Hitachi SH3"},
    {104, "Hitachi SH4"},
    {10005, "Hitachi SH4"},
    {21064, "DEC Alpha"},
    {1824, "Intel StrongARM/XScale"},
    {2080, "Intel StrongARM/XScale"},
    {2336, "Intel StrongARM/XScale"},
    {2577, "Intel StrongARM/XScale"},
    {70001, "Intel StrongARM/XScale"},
};

template <class... Args>
std::string format(const char* pattern, Args... args)
{
    char text[96];
    std::snprintf(text, sizeof text, pattern, args...);
    return text;
}

} // namespace

std::string FormatMegabytes(uint32_t bytes)
{
    const unsigned whole = bytes >> 20;
    const unsigned hundredths = unsigned((uint64_t(bytes & 0xFFFFF) * 100) / 1048576);
    return format("%u.%02u MB", whole, hundredths);
}

std::string FormatBattery(uint8_t percent)
{
    return percent == 255 ? std::string("Unavailable") : format("%u%%", unsigned(percent));
}

std::string FormatMainBattery(uint8_t percent, uint8_t charging)
{
    std::string text = FormatBattery(percent);
    if (charging == 1 || charging == 2)
        text += " (charging)";
    return text;
}

std::string FormatOperatingSystem(uint32_t major, uint32_t minor, uint32_t build)
{
    return format("CE %u.%u, build %u", major, minor, build);
}

std::string ProcessorName(uint32_t code)
{
    for (const Processor& p : kProcessors)
        if (p.code == code)
            return p.text;
    return format("Unknown (%u)", code);
}

std::string FormatDepth(int depth)
{
    const unsigned long long colours = depth >= 0 && depth < 64 ? 1ull << depth : 0;
    return format("%d (%llu colors)", depth, colours);
}

uint32_t MemoryInUse(uint32_t total, uint32_t free) { return free > total ? 0 : total - free; }

std::vector<InfoLine> DeviceInfoLines(const DeviceFacts& facts, const DeviceStatusRecord& s)
{
    namespace c = info_control;
    return {
        {c::DeviceId, "Device ID", facts.name},
        {c::VideoSize, "Video Size", format("%d x %d", facts.width, facts.height)},
        {c::BitDepth, "Video Bit Depth", FormatDepth(facts.depth)},
        {c::MainBattery, "Primary Battery Level", FormatMainBattery(s.mainBattery, s.charging)},
        {c::BackupBattery, "Backup Battery Level", FormatBattery(s.backupBattery)},
        {c::OperatingSystem, "Operating System", FormatOperatingSystem(s.osMajor, s.osMinor, s.osBuild)},
        {c::Cpu, "CPU", ProcessorName(s.processorType)},
        {c::ProgramTotal, "Program Memory Total", FormatMegabytes(s.programTotal)},
        {c::ProgramInUse, "Program Memory In Use", FormatMegabytes(MemoryInUse(s.programTotal, s.programFree))},
        {c::ProgramFree, "Program Memory Free", FormatMegabytes(s.programFree)},
        {c::StorageTotal, "Storage Memory Total", FormatMegabytes(s.storageTotal)},
        {c::StorageInUse, "Storage Memory In Use", FormatMegabytes(MemoryInUse(s.storageTotal, s.storageFree))},
        {c::StorageFree, "Storage Memory Free", FormatMegabytes(s.storageFree)},
        {c::MemoryUtilization, "Memory Utilization", format("%u%%", unsigned(s.memoryLoad & 0xFF))},
    };
}

} // namespace sorvane
