#include "tools/TypeText.h"

#include "tools/DeviceExchanges.h"
#include "tools/DeviceText.h"

namespace sorvane {
namespace {

constexpr uint8_t kShift = 0x10, kControl = 0x11, kReturn = 0x0D, kTab = 0x09, kBack = 0x08, kSpace = 0x20;

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

TypedText TypeTextPackets(std::string_view text, bool viaClipboard)
{
    TypedText out;
    std::string run; // characters without a key waiting to be pasted
    auto paste = [&] {
        if (run.empty())
            return;
        out.pastes.push_back({out.packets.size(), run});
        for (uint8_t code : {kControl, uint8_t('V')})
            out.packets.push_back(MakeKeyPacket(input::kKeyDown, code, 1));
        for (uint8_t code : {uint8_t('V'), kControl})
            out.packets.push_back(MakeKeyPacket(input::kKeyUp, code, 1));
        run.clear();
    };
    auto noKey = [&](std::string_view ch) {
        if (viaClipboard) {
            const DeviceTextResult device = ToDeviceText(ch);
            if (device.unmappable == 0 && device.bytes.size() == 1) {
                run += device.bytes;
                return;
            }
        }
        if (out.missing.find(ch) == std::string::npos)
            out.missing += ch;
    };
    for (size_t i = 0; i < text.size();) {
        const uint8_t b = uint8_t(text[i]);
        if (b >= 0x80) {
            const size_t n = std::min(sequenceLength(b), text.size() - i);
            noKey(text.substr(i, n));
            i += n;
            continue;
        }
        const char c = char(b);
        ++i;
        if (c == '\n' && i >= 2 && text[i - 2] == '\r')
            continue; // CR LF is one Enter
        const Key k = keyOf(c);
        if (k.code == 0) {
            noKey(text.substr(i - 1, 1));
            continue;
        }
        paste();
        if (k.shift)
            out.packets.push_back(MakeKeyPacket(input::kKeyDown, kShift, 1));
        out.packets.push_back(MakeKeyPacket(input::kKeyDown, k.code, 1));
        out.packets.push_back(MakeKeyPacket(input::kKeyUp, k.code, 1));
        if (k.shift)
            out.packets.push_back(MakeKeyPacket(input::kKeyUp, kShift, 1));
    }
    paste();
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

std::vector<uint8_t> TypedTextMessage(const TypedText& typed)
{
    std::vector<uint8_t> m;
    size_t next = 0;
    for (size_t i = 0; i <= typed.packets.size(); ++i) {
        for (; next < typed.pastes.size() && typed.pastes[next].at == i; ++next) {
            const std::vector<uint8_t> d = PasteMessage(typed.pastes[next].text);
            m.insert(m.end(), d.begin(), d.end());
        }
        if (i < typed.packets.size())
            m.insert(m.end(), typed.packets[i].begin(), typed.packets[i].end());
    }
    return m;
}

} // namespace sorvane
