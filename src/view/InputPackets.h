#pragma once
// Input packets.
//
// An input packet is 8 bytes: a command packet {code, 0xFF, code, 0x11}, then either
// x and y as 16-bit little-endian device pixels (mouse), or the virtual key code, the
// low byte of the repeat count and two zero bytes (keys). The agent sends no reply.

#include <array>
#include <cstdint>
#include <functional>
#include <mutex>
#include <span>
#include <vector>

#include "link/CommandPacket.h"

namespace sorvane {

using InputPacket = std::array<uint8_t, 8>;

namespace input {
inline constexpr uint8_t kLeftDown = CmdLeftDown;
inline constexpr uint8_t kLeftUp = CmdLeftUp;
inline constexpr uint8_t kKeyDown = CmdKeyDown;
inline constexpr uint8_t kKeyUp = CmdKeyUp;
inline constexpr uint8_t kMove = CmdMouseMove;
inline constexpr uint8_t kLeftDouble = CmdDoubleClick;
inline constexpr uint8_t kRightDown = CmdRightDown;
inline constexpr uint8_t kRightUp = CmdRightUp;
inline constexpr uint8_t kRightDouble = CmdRightDoubleClick;
inline constexpr uint8_t kQueued = CmdQueuedInput;
} // namespace input

InputPacket MakeMousePacket(uint8_t code, int x, int y); // x, y sent as 16-bit values
InputPacket MakeKeyPacket(uint8_t code, uint8_t virtualKey, uint8_t repeat);

// One 102 'f' message of queued packets: the code, a 32-bit count, the packets.
std::vector<uint8_t> QueuedInputMessage(std::span<const InputPacket> packets);

// F3 (0x72) becomes 0x5B; keypad 0..9 (0x60..0x69) become '0'..'9'; others pass.
uint8_t TranslateKey(uint8_t virtualKey);

} // namespace sorvane
