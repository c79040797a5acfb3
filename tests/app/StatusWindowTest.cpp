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

namespace {

class SettableCounters final : public LinkCounterSource {
public:
    LinkCounterSnapshot counters(int slot) const override
    {
        asked.push_back(slot);
        return value;
    }
    LinkCounterSnapshot value;
    mutable std::vector<int> asked;
};

} // namespace

class StatusWindowTest : public QObject {
    Q_OBJECT
private slots:
    void showsCountersOfItsSlot();
    void secondCommandReusesWindowAndReadsLinkSlot();
};

void StatusWindowTest::showsCountersOfItsSlot()
{
    SettableCounters source;
    QPointer<StatusWindow> window = new StatusWindow(7, "PocketPC", source);
    QCOMPARE(window->objectName(), QStringLiteral("KWXSTATUS"));
    QCOMPARE(window->windowTitle(), QStringLiteral("Status - PocketPC"));
    QCOMPARE(window->slot(), 7);
    QVERIFY(!(window->windowFlags() & Qt::WindowMaximizeButtonHint));
    QStringList labels;
    for (QLabel* l : window->findChildren<QLabel*>()) {
        if (l->objectName().isEmpty())
            labels << l->text();
    }
    QCOMPARE(labels, QStringList({"Total Bytes Sent:", "Total Bytes Received:", "Total Key Presses:",
                                  "Total Mouse Clicks:"}));
    for (int id = 1; id <= 4; ++id) {
        QLabel* value = window->findChild<QLabel*>(QString::number(id));
        QVERIFY(value);
        QCOMPARE(value->text(), QString()); // empty until the first refresh
    }
    auto* timer = window->findChild<QTimer*>("statusTimer");
    QVERIFY(timer && timer->isActive());
    QCOMPARE(timer->interval(), 3000);

    source.value = {4000000000u, 123456, 42, 7}; // counters are unsigned 32-bit
    window->refresh();
    QCOMPARE(window->findChild<QLabel*>("1")->text(), QStringLiteral("4000000000"));
    QCOMPARE(window->findChild<QLabel*>("2")->text(), QStringLiteral("123456"));
    QCOMPARE(window->findChild<QLabel*>("3")->text(), QStringLiteral("42"));
    QCOMPARE(window->findChild<QLabel*>("4")->text(), QStringLiteral("7"));
    QCOMPARE(source.asked, std::vector<int>{7});

    // The timer drives the same refresh.
    source.value.keyPresses = 43;
    QVERIFY(QMetaObject::invokeMethod(timer, "timeout"));
    QCOMPARE(window->findChild<QLabel*>("3")->text(), QStringLiteral("43"));

    window->show();
    window->showMinimized();
    window->bringForward();
    QVERIFY(!window->isMinimized());
    window->close(); // deletes itself
    QTRY_VERIFY(window.isNull());
}

void StatusWindowTest::secondCommandReusesWindowAndReadsLinkSlot()
{
    ManualClock clock;
    Links links(clock);
    links.find(4)->bytesSent = 1500;
    links.find(4)->bytesReceived = 90000;
    links.find(4)->keyPresses = 3;
    links.find(4)->mouseClicks = 11;
    LinksCounterSource source(links);
    QCOMPARE(source.counters(33).bytesSent, 0u); // no such slot

    QPointer<StatusWindow> held;
    StatusWindow* first = StatusWindow::showFor(held, 4, "Cradle", source);
    QVERIFY(first && first->isVisible());
    first->showMinimized();
    QCOMPARE(StatusWindow::showFor(held, 4, "Cradle", source), first);
    QVERIFY(!first->isMinimized());
    first->refresh();
    QCOMPARE(first->findChild<QLabel*>("1")->text(), QStringLiteral("1500"));
    QCOMPARE(first->findChild<QLabel*>("2")->text(), QStringLiteral("90000"));
    QCOMPARE(first->findChild<QLabel*>("3")->text(), QStringLiteral("3"));
    QCOMPARE(first->findChild<QLabel*>("4")->text(), QStringLiteral("11"));
    first->close();
    QTRY_VERIFY(held.isNull()); // the device window's handle clears itself
    StatusWindow* again = StatusWindow::showFor(held, 4, "Cradle", source);
    QVERIFY(again && held.data() == again);
    delete again;
}

QObject* makeStatusWindowTest() { return new StatusWindowTest; }

} // namespace sorvane::test

#include "StatusWindowTest.moc"
