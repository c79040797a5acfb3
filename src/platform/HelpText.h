#pragma once
// Fits a program's --help text into a terminal of `width` columns. The text is written
// as option lines ("  --name VALUE   what it does"), each followed by lines that go on
// at least as deep as the column of "what it does", and other paragraphs whose lines
// are all indented as deep as their first. A paragraph with a line wider than `width`
// is filled again at its own columns; every other line stays as it is. A word wider
// than the room stays whole.
//
// Header only (sorvane-sim uses it too).

#include <cstddef>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

namespace sorvane {

inline std::string FitHelpText(std::string_view text, size_t width = 80)
{
    std::vector<std::string> lines;
    for (size_t start = 0; start < text.size();) {
        const size_t end = text.find('\n', start);
        lines.emplace_back(text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
        start = end == std::string_view::npos ? text.size() : end + 1;
    }
    const auto leading = [](const std::string& l) {
        const size_t at = l.find_first_not_of(' ');
        return at == std::string::npos ? l.size() : at;
    };
    const auto isOption = [](const std::string& l) { return l.rfind("  -", 0) == 0; };
    std::string out;
    for (size_t i = 0; i < lines.size();) {
        // The paragraph: line i and the lines that go on under it.
        const std::string& first = lines[i];
        size_t column = leading(first);
        if (isOption(first)) {
            const size_t gap = first.find("  ", column);
            const size_t at = gap == std::string::npos ? std::string::npos : first.find_first_not_of(' ', gap);
            column = at == std::string::npos ? column : at;
        }
        const bool option = isOption(first);
        size_t next = i + 1;
        while (next < lines.size() && !lines[next].empty() && !isOption(lines[next]) &&
               (option ? leading(lines[next]) >= column : leading(lines[next]) == column))
            ++next;
        bool wide = false;
        for (size_t k = i; k < next; ++k)
            wide = wide || lines[k].size() > width;
        if (!wide) {
            for (size_t k = i; k < next; ++k)
                out += lines[k] + '\n';
            i = next;
            continue;
        }
        std::string line = first.substr(0, column);
        std::string all = first.substr(column);
        for (size_t k = i + 1; k < next; ++k)
            all += ' ' + lines[k];
        std::istringstream words(all);
        const std::string indent(column, ' ');
        bool empty = true;
        for (std::string w; words >> w;) {
            if (!empty && line.size() + 1 + w.size() > width) {
                out += line + '\n';
                line = indent;
                empty = true;
            }
            line += (empty ? "" : " ") + w;
            empty = false;
        }
        out += line + '\n';
        i = next;
    }
    if (!text.empty() && text.back() != '\n' && !out.empty())
        out.pop_back();
    return out;
}

} // namespace sorvane
