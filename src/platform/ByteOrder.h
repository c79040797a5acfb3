#pragma once
// Little-endian loads and stores. Every wire and file record is encoded and
// decoded through these; no code casts a struct onto bytes.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string_view>

namespace sorvane {

inline uint16_t loadLe16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
inline uint32_t loadLe32(const uint8_t* p)
{
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
inline int32_t loadLe32s(const uint8_t* p) { return int32_t(loadLe32(p)); }

inline void storeLe16(uint8_t* p, uint16_t v)
{
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}
inline void storeLe32(uint8_t* p, uint32_t v)
{
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
    p[2] = uint8_t(v >> 16);
    p[3] = uint8_t(v >> 24);
}

// Copies a NUL-terminated string out of a fixed-size field; stops at the field's end
// when the field holds no NUL.
inline std::string_view fixedString(std::span<const uint8_t> field)
{
    const void* nul = std::memchr(field.data(), 0, field.size());
    size_t n = nul ? size_t(static_cast<const uint8_t*>(nul) - field.data()) : field.size();
    return {reinterpret_cast<const char*>(field.data()), n};
}

// Writes s into a fixed-size field: at most size-1 characters, then NUL padding.
inline void storeFixedString(std::span<uint8_t> field, std::string_view s)
{
    if (field.empty())
        return;
    size_t n = s.size() < field.size() - 1 ? s.size() : field.size() - 1;
    std::memcpy(field.data(), s.data(), n);
    std::memset(field.data() + n, 0, field.size() - n);
}

} // namespace sorvane
