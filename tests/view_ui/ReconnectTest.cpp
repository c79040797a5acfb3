// A WAN link the device drops is made again by itself: the window stays with its
// picture greyed, the program dials the same address when a device listens there
// again, and the picture is the device's again. Suspend ends that.

#include <QLabel>
#include <QTest>

#include "ShellHarness.h"
#include "ViewUiTests.h"
#include "files/ui/ExplorerWindow.h"
#include "tools/ui/DeviceInfoDialog.h"
#include "view/CommandIds.h"

namespace sorvane::test {

namespace {

std::vector<std::string> simArgs(const std::filesystem::path& dumps, std::vector<std::string> more = {})
{
    std::vector<std::string> args = {"--name", "Pocket", "--picture", "synthetic", "--still-after", "3",
                                     "--dump-dir", dumps.string()};
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

} // namespace

class ReconnectTest : public QObject {
    Q_OBJECT
private slots:
    void droppedLinkComesBackInTheSameWindow();
    void suspendEndsTheLinkForGood();
};

void ReconnectTest::droppedLinkComesBackInTheSameWindow()
{
    ShellHarness h;
    TempDir first, second;
    LoopbackSim sim = startLoopbackSim(simArgs(first.path(), {"--close-after", "30"}));
    QPointer<DeviceWindow> w = h.connectNew("Field", LinkKind::Wan, sim.address);
    QVERIFY(w);
    w->command(devcmd::Scale2);
    const int slot = w->slot();

    // The device goes away: the window stays, counting down to its next attempt.
    QTRY_VERIFY_WITH_TIMEOUT(w && w->connection().reconnecting(), 20000);
    QTRY_COMPARE(h.shell->program().device(slot)->state(), DeviceState::Reconnecting);
    sim.process.reset();
    QTest::qWait(50);
    QVERIFY(w);
    QTRY_VERIFY_WITH_TIMEOUT(w->statusLine()->toolTip().startsWith("reconnecting"), 5000);
    QVERIFY(h.ui.messages.shown.empty());

    // Meanwhile what needs the device is refused, and each refusal says why.
    for (int id : {devcmd::PasteToDevice, devcmd::SoftReset, devcmd::TypeText})
        w->command(id);
    QCOMPARE(h.ui.messages.shown.size(), size_t(3));
    for (const MessageRequest& m : h.ui.messages.shown)
        QVERIFY2(m.text.find("the device is reconnecting") != std::string::npos, m.text.c_str());
    QString info;
    auto note = [&info](DeviceInfoDialog& d) { info = d.findChild<QLabel*>("waiting")->text(), d.reject(); };
    std::unique_ptr<QTimer> answer(whenModal<DeviceInfoDialog>([](DeviceInfoDialog& d) { return !d.waiting(); }, note));
    w->command(devcmd::DeviceInfo);
    QVERIFY2(info.contains("reconnecting"), qPrintable(info));
    w->command(devcmd::FileExplorer);
    QTRY_COMPARE(w->findChild<ExplorerWindow*>()->deviceNote(), QStringLiteral("The device is reconnecting."));

    // It listens again on the same address and port: the same window shows it again.
    SimProcess again(simArgs(second.path(), {"--host", sim.host, "--port", "1899"}), std::chrono::seconds(20));
    QTRY_VERIFY_WITH_TIMEOUT(w && !w->connection().reconnecting(), 40000);
    QCOMPARE(w->slot(), slot);
    QCOMPARE(w->geometry().scale, 2);
    QVERIFY(stillPictureSent(again, 3));
    QTRY_VERIFY_WITH_TIMEOUT(pictureMatchesDump(*w, second / "main.ppm", 0, 2), 20000);
    QTRY_VERIFY_WITH_TIMEOUT(w->statusLine()->toolTip().startsWith("live"), 5000);
    QVERIFY(w->connection().figures().updates > 0);
    QCOMPARE(h.shell->program().device(slot)->state(), DeviceState::Live);
}

void ReconnectTest::suspendEndsTheLinkForGood()
{
    ShellHarness h;
    TempDir dumps;
    LoopbackSim sim = startLoopbackSim(simArgs(dumps.path()));
    QPointer<DeviceWindow> w = h.connectNew("Field", LinkKind::Wan, sim.address);
    QVERIFY(w);
    QVERIFY(w->connection().reconnects());
    const int slot = w->slot();
    QVERIFY(!nextLine(*sim.process, {"connected"}).empty());
    w->command(devcmd::Suspend);
    QVERIFY(!w || !w->connection().reconnects());
    QTRY_VERIFY_WITH_TIMEOUT(!w, 10000);
    // The window took its device with it.
    QCOMPARE(h.shell->program().device(slot), nullptr);
    // No attempt follows: the simulator sees no second connection.
    QVERIFY(nextLine(*sim.process, {"connected"}, std::chrono::seconds(3)).empty());
}

QObject* makeReconnectTest() { return new ReconnectTest; }

} // namespace sorvane::test

#include "ReconnectTest.moc"
