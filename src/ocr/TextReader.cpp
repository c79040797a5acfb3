#include "ocr/TextReader.h"

#include <string>

namespace sorvane {
namespace {

bool IsSpace(unsigned char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// `text` with ASCII and Latin-1 capitals (UTF-8 C3 80..9E, without the multiplication
// sign C3 97) made small and every run of white space made one space, with a space
// before and after it all, so that the start and the end of a text count as white space.
std::string Folded(std::string_view text)
{
    std::string out = " ";
    out.reserve(text.size() + 2);
    for (size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (IsSpace(c)) {
            if (out.back() != ' ')
                out += ' ';
        } else if (c >= 'A' && c <= 'Z') {
            out += char(c - 'A' + 'a');
        } else if (c == 0xC3 && i + 1 < text.size()) {
            const unsigned char next = static_cast<unsigned char>(text[i + 1]);
            out += char(c);
            out += char(next >= 0x80 && next <= 0x9E && next != 0x97 ? next + 0x20 : next);
            ++i;
        } else {
            out += char(c);
        }
    }
    if (out.back() != ' ')
        out += ' ';
    return out;
}

} // namespace

bool TextContains(std::string_view text, std::string_view wanted)
{
    std::string w = Folded(wanted);
    // Only the white space the caller wrote at the ends of `wanted` asks for a boundary.
    if (w.size() > 1 && !IsSpace(static_cast<unsigned char>(wanted.front())))
        w.erase(0, 1);
    if (w.size() > 1 && !IsSpace(static_cast<unsigned char>(wanted.back())))
        w.pop_back();
    return Folded(text).find(w) != std::string::npos;
}

} // namespace sorvane
