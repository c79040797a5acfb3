#pragma once
// Sort keys of the items of a folder listing, shared by the PC and device panes of
// the file explorer and by the Select Directory dialog. Every item carries one
// SortKeyRecord; one sort key (Name, Date, Size or Type) orders every list.
//
// Plain values; no thread restrictions.

#include <cstdint>
#include <string_view>

namespace sorvane {

enum class SortKey : int32_t {
    Name = 0,
    Date = 1,
    Size = 2,
    Type = 3,
};

// The names shown by the sort button and its menu: "Name", "Date", "Size", "Type".
std::string_view sortKeyName(SortKey key);

struct SortKeyRecord {
    uint32_t nameKey = 0; // first four name bytes, folded, big-endian; bit 31 set for folders and drives
    uint32_t sizeKey = 0; // size in bytes; drives: the drive number
    uint32_t dateKey = 0; // date value; drives: the drive number
    uint32_t typeKey = 0; // 0x2E0000 + ext[0] * 256 + ext[1]; 0 without "."; drives: the drive number

    bool operator==(const SortKeyRecord&) const = default;
};

// Which side an entry lives on matters for the folding of its name: PC folders keep
// bit 7 of each character (AND 0xDF), everything else loses it (AND 0x5F).
enum class EntrySide { Pc, Device };

// The first four bytes of name (missing ones count as 0), each folded, the first in
// the top byte; bit 31 set for a folder.
uint32_t NameKey(std::string_view name, bool folder, EntrySide side);
// A drive (place at the top of the PC tree) number n: n with bit 31 set.
uint32_t DriveNameKey(uint32_t driveNumber);
// From the last "." in name: 0x2E0000 + first extension byte * 256 + second one
// (a missing byte counts as 0); 0 when name has no ".".
uint32_t TypeKey(std::string_view name);

// Keys of a file or folder; size saturates at 0xFFFFFFFF.
SortKeyRecord EntryKeys(std::string_view name, bool folder, EntrySide side, uint64_t size, uint32_t date);
// Keys of a drive: every key but the name key is the drive number.
SortKeyRecord DriveKeys(uint32_t driveNumber);

// Negative, 0 or positive as a sorts before, with or after b: Name compares nameKey as
// signed 32-bit numbers (so folders and drives come first), the others compare their
// key as unsigned numbers; ascending. Equal keys compare equal, so a stable sort keeps
// the order the entries came in.
int CompareSortKeys(const SortKeyRecord& a, const SortKeyRecord& b, SortKey key);

} // namespace sorvane
