// Recording a device window's input as a script through the program's shell.

#include <QRegularExpression>
#include <QTest>

#include <fstream>

#include "ShellHarness.h"
#include "ViewUiTests.h"
#include "app/ShellScenarios.h"

namespace sorvane::test {

class RecordingTest : public QObject {
    Q_OBJECT
private slots:
    void clicksAreSavedAsAScript();
    void scenarioPlaysPausesAndStops();
};

void RecordingTest::clicksAreSavedAsAScript()
{
    ShellHarness h;
    LoopbackSim sim = startLoopbackSim({});
    const int index = h.addProfile("Rec", LinkKind::Wan, sim.address);
    h.connect(index);
    QPointer<DeviceWindow> w = h.windowOf(index);
    QVERIFY(w);
    const QString title = w->windowTitle();
    const int g = w->toolbarHeight();
    auto click = [&](int x, int y) { QTest::mouseClick(w->client(), Qt::LeftButton, {}, QPoint(x, g + y)); };
    auto read = [](const std::filesystem::path& p) {
        std::ifstream f(p, std::ios::binary);
        return QString::fromStdString(std::string(std::istreambuf_iterator<char>(f), {}));
    };
    const QRegularExpression clickAt("^MOUSEDOWN,10,20\r\n(SLEEP,\\d+\r\n)?MOUSEUP,10,20\r\n$");

    click(5, 5); // not recorded
    w->command(devcmd::StartRecording);
    QCOMPARE(w->windowTitle(), QStringLiteral("Sorvane Sim Recording..."));
    click(10, 20);
    h.ui.messages.answers = {MessageResult::No}; // Start again: keep the events
    w->command(devcmd::StartRecording);
    QCOMPARE(h.ui.messages.shown.back().text, std::string("Restart recording (lose captured events) ?"));
    h.ui.files.answers = {(h.dir / "macro").string()};
    w->command(devcmd::StopRecording);
    QVERIFY(clickAt.match(read(h.dir / "macro.txt")).hasMatch());
    QCOMPARE(h.ui.files.requests.back().filters.at(0).patterns.at(0), std::string("*.TXT"));
    QCOMPARE(w->windowTitle(), title);

    // Closing while recording asks to save.
    w->command(devcmd::StartRecording);
    click(10, 20);
    h.ui.messages.answers = {MessageResult::Yes};
    h.ui.files.answers = {(h.dir / "closing.scr").string()};
    w->close();
    QTRY_VERIFY(w.isNull());
    QCOMPARE(h.ui.messages.shown.back().text, std::string("Save the recorded data collected so far?"));
    QVERIFY(clickAt.match(read(h.dir / "closing.scr")).hasMatch());
}

void RecordingTest::scenarioPlaysPausesAndStops()
{
    ShellHarness h;
    MainWindow& main = *h.shell->mainWindow();
    const std::filesystem::path scripts = h.shell->settings().ScriptDir;
    std::ofstream(scripts / "slow.txt", std::ios::binary) << "MOUSEDOWN,3,4\r\nSLEEP,600000\r\nMOUSEUP,3,4\r\n";
    Scenario s;
    s.name = "Smoke";
    s.files = {{0, 1, 0, "slow.txt"}};
    h.shell->scenarioService()->table().add(s);
    main.refreshScenarioList(0);
    auto status = [&] { return main.scriptsList()->topLevelItem(0)->text(1); };
    // Answers the next "Run Script" dialog: Run (the first row) or Cancel.
    auto answer = [](bool run) {
        QTimer::singleShot(50, [run] {
            auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            QVERIFY(d && d->objectName() == QStringLiteral("RUNSCRIPT"));
            run ? d->accept() : d->reject();
        });
    };

    main.runCommand(cmd::PlayPause);
    QCOMPARE(h.ui.messages.shown.back().text, std::string("There are no active connections"));

    LoopbackSim sim = startLoopbackSim({});
    const int index = h.addProfile("Play", LinkKind::Wan, sim.address);
    h.connect(index);
    DeviceWindow* w = h.windowOf(index);
    QVERIFY(w);
    answer(true);
    main.runCommand(cmd::PlayPause);
    QCOMPARE(QString::fromStdString(nextLine(*sim.process, {"input"})), QStringLiteral("input 84 3 4"));
    QCOMPARE(status(), QStringLiteral("Running"));
    answer(false); // pauses, then asks; cancelling leaves it paused
    main.runCommand(cmd::PlayPause);
    QCOMPARE(status(), QStringLiteral("Paused"));
    QCOMPARE(w->view().recordState.load(), uint32_t(record_state::kPaused));
    answer(false); // resumes
    main.runCommand(cmd::PlayPause);
    QCOMPARE(status(), QStringLiteral("Running"));
    QTRY_COMPARE(w->view().recordState.load(), uint32_t(record_state::kPlaying));
    main.runCommand(cmd::StopScenario);
    QCOMPARE(status(), QStringLiteral("Idle"));
    QCOMPARE(w->view().recordState.load(), uint32_t(record_state::kStopped));

    // A short scenario plays to its end and is idle again.
    std::ofstream(scripts / "slow.txt", std::ios::binary) << "MOUSEDOWN,5,6\r\n";
    answer(true);
    main.runCommand(cmd::PlayPause);
    QCOMPARE(QString::fromStdString(nextLine(*sim.process, {"input"})), QStringLiteral("input 84 5 6"));
    QTRY_COMPARE(status(), QStringLiteral("Idle"));
}

QObject* makeRecordingTest() { return new RecordingTest; }

} // namespace sorvane::test

#include "RecordingTest.moc"
