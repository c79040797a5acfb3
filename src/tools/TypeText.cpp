#include "tools/TypeText.h"

namespace sorvane {
namespace {

constexpr uint8_t kShift = 0x10, kReturn = 0x0D, kTab = 0x09, kBack = 0x08, kSpace = 0x20;

struct Key {
    uint8_t code = 0; // 0: no key
    bool shift = false;
};

// The punctuation of a US keyboard: the key and whether Shift makes the character.
Key punctuation(char c)
{
    static constexpr struct {
        char plain, shifted;
        uint8_t code;
    } kKeys[] = {
        {';', ':', 0xBA}, {'=', '+', 0xBB}, {',', '<', 0xBC}, {'-', '_', 0xBD}, {'.', '>', 0xBE},
        {'/', '?', 0xBF}, {'`', '~', 0xC0}, {'[', '{', 0xDB}, {'\\', '|', 0xDC}, {']', '}', 0xDD},
        {'\'', '"', 0xDE}, {'1', '!', '1'}, {'2', '@', '2'}, {'3', '#', '3'}, {'4', '$', '4'},
        {'5', '%', '5'},  {'6', '^', '6'}, {'7', '&', '7'}, {'8', '*', '8'}, {'9', '(', '9'},
        {'0', ')', '0'},
    };
    for (const auto& k : kKeys) {
        if (c == k.plain)
            return {k.code, false};
        if (c == k.shifted)
            return {k.code, true};
    }
    return {};
}

Key keyOf(char c)
{
    if (c >= 'a' && c <= 'z')
        return {uint8_t(c - 'a' + 'A'), false};
    if (c >= 'A' && c <= 'Z')
        return {uint8_t(c), true};
    switch (c) {
    case ' ': return {kSpace, false};
    case '\n':
    case '\r': return {kReturn, false};
    case '\t': return {kTab, false};
    case '\b': return {kBack, false};
    default: return punctuation(c);
    }
}

// The length of the UTF-8 sequence that starts with b (1 for a stray byte).
size_t sequenceLength(uint8_t b) { return b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 1; }

} // namespace

TypedText TypeTextPackets(std::string_view text)
{
    TypedText out;
    for (size_t i = 0; i < text.size();) {
        const uint8_t b = uint8_t(text[i]);
        if (b >= 0x80) {
            const size_t n = std::min(sequenceLength(b), text.size() - i);
            const std::string_view ch = text.substr(i, n);
            if (out.missing.find(ch) == std::string::npos)
                out.missing += ch;
            i += n;
            continue;
        }
        const char c = char(b);
        ++i;
        if (c == '\n' && i >= 2 && text[i - 2] == '\r')
            continue; // CR LF is one Enter
        const Key k = keyOf(c);
        if (k.code == 0) {
            if (out.missing.find(c) == std::string::npos)
                out.missing += c;
            continue;
        }
        if (k.shift)
            out.packets.push_back(MakeKeyPacket(input::kKeyDown, kShift, 1));
        out.packets.push_back(MakeKeyPacket(input::kKeyDown, k.code, 1));
        out.packets.push_back(MakeKeyPacket(input::kKeyUp, k.code, 1));
        if (k.shift)
            out.packets.push_back(MakeKeyPacket(input::kKeyUp, kShift, 1));
    }
    return out;
}

std::vector<uint8_t> TypedTextMessage(const std::vector<InputPacket>& packets)
{
    std::vector<uint8_t> m;
    m.reserve(packets.size() * 8);
    for (const InputPacket& p : packets)
        m.insert(m.end(), p.begin(), p.end());
    return m;
}

} // namespace sorvane
