#include "link/PasswordTable.h"

#include <cstring>

#include "platform/ByteOrder.h"

namespace sorvane {

std::span<uint8_t> PasswordTable::record(size_t i)
{
    if (i >= kRecords)
        return {};
    return std::span<uint8_t>(bytes_).subspan(i * kRecordSize, kRecordSize);
}

std::span<const uint8_t> PasswordTable::record(size_t i) const
{
    if (i >= kRecords)
        return {};
    return std::span<const uint8_t>(bytes_).subspan(i * kRecordSize, kRecordSize);
}

std::string_view PasswordTable::password(size_t i) const
{
    auto r = record(i);
    if (r.empty())
        return {};
    return fixedString(r.subspan(kPasswordOffset, kPasswordSize));
}

void PasswordTable::setPasswordBytes(size_t i, std::span<const uint8_t, kPasswordSize> raw)
{
    auto r = record(i);
    if (!r.empty())
        std::memcpy(r.data() + kPasswordOffset, raw.data(), kPasswordSize);
}

bool passwordMatches(std::string_view typed, std::string_view stored)
{
    typed = typed.substr(0, PasswordTable::kPasswordSize);
    if (typed.size() != stored.size())
        return false;
    auto lower = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c; };
    for (size_t i = 0; i < typed.size(); ++i)
        if (lower((unsigned char)typed[i]) != lower((unsigned char)stored[i]))
            return false;
    return true;
}

} // namespace sorvane
