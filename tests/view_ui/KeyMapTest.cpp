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
    auto vk = [](int key, Qt::KeyboardModifiers m = {}) { return VirtualKeyFor(key, m).value_or(0); };
    QCOMPARE(vk(Qt::Key_A), 0x41);
    QCOMPARE(vk(Qt::Key_Z, Qt::ShiftModifier), 0x5A);
    QCOMPARE(vk(Qt::Key_0), 0x30);
    QCOMPARE(vk(Qt::Key_ParenLeft, Qt::ShiftModifier), 0x39);
    QCOMPARE(vk(Qt::Key_F1), 0x70);
    QCOMPARE(vk(Qt::Key_F24), 0x87);
    QCOMPARE(vk(Qt::Key_Left), 0x25);
    QCOMPARE(vk(Qt::Key_Down), 0x28);
    QCOMPARE(vk(Qt::Key_PageUp), 0x21);
    QCOMPARE(vk(Qt::Key_End), 0x23);
    QCOMPARE(vk(Qt::Key_Insert), 0x2D);
    QCOMPARE(vk(Qt::Key_Delete), 0x2E);
    QCOMPARE(vk(Qt::Key_Backspace), 0x08);
    QCOMPARE(vk(Qt::Key_Backtab, Qt::ShiftModifier), 0x09);
    QCOMPARE(vk(Qt::Key_Return), 0x0D);
    QCOMPARE(vk(Qt::Key_Escape), 0x1B);
    QCOMPARE(vk(Qt::Key_Space), 0x20);
    QCOMPARE(vk(Qt::Key_Control), 0x11);
    QCOMPARE(vk(Qt::Key_Semicolon), 0xBA);
    QCOMPARE(vk(Qt::Key_Plus, Qt::ShiftModifier), 0xBB);
    QCOMPARE(vk(Qt::Key_Less, Qt::ShiftModifier), 0xBC);
    QCOMPARE(vk(Qt::Key_Underscore, Qt::ShiftModifier), 0xBD);
    QCOMPARE(vk(Qt::Key_Question, Qt::ShiftModifier), 0xBF);
    QCOMPARE(vk(Qt::Key_AsciiTilde, Qt::ShiftModifier), 0xC0);
    QCOMPARE(vk(Qt::Key_BraceLeft, Qt::ShiftModifier), 0xDB);
    QCOMPARE(vk(Qt::Key_Bar, Qt::ShiftModifier), 0xDC);
    QCOMPARE(vk(Qt::Key_BracketRight), 0xDD);
    QCOMPARE(vk(Qt::Key_QuoteDbl, Qt::ShiftModifier), 0xDE);
    // The keypad has codes of its own; its Enter and navigation keys are the main
    // block's.
    for (int d = 0; d <= 9; ++d)
        QCOMPARE(vk(Qt::Key_0 + d, Qt::KeypadModifier), 0x60 + d);
    QCOMPARE(vk(Qt::Key_Asterisk, Qt::KeypadModifier), 0x6A);
    QCOMPARE(vk(Qt::Key_Plus, Qt::KeypadModifier), 0x6B);
    QCOMPARE(vk(Qt::Key_Minus, Qt::KeypadModifier), 0x6D);
    QCOMPARE(vk(Qt::Key_Period, Qt::KeypadModifier), 0x6E);
    QCOMPARE(vk(Qt::Key_Slash, Qt::KeypadModifier), 0x6F);
    QCOMPARE(vk(Qt::Key_Enter, Qt::KeypadModifier), 0x0D);
    QCOMPARE(vk(Qt::Key_Home, Qt::KeypadModifier), 0x24);
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
    QVERIFY(IsSystemKey(Qt::Key_F10, {}));
    QVERIFY(IsSystemKey(Qt::Key_Alt, {}));
    QVERIFY(IsSystemKey(Qt::Key_A, Qt::AltModifier));
    QVERIFY(!IsSystemKey(Qt::Key_A, Qt::ControlModifier));
}

QObject* makeKeyMapTest() { return new KeyMapTest; }

} // namespace sorvane::test

#include "KeyMapTest.moc"
