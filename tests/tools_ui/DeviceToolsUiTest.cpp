// Device Information, Process Info, Copy from Device, Paste (F11), Type text, Soft
// Reset and Suspend from a device window connected to sorvane-sim.

#include <QApplication>
#include <QCheckBox>
#include <QPlainTextEdit>
#include <QClipboard>
#include <QElapsedTimer>
#include <QMimeData>
#include <QLabel>
#include <QRegularExpression>
#include <QTest>
#include <QToolTip>
#include <QTimer>
#include <QTreeWidget>

#include "ShellHarness.h"
#include "support/QtTestClasses.h"
#include "app/DeviceToolsServices.h"
#include "tools/ui/DeviceCommands.h"
#include "tools/ui/DeviceInfoDialog.h"
#include "tools/ui/ProcessInfoDialog.h"
#include "tools/ui/TypeTextDialog.h"
#include "view/CommandIds.h"

namespace sorvane::test {
namespace {

// Runs a window command whose dialog is modal; `check` runs on the open dialog, which
// is then closed.
template <class Dialog>
void withDialog(DeviceWindow& w, int command, const char* name, std::function<void(Dialog&)> check)
{
    bool checked = false;
    QTimer::singleShot(0, [&] {
        auto* d = qobject_cast<Dialog*>(QApplication::activeModalWidget());
        QVERIFY(d && d->objectName() == QLatin1String(name));
        check(*d);
        checked = true;
        d->reject();
    });
    w.command(command);
    QVERIFY(checked);
}

// The next line of the simulator's report that starts with one of the words, while the
// program's event loop keeps running (its requests need it); empty on time-out.
std::string awaitLine(SimProcess& sim, std::initializer_list<const char*> words, int timeoutMs = 20000)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < timeoutMs) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        std::string line = nextLine(sim, words, std::chrono::milliseconds(20));
        if (!line.empty())
            return line;
    }
    return {};
}

QString cell(QTreeWidget* list, int row, int column) { return list->topLevelItem(row)->text(column); }

} // namespace

class DeviceToolsUiTest : public QObject {
    Q_OBJECT
private slots:
    void informationProcessesClipboardResetAndSuspend();
};

void DeviceToolsUiTest::informationProcessesClipboardResetAndSuspend()
{
    ShellHarness h;
    LoopbackSim sim = startLoopbackSim({"--still-after", "0", "--clipboard", "Hello,\r\nPC", "--status",
                                        "program=33554432/1572864,storage=16777216/1048575,battery=255,charging=1"});
    DeviceWindow* w = h.connectNew("Tools", LinkKind::Wan, sim.address);
    QVERIFY(w);
    QVERIFY(!awaitLine(*sim.process, {"update"}).empty());
    withDialog<DeviceInfoDialog>(*w, 40065, "DEVICEINFO", [&](DeviceInfoDialog& d) {
        QTRY_VERIFY_WITH_TIMEOUT(!d.waiting(), 10000);
        // The texts themselves are tests/tools DeviceInfoText's.
        QCOMPARE(d.value(1016), QStringLiteral("Unavailable (charging)"));
        QCOMPARE(d.value(1019), QStringLiteral("32.00 MB"));
    });
    QCOMPARE(awaitLine(*sim.process, {"command 111"}), std::string("command 111"));
    QVERIFY(!awaitLine(*sim.process, {"update"}).empty());

    // A device that does not answer leaves the last values, and its polling resumes.
    LoopbackSim silent = startLoopbackSim({"--still-after", "0", "--silent", "o"});
    DeviceWindow* quiet = h.connectNew("Silent", LinkKind::Wan, silent.address);
    QVERIFY(quiet);
    withDialog<DeviceInfoDialog>(*quiet, 40065, "DEVICEINFO", [&](DeviceInfoDialog& d) {
        QVERIFY(d.waiting());
        QVERIFY(d.findChild<QLabel*>("waiting")->isVisible());
        // No screen poll since the request went out.
        QCOMPARE(awaitLine(*silent.process, {"silent"}), std::string("silent 111"));
        QCOMPARE(awaitLine(*silent.process, {"update", "command"}, 500), std::string());
        // The program keeps running while it waits, and stops waiting at the limit.
        QTRY_VERIFY_WITH_TIMEOUT(!d.waiting(), 15000);
        QCOMPARE(d.value(1019), QStringLiteral("0.00 MB"));
        QCOMPARE(d.value(1025), QStringLiteral("CE 0.0, build 0"));
    });
    // Polling resumes once the link gives up on the reply.
    QVERIFY(!awaitLine(*silent.process, {"update"}, 60000).empty());

    withDialog<ProcessInfoDialog>(*w, 40086, "PROCESSINFO", [&](ProcessInfoDialog& d) {
        QTRY_COMPARE_WITH_TIMEOUT(d.list()->topLevelItemCount(), 5, 10000);
        QCOMPARE(cell(d.list(), 0, 0), QStringLiteral("NK.EXE"));
        QCOMPARE(cell(d.list(), 0, 1), QStringLiteral("<none>"));
        QCOMPARE(cell(d.list(), 3, 1), QStringLiteral("Notes - Document1"));
        d.command(ProcessInfoDialog::kKill); // nothing selected: nothing sent
        d.list()->setCurrentItem(d.list()->topLevelItem(0));
        d.command(ProcessInfoDialog::kActivate);
        QCOMPARE(awaitLine(*sim.process, {"activate"}), std::string("activate 0"));
        d.list()->setCurrentItem(d.list()->topLevelItem(2));
        d.command(ProcessInfoDialog::kKill);
        QCOMPARE(awaitLine(*sim.process, {"kill", "command"}), std::string("command 119"));
        QCOMPARE(awaitLine(*sim.process, {"kill"}), std::string("kill 602010018 found"));
        QCOMPARE(awaitLine(*sim.process, {"processes"}), std::string("processes 4"));
        QTRY_COMPARE_WITH_TIMEOUT(d.list()->topLevelItemCount(), 4, 10000);
        QCOMPARE(cell(d.list(), 2, 0), QStringLiteral("pword.exe"));
    });

    QApplication::clipboard()->clear();
    auto* copy = w->findChild<QAction*>("40095");
    QVERIFY(copy && copy->shortcut() == QKeySequence("Ctrl+Shift+C"));
    copy->trigger();
    QTRY_COMPARE_WITH_TIMEOUT(QApplication::clipboard()->text(), QStringLiteral("Hello,\nPC"), 10000);

    // F11 goes to the active device window through the main window's accelerator.
    QApplication::setActiveWindow(w);
    QTRY_COMPARE(QApplication::activeWindow(), w);
    auto* f11 = h.shell->mainWindow()->findChild<QAction*>("40023");
    QVERIFY(f11);
    QApplication::clipboard()->setText(QString::fromUtf8("\xC3\xA9\xE2\x82\xAC\xE4\xB8\xAD\nx"));
    f11->trigger();
    QCOMPARE(awaitLine(*sim.process, {"paste"}), std::string("paste 6 e9803f0d0a78"));
    auto* empty = new QMimeData;
    empty->setText(QString());
    QApplication::clipboard()->setMimeData(empty);
    w->command(40023);
    QCOMPARE(awaitLine(*sim.process, {"paste"}), std::string("paste 0 "));
    // The device's clipboard is empty now: the PC's stays as it is, and the window says so.
    QApplication::clipboard()->setText("PC text");
    copy->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(QToolTip::text().contains("clipboard is empty"), 10000);
    QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("PC text"));

    // Type text while a recording runs: its keys are recorded and counted. é has no key:
    // refused, then sent through the device's clipboard, a choice the program keeps.
    w->command(devcmd::StartRecording);
    const uint32_t keys = w->connection().counts().keyPresses;
    withDialog<TypeTextDialog>(*w, devcmd::TypeText, "TYPETEXT", [&](TypeTextDialog& d) {
        QVERIFY(!d.viaClipboard()->isChecked());
        d.editor()->setPlainText(QString::fromUtf8("a\xC3\xA9"));
        d.accept();
        QVERIFY(d.isVisible());
        d.viaClipboard()->setChecked(true);
        d.accept();
        QVERIFY(!d.isVisible());
    });
    for (const char* line : {"input 86 65 1", "input 87 65 1", "paste 1 e9", "input 86 17 1"})
        QCOMPARE(awaitLine(*sim.process, {"input", "paste"}), std::string(line));
    QCOMPARE(w->connection().counts().keyPresses, keys + 3);
    QCOMPARE(h.shell->platformSettings().TypeViaClipboard, 1);
    h.ui.files.answers = {(h.dir / "typed.txt").string()};
    w->command(devcmd::StopRecording);
    QCOMPARE(QString::fromStdString(readFile(h.dir / "typed.txt")).remove(QRegularExpression("SLEEP,\\d+\r\n")),
             QStringLiteral("KEYDOWN,65\r\nKEYUP,65\r\nKEYDOWN,17\r\nKEYDOWN,86\r\nKEYUP,86\r\nKEYUP,17\r\n"));

    DeviceToolsPort& port = DeviceToolsPortOf(*w);
    SoftResetDevice(port);
    QCOMPARE(awaitLine(*sim.process, {"softreset"}), std::string("softreset"));
    QPointer<DeviceWindow> window(w);
    SuspendDevice(port, w, [window] { window->close(); });
    QCOMPARE(awaitLine(*sim.process, {"suspend"}), std::string("suspend"));
    QTRY_VERIFY_WITH_TIMEOUT(window.isNull(), 10000);

    // More clipboard text announced than the program takes: the error, a refresh, the window stays.
    LoopbackSim lying = startLoopbackSim({"--clipboard-length", "2147483648"});
    QPointer<DeviceWindow> other = h.connectNew("Lying", LinkKind::Wan, lying.address);
    QVERIFY(other);
    other->command(40095);
    QCOMPARE(awaitLine(*lying.process, {"command 113"}), std::string("command 113"));
    QCOMPARE(awaitLine(*lying.process, {"command 81"}), std::string("command 81"));
    QVERIFY(other && !h.ui.messages.shown.empty());
    QCOMPARE(h.ui.messages.shown.back().caption, std::string("Copy from device"));
}

QObject* makeDeviceToolsUiTest() { return new DeviceToolsUiTest; }

} // namespace sorvane::test

int main(int argc, char** argv)
{
    return sorvane::test::RunQtTestClasses(argc, argv, {sorvane::test::makeDeviceToolsUiTest});
}

#include "DeviceToolsUiTest.moc"
