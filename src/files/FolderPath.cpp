#include "files/FolderPath.h"

#include <filesystem>
#include <system_error>

namespace sorvane {

std::string NormalizePcFolder(std::string_view folder)
{
    if (folder.empty())
        return "";
    std::filesystem::path p{std::string(folder)};
    if (p.is_relative()) {
        std::error_code ec;
        std::filesystem::path here = std::filesystem::current_path(ec);
        p = ec ? std::filesystem::path("/") / p : here / p;
    }
    std::string s = p.lexically_normal().string();
    while (s.size() > 1 && s.back() == '/')
        s.pop_back();
    return s.empty() ? std::string("/") : s;
}

std::string ChildFolder(std::string_view folder, std::string_view name)
{
    std::string s(folder);
    if (s.empty() || s.back() != '/')
        s += '/';
    s += name;
    return s;
}

std::string ParentFolder(std::string_view folder)
{
    if (folder.empty() || folder == "/")
        return "";
    size_t slash = folder.rfind('/');
    if (slash == std::string_view::npos)
        return "";
    if (slash == 0)
        return "/";
    return std::string(folder.substr(0, slash));
}

std::string PathButtonText(std::string_view folder)
{
    if (folder.empty())
        return std::string(kMyComputer);
    if (folder == "/")
        return "/";
    size_t slash = folder.rfind('/');
    return std::string(slash == std::string_view::npos ? folder : folder.substr(slash + 1));
}

std::vector<FolderMenuEntry> FolderMenu(std::string_view folder)
{
    std::vector<std::string> chain; // the folder, its ancestors, up to and including the top ""
    std::string f(folder);
    while (!f.empty()) {
        chain.push_back(f);
        f = ParentFolder(f);
    }
    chain.push_back("");

    std::vector<FolderMenuEntry> menu;
    const size_t depth = chain.size() - 1; // levels below the top of the current folder
    for (size_t k = 0; k < chain.size(); ++k) {
        FolderMenuEntry e;
        e.folder = chain[k];
        e.current = k == 0;
        e.text = std::string(2 * (depth - k), ' ');
        if (e.current)
            e.text += "* ";
        e.text += PathButtonText(chain[k]);
        menu.push_back(std::move(e));
    }
    return menu;
}

} // namespace sorvane
