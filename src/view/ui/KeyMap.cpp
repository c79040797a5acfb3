#include "view/ui/KeyMap.h"

namespace sorvane {

namespace vk {
constexpr uint8_t Back = 0x08, Tab = 0x09, Clear = 0x0C, Return = 0x0D, Shift = 0x10, Control = 0x11,
                  Menu = 0x12, Pause = 0x13, Capital = 0x14, Escape = 0x1B, Space = 0x20, Prior = 0x21,
                  Next = 0x22, End = 0x23, Home = 0x24, Left = 0x25, Up = 0x26, Right = 0x27, Down = 0x28,
                  Snapshot = 0x2C, Insert = 0x2D, Delete = 0x2E, LeftWin = 0x5B, Apps = 0x5D, Numpad0 = 0x60,
                  Multiply = 0x6A, Add = 0x6B, Subtract = 0x6D, Decimal = 0x6E, Divide = 0x6F, F1 = 0x70,
                  NumLock = 0x90, ScrollLock = 0x91, Oem1 = 0xBA, OemPlus = 0xBB, OemComma = 0xBC,
                  OemMinus = 0xBD, OemPeriod = 0xBE, Oem2 = 0xBF, Oem3 = 0xC0, Oem4 = 0xDB, Oem5 = 0xDC,
                  Oem6 = 0xDD, Oem7 = 0xDE;
} // namespace vk

namespace {

std::optional<uint8_t> keypadKey(int key)
{
    if (key >= Qt::Key_0 && key <= Qt::Key_9)
        return uint8_t(vk::Numpad0 + (key - Qt::Key_0));
    switch (key) {
    case Qt::Key_Asterisk: return vk::Multiply;
    case Qt::Key_Plus: return vk::Add;
    case Qt::Key_Minus: return vk::Subtract;
    case Qt::Key_Period:
    case Qt::Key_Comma: return vk::Decimal;
    case Qt::Key_Slash: return vk::Divide;
    default: return std::nullopt; // Enter and the navigation keys: as on the main block
    }
}

} // namespace

std::optional<uint8_t> VirtualKeyFor(int key, Qt::KeyboardModifiers modifiers)
{
    if (modifiers & Qt::KeypadModifier) {
        if (std::optional<uint8_t> k = keypadKey(key))
            return k;
    }
    if (key >= Qt::Key_A && key <= Qt::Key_Z)
        return uint8_t(key);
    if (key >= Qt::Key_0 && key <= Qt::Key_9)
        return uint8_t(key);
    if (key >= Qt::Key_F1 && key <= Qt::Key_F24)
        return uint8_t(vk::F1 + (key - Qt::Key_F1));
    switch (key) {
    // Shifted digits of a US keyboard: the digit key.
    case Qt::Key_Exclam: return uint8_t('1');
    case Qt::Key_At: return uint8_t('2');
    case Qt::Key_NumberSign: return uint8_t('3');
    case Qt::Key_Dollar: return uint8_t('4');
    case Qt::Key_Percent: return uint8_t('5');
    case Qt::Key_AsciiCircum: return uint8_t('6');
    case Qt::Key_Ampersand: return uint8_t('7');
    case Qt::Key_Asterisk: return uint8_t('8');
    case Qt::Key_ParenLeft: return uint8_t('9');
    case Qt::Key_ParenRight: return uint8_t('0');

    case Qt::Key_Backspace: return vk::Back;
    case Qt::Key_Tab:
    case Qt::Key_Backtab: return vk::Tab;
    case Qt::Key_Clear: return vk::Clear;
    case Qt::Key_Return:
    case Qt::Key_Enter: return vk::Return;
    case Qt::Key_Shift: return vk::Shift;
    case Qt::Key_Control: return vk::Control;
    case Qt::Key_Alt:
    case Qt::Key_AltGr: return vk::Menu;
    case Qt::Key_Pause: return vk::Pause;
    case Qt::Key_CapsLock: return vk::Capital;
    case Qt::Key_Escape: return vk::Escape;
    case Qt::Key_Space: return vk::Space;
    case Qt::Key_PageUp: return vk::Prior;
    case Qt::Key_PageDown: return vk::Next;
    case Qt::Key_End: return vk::End;
    case Qt::Key_Home: return vk::Home;
    case Qt::Key_Left: return vk::Left;
    case Qt::Key_Up: return vk::Up;
    case Qt::Key_Right: return vk::Right;
    case Qt::Key_Down: return vk::Down;
    case Qt::Key_Print: return vk::Snapshot;
    case Qt::Key_Insert: return vk::Insert;
    case Qt::Key_Delete: return vk::Delete;
    case Qt::Key_Meta:
    case Qt::Key_Super_L:
    case Qt::Key_Super_R: return vk::LeftWin;
    case Qt::Key_Menu: return vk::Apps;
    case Qt::Key_NumLock: return vk::NumLock;
    case Qt::Key_ScrollLock: return vk::ScrollLock;

    // Punctuation of a US keyboard, plain and shifted.
    case Qt::Key_Semicolon:
    case Qt::Key_Colon: return vk::Oem1;
    case Qt::Key_Equal:
    case Qt::Key_Plus: return vk::OemPlus;
    case Qt::Key_Comma:
    case Qt::Key_Less: return vk::OemComma;
    case Qt::Key_Minus:
    case Qt::Key_Underscore: return vk::OemMinus;
    case Qt::Key_Period:
    case Qt::Key_Greater: return vk::OemPeriod;
    case Qt::Key_Slash:
    case Qt::Key_Question: return vk::Oem2;
    case Qt::Key_QuoteLeft:
    case Qt::Key_AsciiTilde: return vk::Oem3;
    case Qt::Key_BracketLeft:
    case Qt::Key_BraceLeft: return vk::Oem4;
    case Qt::Key_Backslash:
    case Qt::Key_Bar: return vk::Oem5;
    case Qt::Key_BracketRight:
    case Qt::Key_BraceRight: return vk::Oem6;
    case Qt::Key_Apostrophe:
    case Qt::Key_QuoteDbl: return vk::Oem7;
    default: return std::nullopt;
    }
}

bool IsAcceleratorKey(int key, Qt::KeyboardModifiers modifiers)
{
    const bool shift = modifiers & Qt::ShiftModifier;
    if (key >= Qt::Key_F4 && key <= Qt::Key_F12)
        return true;
    return shift && (key == Qt::Key_F1 || key == Qt::Key_F2);
}

bool IsSystemKey(int key, Qt::KeyboardModifiers modifiers)
{
    return (modifiers & Qt::AltModifier) || key == Qt::Key_Alt || key == Qt::Key_F10;
}

} // namespace sorvane
