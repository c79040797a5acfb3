#pragma once
// Keys of the PC keyboard as the device knows them: Qt key codes to the virtual-key
// codes of the device's keyboard, which input packets carry.
//
// Letters and digits are their upper-case ASCII codes; the shifted digits and the
// punctuation keys of a US keyboard map to the key that produces them; keypad keys
// (Qt::KeypadModifier) map to the keypad codes 0x60..0x6F. Thread: any.

#include <cstdint>
#include <optional>

#include <Qt>

namespace sorvane {

// The virtual-key code of a Qt key, or nullopt for a key the device has no code for.
std::optional<uint8_t> VirtualKeyFor(int qtKey, Qt::KeyboardModifiers modifiers);

// Keys the program's accelerator table takes (F4 to F12, Shift+F1, Shift+F2,
// Shift+F11): they never reach the device.
bool IsAcceleratorKey(int qtKey, Qt::KeyboardModifiers modifiers);

// Keys that arrive as system keys (anything with Alt held, the Alt key itself, F10):
// swallowed, not forwarded.
bool IsSystemKey(int qtKey, Qt::KeyboardModifiers modifiers);

} // namespace sorvane
