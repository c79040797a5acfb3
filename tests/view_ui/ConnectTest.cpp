// Connecting through the main window's commands: the timed connect dialog, the
// in-use check, cancelling, passwords, start-up connections and the profile dialogs.

#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "ShellHarness.h"
#include "ViewUiTests.h"
#include "view/CommandIds.h"
#include "connect/ActiveSyncAdapter.h"
#include "connect/ui/ConnectCommand.h"
#include "connect/ui/MakeConnectionDialog.h"
#include "link/ui/PasswordDialog.h"

namespace sorvane::test {

namespace {

// Port 1899 of a loopback address of its own, listening and never answering.
struct SilentAgent {
    int fd = -1;
    uint32_t address = 0;
    SilentAgent()
    {
        for (unsigned n = 3 + unsigned(getpid()) % 190; n < 255 && fd < 0; n += 5) {
            int s = socket(AF_INET, SOCK_STREAM, 0);
            int one = 1;
            setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
            sockaddr_in a{};
            a.sin_family = AF_INET;
            a.sin_port = htons(1899);
            a.sin_addr.s_addr = htonl(0x7F000000u | n);
            if (bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 && listen(s, 4) == 0) {
                fd = s;
                address = 0x7F000000u | n;
            } else {
                close(s);
            }
        }
    }
    ~SilentAgent()
    {
        if (fd >= 0)
            close(fd);
    }
};


} // namespace

class ConnectTest : public QObject {
    Q_OBJECT
private slots:
    void sameWanProfileTwiceIsRefusedTwoAddressesConnectSideBySide();
    void cancelDuringAnAttemptLeavesTheSlotFree();
    void passwordIsAskedFromTheAttempt();
    void activeSyncNeedsTheServiceRunning();
    void kindsWithTheirOwnDialogs();
    void inboundConnectionsOpenWindows();
    void startupConnectsMarkedProfilesAndTheCommandLineHost();
    void profileCommandsOfTheMainWindow();
};

// A device that is ready connects at once: the first attempt does not wait for the
// period between attempts (an hour here; the harness gives up on a dialog after 30 s).
void ConnectTest::sameWanProfileTwiceIsRefusedTwoAddressesConnectSideBySide()
{
    ShellHarness h;
    h.shell->connectContext().attemptPeriodMs = 3600 * 1000;
    LoopbackSim one = startLoopbackSim({"--name", "One"});
    LoopbackSim two = startLoopbackSim({"--name", "Two"});
    const int a = h.addProfile("First", LinkKind::Wan, one.address);
    const int b = h.addProfile("Second", LinkKind::Wan, two.address);
    h.connect(a);
    QVERIFY(h.windowOf(a));
    QVERIFY(h.ui.messages.shown.empty());

    h.connect(a);
    QCOMPARE(h.ui.messages.shown.size(), size_t(1));
    QCOMPARE(h.ui.messages.shown[0].text, std::string(kSingleInstanceText));
    QCOMPARE(h.ui.messages.shown[0].caption, std::string("WAN / Internet"));
    QVERIFY(h.ui.messages.shown[0].icon == MessageIcon::Stop);
    QCOMPARE(h.shell->connectionWindows().liveSlots().size(), size_t(1));

    // Through the main window's Connect button, with the other profile selected.
    h.shell->mainWindow()->connectionsList()->clearSelection();
    h.shell->mainWindow()->connectionsList()->topLevelItem(b)->setSelected(true);
    h.shell->mainWindow()->runCommand(cmd::Connect);
    QVERIFY(h.windowOf(b));
    QVERIFY(h.windowOf(a)->slot() != h.windowOf(b)->slot());
    QCOMPARE(h.statusOf(a), QStringLiteral("In Use"));
    QCOMPARE(h.statusOf(b), QStringLiteral("In Use"));
    QCOMPARE(h.shell->links().liveConnections.load(), 2u);
}

void ConnectTest::cancelDuringAnAttemptLeavesTheSlotFree()
{
    ShellHarness h;
    SilentAgent agent;
    QVERIFY(agent.fd >= 0);
    const int index = h.addProfile("Silent", LinkKind::Wan, agent.address);
    QString progress;
    int accepted = -1;
    std::unique_ptr<QTimer> cancel(whenModal<MakeConnectionDialog>(
        [&](MakeConnectionDialog& d) {
            // The attempt is connected and waits for the hello's answer.
            if (d.attemptRunning() && accepted < 0)
                accepted = accept4(agent.fd, nullptr, nullptr, SOCK_NONBLOCK);
            return accepted >= 0 && d.attemptRunning();
        },
        [&](MakeConnectionDialog& d) {
            progress = d.progressText();
            d.findChild<QPushButton*>(QStringLiteral("2"))->click();
        }));
    h.connect(index);
    QVERIFY(accepted >= 0);
    QCOMPARE(progress, QStringLiteral("Connecting to Silent..."));
    QVERIFY(!h.windowOf(index));
    for (int slot = 0; slot < Links::kSlotCount; ++slot) {
        QVERIFY(!h.shell->links().taken(slot));
    }
    QCOMPARE(h.statusOf(index), QStringLiteral("Idle"));
    // The attempt's socket was closed, not left behind: the agent sees the end.
    pollfd p{accepted, POLLIN, 0};
    QCOMPARE(poll(&p, 1, 10000), 1);
    char byte[64];
    ssize_t n = 0;
    while ((n = read(accepted, byte, sizeof byte)) > 0) {
    }
    QCOMPARE(n, ssize_t(0));
    close(accepted);
}

// Esc on the prompt, then the connect dialog cancelled while the next prompt is open
// (a connection's timer or the program closing does that): the attempt waiting for
// the answer is released, the prompt goes away, nothing hangs and no slot is taken.
// The next Connect asks again, and the dialog's own OK compares the password (letters
// in any case).
void ConnectTest::passwordIsAskedFromTheAttempt()
{
    ShellHarness h;
    LoopbackSim sim = startLoopbackSim({"--password", "Sesame", "--name", "Locked"});
    const int index = h.addProfile("Guarded", LinkKind::Wan, sim.address);
    int prompts = 0;
    std::unique_ptr<QTimer> answer(new QTimer);
    answer->setInterval(10);
    QObject::connect(answer.get(), &QTimer::timeout, [&] {
        auto* prompt = qobject_cast<PasswordDialog*>(QApplication::activeModalWidget());
        if (!prompt || prompt->property("seen").toBool())
            return;
        prompt->setProperty("seen", true);
        if (++prompts == 1) {
            QTest::keyClick(prompt, Qt::Key_Escape);
            return;
        }
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* make = qobject_cast<MakeConnectionDialog*>(w))
                make->reject();
    });
    answer->start();
    h.connect(index);
    answer->stop();
    QCOMPARE(prompts, 2);
    QVERIFY(!h.windowOf(index));
    QTRY_VERIFY(!qobject_cast<PasswordDialog*>(QApplication::activeModalWidget()));
    for (int slot = 0; slot < Links::kSlotCount; ++slot)
        QVERIFY(!h.shell->links().taken(slot));
    QCOMPARE(h.statusOf(index), QStringLiteral("Idle"));

    answer.reset(whenModal<PasswordDialog>([](PasswordDialog&) { return true; }, [&](PasswordDialog& d) {
        ++prompts;
        d.findChild<QLineEdit*>()->setText("sesame");
        for (QPushButton* b : d.findChildren<QPushButton*>())
            if (b->text().remove('&') == "OK")
                b->click();
    }));
    h.connect(index);
    QCOMPARE(prompts, 3);
    QVERIFY(h.windowOf(index));
    QCOMPARE(h.windowOf(index)->deviceName(), QStringLiteral("Locked"));
}

void ConnectTest::activeSyncNeedsTheServiceRunning()
{
    ShellHarness h;
    const int index = h.addProfile("Cradle", LinkKind::ActiveSync, 0);
    h.connect(index);
    QCOMPARE(h.ui.messages.shown.size(), size_t(1));
    QCOMPARE(h.ui.messages.shown[0].text, std::string("ActiveSync is not currently running"));
    QCOMPARE(h.ui.messages.shown[0].caption, std::string("Connect"));
    QVERIFY(!h.shell->links().taken(0));

    // With the service running, the attempt goes to the configured address.
    ScriptedActiveSync service(h.shell->platformSettings());
    service.present = true;
    h.shell->connectContext().activeSync = &service;
    LoopbackSim sim = startLoopbackSim({"--name", "Synced"});
    h.shell->platformSettings().ActiveSyncAddresses = sim.host;
    h.connect(index);
    QVERIFY(h.windowOf(index));
    QCOMPARE(h.windowOf(index)->deviceName(), QStringLiteral("Synced"));
    // Only one ActiveSync connection at a time.
    h.connect(index);
    QCOMPARE(h.ui.messages.shown.size(), size_t(2));
    QCOMPARE(h.ui.messages.shown[1].caption, std::string("ActiveSync"));
    h.shell->connectContext().activeSync = nullptr;
}

void ConnectTest::kindsWithTheirOwnDialogs()
{
    ShellHarness h;
    TempDir nothing;
    PlatformSettings& platform = h.shell->platformSettings();
    platform.UsbDevicePattern = (nothing / "ttyUSB{n}").string();
    platform.LanBroadcastAddress = "127.0.0.1";
    const int usb = h.addProfile("Usb", LinkKind::Usb, 0);
    const int lan = h.addProfile("Lan", LinkKind::Lan, 0x7F000001);
    const int proxy = h.addProfile("Proxy", LinkKind::Proxy, 0x7F000001, 0);

    // USB: the probe finds nothing and says so.
    h.connect(usb);
    QCOMPARE(h.ui.messages.shown.back().text, std::string("No available USB devices found"));
    // LAN: the discovery dialog, cancelled at once.
    QString title;
    std::unique_ptr<QTimer> close(whenModal<QDialog>([](QDialog& d) { return d.objectName() == "LANCONNECT"; },
                                                     [&](QDialog& d) {
                                                         title = d.windowTitle();
                                                         QMetaObject::invokeMethod(&d, "reject", Qt::QueuedConnection);
                                                     }));
    h.connect(lan);
    QCOMPARE(title, QStringLiteral("LAN (Auto Discovery)"));
    // Proxy: port 0 is no TCP port.
    h.connect(proxy);
    QCOMPARE(h.ui.messages.shown.back().text, std::string("The proxy server's port must be a number from 1 to 65535"));
    QVERIFY(h.shell->connectionWindows().liveSlots().empty());
}

void ConnectTest::inboundConnectionsOpenWindows()
{
    ShellHarness h;
    QCOMPARE(int(h.shell->inboundListener().StartInboundListener(0)), int(InboundListener::StartResult::Listening));
    const int port = h.shell->inboundListener().listeningPort();
    SimProcess sim({"--name", "Caller", "--connect-to", "127.0.0.1:" + std::to_string(port)});
    QTRY_COMPARE_WITH_TIMEOUT(h.shell->connectionWindows().liveSlots().size(), size_t(1), 20000);
    auto* w = h.shell->deviceWindow(h.shell->connectionWindows().liveSlots().front());
    QVERIFY(w);
    QVERIFY(w->windowTitle().endsWith(QStringLiteral(" - Caller")));
}

void ConnectTest::startupConnectsMarkedProfilesAndTheCommandLineHost()
{
    LoopbackSim marked = startLoopbackSim({"--name", "Marked"});
    LoopbackSim named = startLoopbackSim({"--name", "Named"});
    // Profiles marked for it are saved, then connected at the next start.
    ShellHarness first;
    const int m = first.addProfile("Marked", LinkKind::Wan, marked.address);
    Profile p = *first.shell->profiles().get(m);
    p.autoConnect = 1;
    first.shell->profiles().EditProfile(m, p);
    Profile proxy = p;
    proxy.linkKind = uint32_t(LinkKind::Proxy);
    proxy.setName("Proxy");
    first.shell->profiles().AddProfile(proxy);
    QVERIFY(first.shell->saveSettings());
    first.shell.reset();
    ShellHarness next([&](ShellOptions& o) {
        o.settingsDir = first.dir / "config";
        o.connectHost = named.host;
        o.connectAtStart = true;
    });
    QCOMPARE(next.shell->mainWindow()->selectedProfiles(), std::vector<int>{2}); // the host's new profile
    ConnectionWindows& windows = next.shell->connectionWindows();
    QTRY_COMPARE_WITH_TIMEOUT(windows.liveSlots().size(), size_t(2), 30000);
    QStringList titles;
    for (int slot : windows.liveSlots())
        titles << windows.window(slot)->windowTitle();
    titles.sort();
    QCOMPARE(titles, QStringList({QString::fromStdString(named.host) + " - Named", "Marked - Marked"}));
    QVERIFY(next.ui.messages.shown.empty()); // the proxy profile is not connected at start-up
}

void ConnectTest::profileCommandsOfTheMainWindow()
{
    ShellHarness h;
    MainWindow& main = *h.shell->mainWindow();
    // New opens the New Connection dialog; OK stores the profile.
    std::unique_ptr<QTimer> fill(whenModal<QDialog>([](QDialog& d) { return d.objectName() == "NEWCONNECTION"; },
                                                    [](QDialog& d) {
                                                        d.findChild<QLineEdit*>("1001")->setText("Typed");
                                                        QMetaObject::invokeMethod(&d, "accept", Qt::QueuedConnection);
                                                    }));
    main.runCommand(cmd::NewConnection);
    QCOMPARE(h.shell->profiles().ConnTypes(), 1);
    QCOMPARE(std::string(h.shell->profiles().get(0)->nameView()), std::string("Typed"));
    QCOMPARE(main.connectionsList()->topLevelItem(0)->text(0), QStringLiteral("Typed"));

    // Default Settings opens the CONFIG dialog; Cancel changes nothing.
    const Settings before = h.shell->settings();
    std::unique_ptr<QTimer> cancel(whenModal<QDialog>([](QDialog& d) { return d.objectName() == "CONFIG"; },
                                                      [](QDialog& d) {
                                                          QCOMPARE(d.windowTitle(), QStringLiteral("Default Settings"));
                                                          QMetaObject::invokeMethod(&d, "reject", Qt::QueuedConnection);
                                                      }));
    main.runCommand(cmd::DefaultSettings);
    QVERIFY(h.shell->settings() == before);
}

QObject* makeConnectTest() { return new ConnectTest; }

} // namespace sorvane::test

#include "ConnectTest.moc"
