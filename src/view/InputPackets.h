#pragma once
// Input packets and the per-connection input queue.
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

namespace sorvane {

using InputPacket = std::array<uint8_t, 8>;

namespace input {
inline constexpr uint8_t kLeftDown = 'T';
inline constexpr uint8_t kLeftUp = 'U';
inline constexpr uint8_t kKeyDown = 'V';
inline constexpr uint8_t kKeyUp = 'W';
inline constexpr uint8_t kMove = 'X';
inline constexpr uint8_t kLeftDouble = '[';
inline constexpr uint8_t kRightDown = '^';
inline constexpr uint8_t kRightUp = '_';
inline constexpr uint8_t kRightDouble = '`';
inline constexpr uint8_t kQueued = 'f';
} // namespace input

InputPacket MakeMousePacket(uint8_t code, int x, int y); // x, y sent as 16-bit values
InputPacket MakeKeyPacket(uint8_t code, uint8_t virtualKey, uint8_t repeat);

// F3 (0x72) becomes 0x5B; keypad 0..9 (0x60..0x69) become '0'..'9'; others pass.
uint8_t TranslateKey(uint8_t virtualKey);

// Queued input of one connection: the window thread appends, the connection thread
// drains once per poll as one 102 'f' message (code, 32-bit count, the packets).
// Appending and draining exclude each other, and each hands its message to `send`
// while it still holds the queue, so batches reach the link in the order they were made.
class InputQueue {
public:
    static constexpr size_t kCapacity = 512;
    using Send = std::function<void(std::span<const uint8_t>)>;

    // Appends a packet. A full queue is first sent as one message through `send`, so
    // no input is ever dropped or reordered.
    void append(const InputPacket& packet, const Send& send);
    // Sends everything queued as one message; returns the number of packets sent.
    size_t drain(const Send& send);
    size_t count() const;

private:
    void sendLocked(const Send& send);

    mutable std::mutex mutex_;
    std::array<uint8_t, kCapacity * 8> packets_{};
    size_t count_ = 0;
    std::vector<uint8_t> message_;
};

} // namespace sorvane
