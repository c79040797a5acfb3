#pragma once
// A private profile file ("SKINS.INI"): "[section]" lines followed by "key=value"
// lines, read the way such files are read on the device's desktop system:
// - section and key names compare ignoring case (ASCII);
// - names and values lose surrounding blanks, and a value one pair of matching
//   surrounding quotes (" or ');
// - blank lines, lines starting with ";" and lines without "=" are skipped;
// - the first section of a name and, inside it, the first occurrence of a key win;
// - a UTF-8 byte order mark at the start is skipped, CR LF and LF both end lines.
//
// Thread: any; a PrivateProfile is a value, read-only after construction.

#include <cstddef>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace sorvane {

class PrivateProfile {
public:
    PrivateProfile() = default;
    explicit PrivateProfile(std::string_view text);

    // Reads a whole file; none when it is missing, unreadable or larger than 4 MiB.
    static std::optional<PrivateProfile> fromFile(const std::filesystem::path& path);

    // The value of a key, or fallback when the section or key is absent. At most
    // maxLength characters are kept.
    std::string text(std::string_view section, std::string_view key, std::string_view fallback = {},
                     size_t maxLength = 127) const;

    // The integer value of a key: an optional sign and decimal digits, read up to the
    // first other character (text without digits reads as 0), saturated to the int
    // range. fallback when the section or key is absent or the value is empty.
    int integer(std::string_view section, std::string_view key, int fallback = 0) const;

    // True when the key is present.
    bool has(std::string_view section, std::string_view key) const;

private:
    const std::string* find(std::string_view section, std::string_view key) const;

    // section (lower case) -> key (lower case) -> value
    std::map<std::string, std::map<std::string, std::string>, std::less<>> sections_;
};

// Parses a decimal integer the way PrivateProfile::integer does.
int ParseProfileInteger(std::string_view value);

} // namespace sorvane
