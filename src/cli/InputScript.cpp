#include "cli/InputScript.h"

#include <charconv>
#include <cstdlib>
#include <optional>

#include "platform/Utf8Text.h"
#include "tools/TypeText.h"

namespace sorvane::cli {
namespace {

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
        TypedText typed = TypeTextPackets(value);
        if (!typed.missing.empty()) {
            error = "--type: no key types " + EscapeText(typed.missing);
            return false;
        }
        out.insert(out.end(), typed.packets.begin(), typed.packets.end());
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
