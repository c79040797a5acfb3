#include "WireNames.h"

#include <map>

namespace sorvane::sim {
namespace {

// The characters of 0x80..0x9F in UTF-8; the undefined bytes stand for themselves.
const char* const kHigh[32] = {
    "€", "\u0081", "‚", "ƒ", "„", "…", "†", "‡", "ˆ", "‰", "Š", "‹", "Œ", "\u008D", "Ž", "\u008F",
    "\u0090", "‘", "’", "“", "”", "•", "–", "—", "˜", "™", "š", "›", "œ", "\u009D", "ž", "Ÿ",
};

std::string charOf(unsigned char b)
{
    if (b < 0x80)
        return std::string(1, char(b));
    if (b < 0xA0)
        return kHigh[b - 0x80];
    return {char(0xC0 | (b >> 6)), char(0x80 | (b & 0x3F))};
}

const std::map<std::string, char>& bytesByChar()
{
    static const std::map<std::string, char> table = [] {
        std::map<std::string, char> t;
        for (int b = 1; b < 256; ++b)
            t[charOf((unsigned char)b)] = char(b);
        return t;
    }();
    return table;
}

} // namespace

std::string wireToDisk(std::string_view wire)
{
    std::string out;
    for (char c : wire)
        out += charOf((unsigned char)c);
    return out;
}

std::string diskToWire(std::string_view disk)
{
    std::string out;
    for (size_t i = 0; i < disk.size();) {
        const unsigned char lead = (unsigned char)disk[i];
        size_t len = lead < 0xC0 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
        for (size_t k = 1; k < len; ++k)
            if (i + k >= disk.size() || ((unsigned char)disk[i + k] & 0xC0) != 0x80)
                len = 1; // not UTF-8: the byte alone
        const auto it = bytesByChar().find(std::string(disk.substr(i, len)));
        out += it == bytesByChar().end() ? '?' : it->second;
        i += len;
    }
    return out;
}

bool windowsNamePart(std::string_view wire)
{
    for (char c : wire)
        if ((unsigned char)c < 0x20 || std::string_view(":*?\"<>|").find(c) != std::string_view::npos)
            return false;
    return true;
}

} // namespace sorvane::sim
