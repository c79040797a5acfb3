#include "files/SortKeys.h"

#include <algorithm>

namespace sorvane {

std::string_view sortKeyName(SortKey key)
{
    switch (key) {
    case SortKey::Name: return "Name";
    case SortKey::Date: return "Date";
    case SortKey::Size: return "Size";
    case SortKey::Type: return "Type";
    }
    return "Name";
}

uint32_t NameKey(std::string_view name, bool folder, EntrySide side)
{
    const uint32_t fold = (folder && side == EntrySide::Pc) ? 0xDF : 0x5F;
    uint32_t key = 0;
    for (size_t i = 0; i < 4; ++i) {
        uint32_t c = i < name.size() ? uint8_t(name[i]) : 0;
        key = (key << 8) | (c & fold);
    }
    if (folder)
        key |= 0x80000000u;
    return key;
}

uint32_t DriveNameKey(uint32_t driveNumber) { return driveNumber | 0x80000000u; }

uint32_t TypeKey(std::string_view name)
{
    size_t dot = name.rfind('.');
    if (dot == std::string_view::npos)
        return 0;
    std::string_view ext = name.substr(dot + 1);
    uint32_t first = ext.size() > 0 ? uint8_t(ext[0]) : 0;
    uint32_t second = ext.size() > 1 ? uint8_t(ext[1]) : 0;
    return 0x2E0000u + first * 256u + second;
}

SortKeyRecord EntryKeys(std::string_view name, bool folder, EntrySide side, uint64_t size, uint32_t date)
{
    SortKeyRecord r;
    r.nameKey = NameKey(name, folder, side);
    r.sizeKey = uint32_t(std::min<uint64_t>(size, 0xFFFFFFFFu));
    r.dateKey = date;
    r.typeKey = TypeKey(name);
    return r;
}

SortKeyRecord DriveKeys(uint32_t driveNumber)
{
    return SortKeyRecord{DriveNameKey(driveNumber), driveNumber, driveNumber, driveNumber};
}

namespace {

template <typename T> int threeWay(T a, T b) { return a < b ? -1 : (b < a ? 1 : 0); }

} // namespace

int CompareSortKeys(const SortKeyRecord& a, const SortKeyRecord& b, SortKey key)
{
    switch (key) {
    case SortKey::Name: return threeWay(int32_t(a.nameKey), int32_t(b.nameKey));
    case SortKey::Date: return threeWay(a.dateKey, b.dateKey);
    case SortKey::Size: return threeWay(a.sizeKey, b.sizeKey);
    case SortKey::Type: return threeWay(a.typeKey, b.typeKey);
    }
    return 0;
}

} // namespace sorvane
