#include "view/PrivateProfile.h"

#include <climits>
#include <cstdint>

#include "platform/RegularFile.h"

namespace sorvane {

namespace {

std::string_view trim(std::string_view s)
{
    const char* blanks = " \t\r\n";
    const size_t b = s.find_first_not_of(blanks);
    if (b == std::string_view::npos)
        return {};
    const size_t e = s.find_last_not_of(blanks);
    return s.substr(b, e - b + 1);
}

std::string lower(std::string_view s)
{
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    return out;
}

} // namespace

PrivateProfile::PrivateProfile(std::string_view text)
{
    if (text.substr(0, 3) == "\xEF\xBB\xBF")
        text.remove_prefix(3);
    std::map<std::string, std::string>* current = nullptr;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string_view::npos)
            end = text.size();
        const std::string_view line = trim(text.substr(pos, end - pos));
        pos = end + 1;
        if (line.empty() || line.front() == ';')
            continue;
        if (line.front() == '[') {
            const size_t close = line.find(']');
            const std::string name =
                lower(trim(line.substr(1, close == std::string_view::npos ? line.size() - 1 : close - 1)));
            // A section seen before is not read again: its first occurrence wins.
            auto [it, added] = sections_.try_emplace(name);
            current = added ? &it->second : nullptr;
            continue;
        }
        const size_t eq = line.find('=');
        if (!current || eq == std::string_view::npos)
            continue;
        std::string_view value = trim(line.substr(eq + 1));
        if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
            value = value.substr(1, value.size() - 2);
        current->try_emplace(lower(trim(line.substr(0, eq))), value);
    }
}

std::optional<PrivateProfile> PrivateProfile::fromFile(const std::filesystem::path& path)
{
    constexpr std::uintmax_t kLimit = 4u << 20;
    std::string text, error;
    if (!ReadRegularFile(path, kLimit, text, error))
        return std::nullopt;
    return PrivateProfile(text);
}

const std::string* PrivateProfile::find(std::string_view section, std::string_view key) const
{
    auto s = sections_.find(lower(section));
    if (s == sections_.end())
        return nullptr;
    auto k = s->second.find(lower(key));
    return k == s->second.end() ? nullptr : &k->second;
}

bool PrivateProfile::has(std::string_view section, std::string_view key) const
{
    return find(section, key) != nullptr;
}

std::string PrivateProfile::text(std::string_view section, std::string_view key, std::string_view fallback,
                                 size_t maxLength) const
{
    const std::string* v = find(section, key);
    return std::string(v ? std::string_view(*v) : fallback).substr(0, maxLength);
}

int PrivateProfile::integer(std::string_view section, std::string_view key, int fallback) const
{
    const std::string* v = find(section, key);
    if (!v || v->empty())
        return fallback;
    return ParseProfileInteger(*v);
}

int ParseProfileInteger(std::string_view s)
{
    size_t i = 0;
    bool negative = false;
    if (i < s.size() && (s[i] == '-' || s[i] == '+'))
        negative = s[i++] == '-';
    int64_t value = 0;
    for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
        value = value * 10 + (s[i] - '0');
        if (value > int64_t(INT_MAX) + 1)
            value = int64_t(INT_MAX) + 1; // saturated; more digits change nothing
    }
    if (negative)
        return int(-value);
    return value > INT_MAX ? INT_MAX : int(value);
}

} // namespace sorvane
