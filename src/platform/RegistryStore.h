#pragma once
// The key/value store that holds the program's configuration in place of a system
// registry. Keys are backslash paths such as "SOFTWARE\Halvard\Sorvane"; each key
// holds named values, and each value keeps its type number and its exact bytes, so
// records stored raw (a profile table, a 32-bit number, a string with its NUL) read
// back byte for byte. Key paths and value names compare ignoring ASCII case and keep
// the spelling they were first written with; keys and values keep the order in which
// they were first written.
//
// Plain in-memory data: not thread-safe; the owner (the user-interface thread)
// serialises access. Persistence is RegistryFile's job, the text form RegistryText's.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace sorvane {

// Value types, numbered as the values they stand for were numbered where they came
// from; any other number is kept as it is.
namespace RegType {
inline constexpr uint32_t String = 1; // text bytes followed by a NUL
inline constexpr uint32_t Binary = 3;
inline constexpr uint32_t Dword = 4; // 4 bytes, little-endian
} // namespace RegType

struct RegValue {
    std::string name;
    uint32_t type = RegType::Binary;
    std::vector<uint8_t> data;

    bool operator==(const RegValue&) const = default;
};

struct RegKey {
    std::string path;
    std::vector<RegValue> values; // in the order first written

    bool operator==(const RegKey&) const = default;
};

// Outcome of reading a value into a caller's buffer.
enum class QueryStatus {
    Ok,       // the value's bytes were copied; bytes past its size are untouched
    Missing,  // no such key or value; the buffer is untouched
    MoreData, // the value is larger than the buffer; the buffer is untouched
};

class RegistryStore {
public:
    bool empty() const { return keys_.empty(); }
    bool hasKey(std::string_view path) const;
    // Creates the key when it does not exist yet (keys may exist without values).
    void createKey(std::string_view path);
    // Removes a key with its values; false if it did not exist.
    bool deleteKey(std::string_view path);

    // Creates the key if needed; a value of the same name is replaced where it stands.
    void setValue(std::string_view path, std::string_view name, uint32_t type, std::span<const uint8_t> data);
    void setDword(std::string_view path, std::string_view name, uint32_t v);
    // Stores the text followed by one NUL, as a string value.
    void setString(std::string_view path, std::string_view name, std::string_view text);
    void setBinary(std::string_view path, std::string_view name, std::span<const uint8_t> data);
    bool deleteValue(std::string_view path, std::string_view name);

    // nullptr when the key or the value does not exist. The pointer stays valid until
    // the store is next changed.
    const RegValue* find(std::string_view path, std::string_view name) const;

    // Reads a value into buffer the way a registry query does: whatever its type, its
    // bytes are copied to the start of buffer when they fit (size = their count);
    // otherwise nothing is copied and size is the size that would be needed.
    QueryStatus query(std::string_view path, std::string_view name, std::span<uint8_t> buffer,
                      size_t& size) const;

    const std::vector<RegKey>& keys() const { return keys_; }
    // Replaces everything (used by the text reader).
    void assign(std::vector<RegKey> keys) { keys_ = std::move(keys); }

    bool operator==(const RegistryStore&) const = default;

private:
    RegKey* findKey(std::string_view path);
    const RegKey* findKey(std::string_view path) const;

    std::vector<RegKey> keys_;
};

// ASCII case-insensitive comparison, as key paths and value names compare.
bool equalsIgnoringCase(std::string_view a, std::string_view b);

} // namespace sorvane
