#include "cli/InputScript.h"

#include <charconv>
#include <cstdlib>
#include <optional>

namespace sorvane::cli {
namespace {

constexpr uint8_t kShift = 0x10, kReturn = 0x0D;

struct KeyStroke {
    uint8_t vk;
    bool shift;
};

// The key of a US keyboard that makes the character, and whether Shift is held.
std::optional<KeyStroke> strokeFor(char c)
{
    if (c >= 'a' && c <= 'z')
        return KeyStroke{uint8_t(c - 'a' + 'A'), false};
    if (c >= 'A' && c <= 'Z')
        return KeyStroke{uint8_t(c), true};
    if (c >= '0' && c <= '9')
        return KeyStroke{uint8_t(c), false};
    if (c == ' ')
        return KeyStroke{0x20, false};
    if (c == '\n')
        return KeyStroke{kReturn, false};
    const std::string_view shiftedDigits = ")!@#$%^&*(";
    if (auto i = shiftedDigits.find(c); i != std::string_view::npos)
        return KeyStroke{uint8_t('0' + i), true};
    struct Punct {
        uint8_t vk;
        char plain, shifted;
    };
    static constexpr Punct table[] = {{0xBA, ';', ':'}, {0xBB, '=', '+'}, {0xBC, ',', '<'},  {0xBD, '-', '_'},
                                      {0xBE, '.', '>'}, {0xBF, '/', '?'}, {0xC0, '`', '~'},  {0xDB, '[', '{'},
                                      {0xDC, '\\', '|'}, {0xDD, ']', '}'}, {0xDE, '\'', '"'}};
    for (const Punct& p : table) {
        if (p.plain == c)
            return KeyStroke{p.vk, false};
        if (p.shifted == c)
            return KeyStroke{p.vk, true};
    }
    return std::nullopt;
}

// "A,B,..." with exactly n numbers in 0..65535.
bool numbers(const std::string& v, size_t n, std::vector<int>& out)
{
    out.clear();
    size_t at = 0;
    for (;;) {
        const size_t comma = v.find(',', at);
        const std::string_view part(v.data() + at, (comma == std::string::npos ? v.size() : comma) - at);
        int x = 0;
        auto [p, ec] = std::from_chars(part.data(), part.data() + part.size(), x);
        if (part.empty() || ec != std::errc() || p != part.data() + part.size() || x < 0 || x > 65535)
            return false;
        out.push_back(x);
        if (comma == std::string::npos)
            return out.size() == n;
        at = comma + 1;
    }
}

void key(std::vector<InputPacket>& out, uint8_t vk)
{
    out.push_back(MakeKeyPacket(input::kKeyDown, vk, 1));
    out.push_back(MakeKeyPacket(input::kKeyUp, vk, 1));
}

} // namespace

bool IsInputOption(const std::string& o) { return o == "--tap" || o == "--drag" || o == "--type" || o == "--key"; }

bool AppendInputOption(const std::string& option, const std::string& value, std::vector<InputPacket>& out,
                       std::string& error)
{
    std::vector<int> n;
    if (option == "--tap") {
        if (!numbers(value, 2, n)) {
            error = "--tap wants X,Y";
            return false;
        }
        out.push_back(MakeMousePacket(input::kLeftDown, n[0], n[1]));
        out.push_back(MakeMousePacket(input::kLeftUp, n[0], n[1]));
        return true;
    }
    if (option == "--drag") {
        if (!numbers(value, 4, n)) {
            error = "--drag wants X1,Y1,X2,Y2";
            return false;
        }
        out.push_back(MakeMousePacket(input::kLeftDown, n[0], n[1]));
        // A move every 8 pixels or so, as a mouse dragged across a window reports them.
        const int steps = std::max(1, std::max(std::abs(n[2] - n[0]), std::abs(n[3] - n[1])) / 8);
        for (int i = 1; i <= steps; ++i)
            out.push_back(MakeMousePacket(input::kMove, n[0] + (n[2] - n[0]) * i / steps,
                                          n[1] + (n[3] - n[1]) * i / steps));
        out.push_back(MakeMousePacket(input::kLeftUp, n[2], n[3]));
        return true;
    }
    if (option == "--type") {
        for (char c : value) {
            std::optional<KeyStroke> k = strokeFor(c);
            if (!k) {
                error = "--type cannot type the byte " + std::to_string(unsigned(uint8_t(c)));
                return false;
            }
            if (k->shift)
                out.push_back(MakeKeyPacket(input::kKeyDown, kShift, 1));
            key(out, k->vk);
            if (k->shift)
                out.push_back(MakeKeyPacket(input::kKeyUp, kShift, 1));
        }
        return true;
    }
    if (option == "--key") {
        const bool hex = value.rfind("0x", 0) == 0 || value.rfind("0X", 0) == 0;
        const std::string digits = hex ? value.substr(2) : value;
        unsigned code = 0;
        auto [p, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), code, hex ? 16 : 10);
        if (digits.empty() || ec != std::errc() || p != digits.data() + digits.size() || code == 0 || code > 255) {
            error = "--key wants a virtual key code 1..255 (decimal, or hex with 0x)";
            return false;
        }
        key(out, uint8_t(code));
        return true;
    }
    return false;
}

} // namespace sorvane::cli
