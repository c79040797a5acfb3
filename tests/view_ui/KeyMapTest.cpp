// The PC keyboard as the device knows it.

#include <QTest>

#include "ViewUiTests.h"
#include "view/ui/KeyMap.h"

namespace sorvane::test {

class KeyMapTest : public QObject {
    Q_OBJECT
private slots:
    void keysMapToDeviceCodes();
    void acceleratorAndSystemKeys();
};

void KeyMapTest::keysMapToDeviceCodes()
{
    constexpr Qt::KeyboardModifiers none{}, shift = Qt::ShiftModifier, pad = Qt::KeypadModifier;
    // The keypad has codes of its own; its Enter and navigation keys are the main block's.
    const struct {
        int key;
        Qt::KeyboardModifiers modifiers;
        int code;
    } cases[] = {
        {Qt::Key_A, none, 0x41},           {Qt::Key_Z, shift, 0x5A},          {Qt::Key_0, none, 0x30},
        {Qt::Key_ParenLeft, shift, 0x39},  {Qt::Key_F1, none, 0x70},          {Qt::Key_F24, none, 0x87},
        {Qt::Key_Left, none, 0x25},        {Qt::Key_Down, none, 0x28},        {Qt::Key_PageUp, none, 0x21},
        {Qt::Key_End, none, 0x23},         {Qt::Key_Insert, none, 0x2D},      {Qt::Key_Delete, none, 0x2E},
        {Qt::Key_Backspace, none, 0x08},   {Qt::Key_Backtab, shift, 0x09},    {Qt::Key_Return, none, 0x0D},
        {Qt::Key_Escape, none, 0x1B},      {Qt::Key_Space, none, 0x20},       {Qt::Key_Control, none, 0x11},
        {Qt::Key_Semicolon, none, 0xBA},   {Qt::Key_Plus, shift, 0xBB},       {Qt::Key_Less, shift, 0xBC},
        {Qt::Key_Underscore, shift, 0xBD}, {Qt::Key_Question, shift, 0xBF},   {Qt::Key_AsciiTilde, shift, 0xC0},
        {Qt::Key_BraceLeft, shift, 0xDB},  {Qt::Key_Bar, shift, 0xDC},        {Qt::Key_BracketRight, none, 0xDD},
        {Qt::Key_QuoteDbl, shift, 0xDE},   {Qt::Key_0, pad, 0x60},            {Qt::Key_9, pad, 0x69},
        {Qt::Key_Asterisk, pad, 0x6A},     {Qt::Key_Plus, pad, 0x6B},         {Qt::Key_Minus, pad, 0x6D},
        {Qt::Key_Period, pad, 0x6E},       {Qt::Key_Slash, pad, 0x6F},        {Qt::Key_Enter, pad, 0x0D},
        {Qt::Key_Home, pad, 0x24},
    };
    for (const auto& c : cases)
        QVERIFY2(VirtualKeyFor(c.key, c.modifiers).value_or(0) == c.code, qPrintable(QString::number(c.key, 16)));
    QVERIFY(!VirtualKeyFor(Qt::Key_VolumeUp, {}));
}

void KeyMapTest::acceleratorAndSystemKeys()
{
    for (int key = Qt::Key_F4; key <= Qt::Key_F12; ++key)
        QVERIFY(IsAcceleratorKey(key, {}));
    QVERIFY(IsAcceleratorKey(Qt::Key_F1, Qt::ShiftModifier));
    QVERIFY(IsAcceleratorKey(Qt::Key_F2, Qt::ShiftModifier));
    QVERIFY(!IsAcceleratorKey(Qt::Key_F1, {}));
    QVERIFY(!IsAcceleratorKey(Qt::Key_F3, {}));
    QVERIFY(!IsAcceleratorKey(Qt::Key_F13, {}));
    // Alt and Alt with a letter: InputTest, as the device sees them.
    QVERIFY(IsSystemKey(Qt::Key_F10, {}));
    QVERIFY(!IsSystemKey(Qt::Key_A, Qt::ControlModifier));
}

QObject* makeKeyMapTest() { return new KeyMapTest; }

} // namespace sorvane::test

#include "KeyMapTest.moc"
