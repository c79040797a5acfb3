// Mouse and keyboard input in the device window, as the simulator receives it.

#include <QClipboard>
#include <QDialog>
#include <QTest>

#include "ShellHarness.h"
#include "connect/ui/MakeConnectionDialog.h"
#include "ViewUiTests.h"

namespace sorvane::test {

class InputTest : public QObject {
    Q_OBJECT
private slots:
    void clicksReachTheDeviceTurnedAndScaled();
    void keysAreTranslatedAndAcceleratorsStayWithTheProgram();
    void queuedInputWaitsForThePollOnNetworkLinks();
    void broadcastTakesTapsAndPastesToTheOthers();
};

// The window hands its view (scale, rotation, toolbar) to the point mapping; the
// mapping itself for every scale and rotation is tests/view ViewGeometry's.
void InputTest::clicksReachTheDeviceTurnedAndScaled()
{
    ShellHarness h;
    LoopbackSim sim = startLoopbackSim({});
    DeviceWindow* w = h.connectNew("Taps", LinkKind::Wan, sim.address, 0, 2);
    QVERIFY(w);
    const int g = w->toolbarHeight();
    QWidget* client = w->client();
    const uint32_t clicksBefore = w->connection().counts().mouseClicks;

    // Scale 2, no rotation: client (100, g + 100) is device (50, 50).
    QTest::mouseClick(client, Qt::LeftButton, {}, QPoint(100, g + 100));
    QCOMPARE(nextInput(*sim.process), input('T', 50, 50));
    QCOMPARE(nextInput(*sim.process), input('U', 50, 50));

    // Rotation 270 at scale 4: client (40, g + 8) is picture (10, 2), device
    // (237, 10); a drag sends its moves, the right button its own codes.
    w->command(40078);
    w->command(40068);
    QTest::mousePress(client, Qt::LeftButton, {}, QPoint(40, g + 8));
    QTest::mouseMove(client, QPoint(44, g + 16));
    QTest::mouseRelease(client, Qt::LeftButton, {}, QPoint(44, g + 16));
    QCOMPARE(nextInput(*sim.process), input('T', 237, 10));
    QCOMPARE(nextInput(*sim.process), input('X', 235, 11));
    QCOMPARE(nextInput(*sim.process), input('U', 235, 11));
    QTest::mouseClick(client, Qt::RightButton, {}, QPoint(40, g + 8));
    QCOMPARE(nextInput(*sim.process), input('^', 237, 10));
    QCOMPARE(nextInput(*sim.process), input('_', 237, 10));
    QTest::mouseDClick(client, Qt::LeftButton, {}, QPoint(40, g + 8)); // the double click message alone
    QCOMPARE(nextInput(*sim.process), input('[', 237, 10));

    // Taps, right clicks and double clicks count as mouse clicks.
    QCOMPARE(w->connection().counts().mouseClicks - clicksBefore, 4u);
}

void InputTest::keysAreTranslatedAndAcceleratorsStayWithTheProgram()
{
    ShellHarness h;
    LoopbackSim sim = startLoopbackSim({});
    DeviceWindow* w = h.connectNew("Keys", LinkKind::Wan, sim.address);
    QVERIFY(w);
    QWidget* client = w->client();
    const uint32_t before = w->connection().counts().keyPresses;

    QTest::keyClick(client, Qt::Key_5, Qt::KeypadModifier);
    QCOMPARE(nextInput(*sim.process), input('V', 0x35, 1));
    QCOMPARE(nextInput(*sim.process), input('W', 0x35, 1));
    QTest::keyClick(client, Qt::Key_F3);
    QCOMPARE(nextInput(*sim.process), input('V', 0x5B, 1));
    QCOMPARE(nextInput(*sim.process), input('W', 0x5B, 1));

    // Accelerator keys (F4 to F12, Shift+F1, Shift+F2, Shift+F11) and system keys
    // (Alt and what is typed with it) never reach the device; the Shift key itself
    // does, and so do Tab and the letter after them.
    // F8 is Play/Pause: its "Run Script" dialog is cancelled.
    std::unique_ptr<QTimer> cancel(whenModal<QDialog>([](QDialog&) { return true; }, [](QDialog& d) { d.reject(); }));
    QTest::keyClick(client, Qt::Key_F8);
    QTest::keyClick(client, Qt::Key_F10);
    QTest::keyClick(client, Qt::Key_F11, Qt::ShiftModifier);
    QTest::keyClick(client, Qt::Key_X, Qt::AltModifier);
    QTest::keyClick(client, Qt::Key_Tab);
    QTest::keyClick(client, Qt::Key_Q);
    QCOMPARE(nextInput(*sim.process), input('V', 0x10, 1));
    QCOMPARE(nextInput(*sim.process), input('W', 0x10, 1));
    QCOMPARE(nextInput(*sim.process), input('V', 0x09, 1));
    QCOMPARE(nextInput(*sim.process), input('W', 0x09, 1));
    QCOMPARE(nextInput(*sim.process), input('V', 'Q', 1));
    QCOMPARE(nextInput(*sim.process), input('W', 'Q', 1));
    QCOMPARE(w->connection().counts().keyPresses - before, 5u);
}

void InputTest::queuedInputWaitsForThePollOnNetworkLinks()
{
    ShellHarness h;
    h.shell->settings().QueueEvents = 1;
    LoopbackSim sim = startLoopbackSim({});
    // A LAN profile made at start-up goes through the timed dialog straight to its
    // address.
    const int index = h.addProfile("Lan", LinkKind::Lan, sim.address, 0, 1, 1);
    RunMakeConnectionDialog(h.shell->mainWindow(), h.shell->connectContext(), index);
    DeviceWindow* w = h.windowOf(index);
    QVERIFY(w);
    const int g = w->toolbarHeight();
    QTest::mouseClick(w->client(), Qt::LeftButton, {}, QPoint(5, g + 6));
    QTest::keyClick(w->client(), Qt::Key_B);
    // Nothing went out on its own: every event arrives inside a batch (one 102
    // message) sent with a poll, and in order.
    std::vector<QString> events;
    int inBatch = 0;
    while (events.size() < 4) {
        const QString line = nextInput(*sim.process);
        QVERIFY2(!line.isEmpty(), "the queued events did not arrive");
        if (line.startsWith("batch ")) {
            QCOMPARE(inBatch, 0);
            inBatch = line.mid(6).toInt();
            QVERIFY(inBatch >= 1);
            continue;
        }
        QVERIFY2(inBatch > 0, qPrintable(line));
        --inBatch;
        events.push_back(line);
    }
    QCOMPARE(events[0], input('T', 5, 6));
    QCOMPARE(events[1], input('U', 5, 6));
    QCOMPARE(events[2], input('V', 'B', 1));
    QCOMPARE(events[3], input('W', 'B', 1));
}

// Broadcast Input on a device window: its taps reach the other device at the same place
// of its larger picture, its pastes too; the title says so; the same command ends it.
void InputTest::broadcastTakesTapsAndPastesToTheOthers()
{
    ShellHarness h;
    LoopbackSim lead = startLoopbackSim({});
    LoopbackSim big = startLoopbackSim({"--width", "480", "--height", "640"});
    DeviceWindow* w = h.connectNew("Lead", LinkKind::Wan, lead.address);
    QVERIFY(w && h.connectNew("Big", LinkKind::Wan, big.address));
    const QString title = w->windowTitle();
    w->command(cmd::BroadcastInput);
    QTRY_COMPARE(w->windowTitle(), title + QString::fromUtf8(" \u2014 Broadcasting to 1 device"));
    QVERIFY(w->action(cmd::BroadcastInput)->isChecked());
    QTest::mouseClick(w->client(), Qt::LeftButton, {}, QPoint(10, w->toolbarHeight() + 20));
    QCOMPARE(nextInput(*lead.process), input('T', 10, 20));
    QCOMPARE(nextInput(*big.process), input('T', 21, 41));
    QCOMPARE(nextInput(*big.process), input('U', 21, 41));
    QApplication::clipboard()->setText("both");
    w->command(cmd::PasteToDevice);
    QCOMPARE(nextLine(*big.process, {"paste"}), std::string("paste 4 626f7468"));
    w->command(cmd::BroadcastInput);
    QTRY_COMPARE(w->windowTitle(), title);
    QVERIFY(!w->action(cmd::BroadcastInput)->isChecked());
}

QObject* makeInputTest() { return new InputTest; }

} // namespace sorvane::test

#include "InputTest.moc"
