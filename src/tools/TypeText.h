#pragma once
// Text typed on the device's keyboard: each character becomes the key down / key up
// packets of a US keyboard ('V' and 'W', the virtual key code, repeat byte 1, as live
// keys are sent), with Shift held around the characters that need it: letters, digits,
// space, the punctuation of the US layout, Enter (LF, CR or CR LF), Tab and Backspace.
// Other characters may go through the device's clipboard instead: 'd' with their
// Windows-1252 text, then Ctrl+V.

#include <string>
#include <string_view>
#include <vector>

#include "view/InputPackets.h"

namespace sorvane {

struct TypedText {
    std::vector<InputPacket> packets;
    std::string missing; // the characters without a key, UTF-8, each once, in order
    // Through the device's clipboard: Windows-1252 text pasted ('d') before packet `at`.
    struct Paste {
        size_t at = 0;
        std::string text;
    };
    std::vector<Paste> pastes;
};

// The packets for `utf8`; when `missing` is not empty nothing should be sent.
// viaClipboard: each run of characters without a key is set as the device's clipboard
// text and pasted with Ctrl+V (key presses); `missing` then holds only the characters
// Windows-1252 lacks.
TypedText TypeTextPackets(std::string_view utf8, bool viaClipboard = false);

// The packets one after another, as one message.
std::vector<uint8_t> TypedTextMessage(const std::vector<InputPacket>& packets);
// The packets with the clipboard texts in their places, as one message.
std::vector<uint8_t> TypedTextMessage(const TypedText& typed);

} // namespace sorvane
