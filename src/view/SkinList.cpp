#include "view/SkinList.h"

#include <cstdio>
#include <fstream>
#include <map>
#include <strings.h>

namespace sorvane {

namespace {

std::string_view trim(std::string_view s)
{
    const char* blanks = " \t\r\n";
    size_t b = s.find_first_not_of(blanks);
    if (b == std::string_view::npos)
        return {};
    size_t e = s.find_last_not_of(blanks);
    return s.substr(b, e - b + 1);
}

bool sameName(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

// The values of one section's keys, the first occurrence of the section and of each
// key winning, keys folded to lower case.
std::map<std::string, std::string> readSection(std::string_view text, std::string_view section)
{
    std::map<std::string, std::string> values;
    bool inside = false, seen = false;
    size_t pos = 0;
    if (text.substr(0, 3) == "\xEF\xBB\xBF")
        pos = 3;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view line = trim(text.substr(pos, end - pos));
        pos = end + 1;
        if (line.empty() || line.front() == ';')
            continue;
        if (line.front() == '[') {
            size_t close = line.find(']');
            std::string_view name = trim(line.substr(1, close == std::string_view::npos ? line.size() - 1 : close - 1));
            if (inside)
                seen = true;
            inside = !seen && sameName(name, section);
            continue;
        }
        if (!inside)
            continue;
        size_t eq = line.find('=');
        if (eq == std::string_view::npos)
            continue;
        std::string key(trim(line.substr(0, eq)));
        for (char& c : key)
            if (c >= 'A' && c <= 'Z')
                c = char(c - 'A' + 'a');
        std::string_view value = trim(line.substr(eq + 1));
        if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
            value = value.substr(1, value.size() - 2);
        values.emplace(std::move(key), std::string(value));
    }
    return values;
}

} // namespace

std::vector<std::string> ParseSkinList(std::string_view iniText)
{
    std::map<std::string, std::string> values = readSection(iniText, "SKINS");
    std::vector<std::string> names;
    for (size_t k = 0; k < kMaxSkins; ++k) {
        auto it = values.find("skin" + std::to_string(k));
        if (it == values.end() || it->second.empty())
            break;
        names.push_back(it->second.substr(0, kMaxSkinNameLength));
    }
    return names;
}

std::vector<std::string> LoadSkinList(const std::filesystem::path& programDir)
{
    constexpr std::uintmax_t kLimit = 4u << 20;
    std::error_code ec;
    const std::filesystem::path file = programDir / kSkinFileName;
    std::uintmax_t size = std::filesystem::file_size(file, ec);
    if (ec || size > kLimit)
        return {};
    std::ifstream in(file, std::ios::binary);
    if (!in)
        return {};
    std::string text(size, '\0');
    in.read(text.data(), std::streamsize(size));
    text.resize(size_t(in.gcount()));
    return ParseSkinList(text);
}

std::vector<std::string> skinChoices(const std::vector<std::string>& skinNames)
{
    std::vector<std::string> choices{"None"};
    choices.insert(choices.end(), skinNames.begin(), skinNames.end());
    return choices;
}

} // namespace sorvane
