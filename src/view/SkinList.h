#pragma once
// The skin list: the display names of the skins described in "SKINS.INI" in the
// program folder, read once at start-up. The "Skin" lists of the profile and
// settings dialogs show "None" followed by these names; the index in such a list is
// the stored skinIndex (0 = no skin, k = the k-th name).
//
// "SKINS.INI" is a private profile file: "[section]" lines and "key=value" lines;
// section and key names compare ignoring case; values lose surrounding blanks and
// one pair of surrounding quotes; lines starting with ";" are comments. The names
// are the values of "skin0", "skin1", ... in section "SKINS"; the list ends at the
// first missing or empty one, holds at most 32 names, and each name keeps at most
// 127 characters.
//
// Thread: any; LoadSkinList blocks on the file.

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace sorvane {

inline constexpr std::string_view kSkinFileName = "SKINS.INI";
inline constexpr size_t kMaxSkins = 32;
inline constexpr size_t kMaxSkinNameLength = 127;

// The names from the text of a skin file.
std::vector<std::string> ParseSkinList(std::string_view iniText);

// The names from programDir / "SKINS.INI"; none when the file is missing or cannot
// be read (a file larger than 4 MiB is not read).
std::vector<std::string> LoadSkinList(const std::filesystem::path& programDir);

// What a "Skin" list shows: "None", then the names.
std::vector<std::string> skinChoices(const std::vector<std::string>& skinNames);

} // namespace sorvane
