#pragma once
// Text typed on the device's keyboard: each character becomes the key down / key up
// packets of a US keyboard ('V' and 'W', the virtual key code, repeat byte 1, as live
// keys are sent), with Shift held around the characters that need it: letters, digits,
// space, the punctuation of the US layout, Enter (LF, CR or CR LF), Tab and Backspace.

#include <string>
#include <string_view>
#include <vector>

#include "view/InputPackets.h"

namespace sorvane {

struct TypedText {
    std::vector<InputPacket> packets;
    std::string missing; // the characters without a key, UTF-8, each once, in order
};

// The packets for `utf8`; when `missing` is not empty nothing should be sent.
TypedText TypeTextPackets(std::string_view utf8);

// The packets one after another, as one message.
std::vector<uint8_t> TypedTextMessage(const std::vector<InputPacket>& packets);

} // namespace sorvane
