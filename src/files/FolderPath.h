#pragma once
// PC folder paths as the folder browsers use them: the current folder has no
// trailing "/" except the root "/", and the empty folder is the top of the tree
// ("My Computer"), whose items are the drives (places to start from).
//
// Plain functions; no thread restrictions. Nothing here touches the disk.

#include <string>
#include <string_view>
#include <vector>

namespace sorvane {

inline constexpr std::string_view kMyComputer = "My Computer";

// An absolute folder in the form above: "" stays "", a relative path is taken from
// the current folder, "." and ".." parts are resolved, trailing "/" removed.
std::string NormalizePcFolder(std::string_view folder);

// The folder and an entry of it: "/" + name, or folder + "/" + name.
std::string ChildFolder(std::string_view folder, std::string_view name);
// One level up: "/a/b" gives "/a", "/a" gives "/", "/" gives "" (the top).
std::string ParentFolder(std::string_view folder);

// The path button's text: "My Computer" for the top, the root itself, otherwise the
// last component of the folder.
std::string PathButtonText(std::string_view folder);

// One line of the path button's folder menu.
struct FolderMenuEntry {
    std::string text;   // indented two spaces per level, the current folder marked "* "
    std::string folder; // where choosing the line goes
    bool current = false;
};

// The current folder first, then each ancestor, then the root and the top entry
// "My Computer". Choosing the entry k lines down goes k levels up.
std::vector<FolderMenuEntry> FolderMenu(std::string_view folder);

} // namespace sorvane
