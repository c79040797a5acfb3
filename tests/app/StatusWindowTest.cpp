// The status window of a connection.

#include <QLabel>
#include <QTest>
#include <QTimer>

#include "AppTests.h"
#include "app/LinkCounters.h"
#include "app/StatusWindow.h"
#include "link/Links.h"
#include "platform/Clock.h"

namespace sorvane::test {

class StatusWindowTest : public QObject {
    Q_OBJECT
private slots:
    void showsTheCountersOfItsSlotAndIsReused();
};

// The window shows the link slot's counters (unsigned 32-bit) on each refresh, its timer
// runs the same refresh, and a second command brings the one window forward.
void StatusWindowTest::showsTheCountersOfItsSlotAndIsReused()
{
    struct Source final : LinkCounterSource {
        LinkCounterSnapshot shown{4000000000u, 90000, 3, 11};
        LinkCounterSnapshot counters(int slot) const override { return slot == 4 ? shown : LinkCounterSnapshot{}; }
    } source;
    LinkCounterSnapshot& slot = source.shown;

    QPointer<StatusWindow> held;
    StatusWindow* first = StatusWindow::showFor(held, 4, "Cradle", source);
    QVERIFY(first && first->isVisible()); // its title: view_ui DeviceWindowTest, from a real connection
    auto values = [&] {
        QStringList v;
        for (const char* id : {"1", "2", "3", "4"})
            v << first->findChild<QLabel*>(id)->text();
        return v;
    };
    first->refresh();
    QCOMPARE(values(), QStringList({"4000000000", "90000", "3", "11"}));
    slot.keyPresses = 4;
    auto* timer = first->findChild<QTimer*>("statusTimer");
    QVERIFY(timer && timer->isActive());
    QVERIFY(QMetaObject::invokeMethod(timer, "timeout"));
    QCOMPARE(values()[2], QStringLiteral("4"));

    first->showMinimized();
    QCOMPARE(StatusWindow::showFor(held, 4, "Cradle", source), first);
    QVERIFY(!first->isMinimized());
    first->close(); // deletes itself
    QTRY_VERIFY(held.isNull()); // the device window's handle clears itself
    StatusWindow* again = StatusWindow::showFor(held, 4, "Cradle", source);
    QVERIFY(again && held.data() == again);
    delete again;
}

QObject* makeStatusWindowTest() { return new StatusWindowTest; }

} // namespace sorvane::test

#include "StatusWindowTest.moc"
