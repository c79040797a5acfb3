// Recording a device window's input as a script, and scenarios, through the program's shell.

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>

#include <fstream>

#include "ShellHarness.h"
#include "ViewUiTests.h"
#include "app/ShellScenarios.h"
#include "scripts/ui/ScenarioDialog.h"

namespace sorvane::test {

class RecordingTest : public QObject {
    Q_OBJECT
private slots:
    void clicksAreSavedAsAScript();
    void scenarioPlaysPausesAndStops();
    void newScenarioIsSavedAndRenamed();
    void scenarioDialogRefusesOk_data();
    void scenarioDialogRefusesOk();
    void scenarioFileListEditsOutliveCancel();
};

namespace {

template <typename T> T* control(QWidget& d, int id) { return d.findChild<T*>(QString::number(id)); }
void click(QWidget& d, int id) { control<QPushButton>(d, id)->click(); }

bool isScenarioDialog(QDialog& d) { return d.objectName() == QStringLiteral("NEWSCRIPT"); }

} // namespace

void RecordingTest::clicksAreSavedAsAScript()
{
    ShellHarness h;
    LoopbackSim sim = startLoopbackSim({});
    QPointer<DeviceWindow> w = h.connectNew("Rec", LinkKind::Wan, sim.address);
    QVERIFY(w);
    const QString title = w->windowTitle();
    const int g = w->toolbarHeight();
    auto click = [&](int x, int y) { QTest::mouseClick(w->client(), Qt::LeftButton, {}, QPoint(x, g + y)); };
    auto read = [](const std::filesystem::path& p) { return QString::fromStdString(readFile(p)); };
    const QRegularExpression clickAt("^MOUSEDOWN,10,20\r\n(SLEEP,\\d+\r\n)?MOUSEUP,10,20\r\n$");

    click(5, 5); // not recorded
    w->command(devcmd::StartRecording);
    QCOMPARE(w->windowTitle(), QStringLiteral("Sorvane Sim Recording..."));
    click(10, 20);
    h.ui.messages.answers = {MessageResult::No}; // Start again: keep the events
    w->command(devcmd::StartRecording);
    QCOMPARE(h.ui.messages.shown.back().text, std::string("Restart recording (lose captured events) ?"));
    // "macro" is saved as macro.txt, which exists: No keeps it.
    std::ofstream(h.dir / "macro.txt", std::ios::binary) << "kept";
    h.ui.files.answers = {(h.dir / "macro").string()};
    h.ui.messages.answers = {MessageResult::No};
    w->command(devcmd::StopRecording);
    QCOMPARE(h.ui.messages.shown.back().text, std::string("macro.txt already exists.\nDo you want to replace it?"));
    QCOMPARE(read(h.dir / "macro.txt"), QStringLiteral("kept"));
    QCOMPARE(h.ui.files.requests.back().filters.at(0).patterns.at(0), std::string("*.TXT"));
    QCOMPARE(w->windowTitle(), title);

    // Closing while recording asks to save; Yes replaces macro.txt.
    w->command(devcmd::StartRecording);
    click(10, 20);
    h.ui.messages.answers = {MessageResult::Yes, MessageResult::Yes};
    h.ui.files.answers = {(h.dir / "macro").string()};
    w->close();
    QTRY_VERIFY(w.isNull());
    QCOMPARE(h.ui.messages.shown.at(h.ui.messages.shown.size() - 2).text,
             std::string("Save the recorded data collected so far?"));
    QVERIFY(clickAt.match(read(h.dir / "macro.txt")).hasMatch());
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
    // Answers the next "Run Script" dialog as soon as it shows: Run (the first row) or Cancel.
    std::unique_ptr<QTimer> answering;
    auto answer = [&answering](bool run) {
        answering.reset(whenModal<QDialog>([](QDialog& d) { return d.objectName() == QStringLiteral("RUNSCRIPT"); },
                                           [run](QDialog& d) { run ? d.accept() : d.reject(); }));
    };

    main.runCommand(cmd::PlayPause);
    QCOMPARE(h.ui.messages.shown.back().text, std::string("There are no active connections"));

    LoopbackSim sim = startLoopbackSim({});
    DeviceWindow* w = h.connectNew("Play", LinkKind::Wan, sim.address);
    QVERIFY(w);
    answer(true);
    main.runCommand(cmd::PlayPause);
    QCOMPARE(QString::fromStdString(nextLine(*sim.process, {"input"})), QStringLiteral("input 84 3 4"));
    QCOMPARE(status(), QStringLiteral("Running"));
    QTRY_VERIFY(w->statusLine()->toolTip().startsWith(QStringLiteral("playing Smoke: input paused \u00B7 live")));
    answer(false); // pauses, then asks; cancelling leaves it paused
    main.runCommand(cmd::PlayPause);
    QCOMPARE(status(), QStringLiteral("Paused"));
    QCOMPARE(w->view().recordState.load(), RecordState::Paused);
    answer(false); // resumes
    main.runCommand(cmd::PlayPause);
    QCOMPARE(status(), QStringLiteral("Running"));
    QTRY_COMPARE(w->view().recordState.load(), RecordState::Playing);
    w->view().recordingMethod = 1; // F9 on a window that records video ends the playback too
    w->command(devcmd::StopRecording);
    QCOMPARE(w->view().recordState.load(), RecordState::Stopped);
    main.runCommand(cmd::StopScenario);
    QCOMPARE(status(), QStringLiteral("Idle"));
    QCOMPARE(w->view().recordState.load(), RecordState::Stopped);

    // A short scenario plays to its end; a check of it failed, so it says "Failed" until
    // its next start. Its log path, as a scenario file could carry it, names a shell's
    // start-up file: refused, and it plays without.
    std::ofstream(scripts / "slow.txt", std::ios::binary) << "MOUSEDOWN,5,6\r\nSNAPSHOT,s.bmp\r\nCHECKTEXT,x,9999,0,1,1\r\n";
    Scenario& stored = h.shell->scenarioService()->table().scenarios()[0];
    stored.logResults = 1;
    stored.logFile = (h.dir / ".bashrc").string();
    answer(true);
    main.runCommand(cmd::PlayPause);
    QCOMPARE(h.ui.messages.shown.back().text,
             "The results log " + stored.logFile + " is not used: a results log must be a .txt or .log file, not "
             "hidden and not in a hidden folder. The scenario plays without a log.");
    h.shell->scenarioService()->table().scenarios()[0].name = "Edited"; // edited while it plays
    QCOMPARE(QString::fromStdString(nextLine(*sim.process, {"input"})), QStringLiteral("input 84 5 6"));
    QTRY_COMPARE(status(), QStringLiteral("Failed"));
    QVERIFY(std::filesystem::exists(scripts / "s.bmp")); // the check's poll brought the device's picture
    QCOMPARE(main.scriptsList()->topLevelItem(0)->text(0), QStringLiteral("Edited"));
    QVERIFY(!std::filesystem::exists(h.dir / ".bashrc"));

    // A paused scenario ends with its window: "Stopped", logged, and nothing to resume.
    std::ofstream(scripts / "slow.txt", std::ios::binary) << "MOUSEDOWN,3,4\r\nSLEEP,600000\r\nMOUSEUP,3,4\r\n";
    Scenario& logged = h.shell->scenarioService()->table().scenarios()[0];
    logged.logResults = 1;
    logged.logFile = (h.dir / "results.log").string();
    answer(true);
    main.runCommand(cmd::PlayPause);
    answer(false);
    main.runCommand(cmd::PlayPause);
    QCOMPARE(status(), QStringLiteral("Paused"));
    QPointer<DeviceWindow> closing(w);
    w->close();
    QTRY_VERIFY(closing.isNull());
    QCOMPARE(status(), QStringLiteral("Stopped"));
    QVERIFY(readFile(h.dir / "results.log").find("*** Scenario Ended ***, the connection ended") != std::string::npos);
}

void RecordingTest::newScenarioIsSavedAndRenamed()
{
    ShellHarness h;
    MainWindow& main = *h.shell->mainWindow();
    const std::filesystem::path scripts = h.shell->settings().ScriptDir;
    for (const char* name : {"a.txt", "b.txt"})
        std::ofstream(scripts / name) << "MOUSEDOWN,1,2\r\n";
    h.ui.files.answers = {(scripts / "a.txt").string(), (scripts / "b.txt").string()};
    std::unique_ptr<QTimer> fill(whenModal<QDialog>(isScenarioDialog, [](QDialog& d) {
        QCOMPARE(d.windowTitle(), QStringLiteral("New Scenario"));
        QCOMPARE(control<QLineEdit>(d, 1005)->text(), QStringLiteral("New Scenario"));
        control<QLineEdit>(d, 1005)->setText("Smoke");
        click(d, 1030);
        click(d, 1030); // b.txt is selected: the file boxes are its own
        control<QLineEdit>(d, 1006)->setText("2");
        control<QLineEdit>(d, 1007)->setText("7");
        control<QLineEdit>(d, 1003)->setText("3");
        control<QLineEdit>(d, 1004)->setText("12345678");
        control<QCheckBox>(d, 1043)->setChecked(true);
        d.accept();
    }));
    main.runCommand(cmd::NewScenario);
    QCOMPARE(h.ui.files.requests.at(0).filters.at(0).description, std::string("Recorded Files"));
    QCOMPARE(main.scriptsList()->selectedItems().value(0)->text(0), QStringLiteral("Smoke"));

    ScenarioTable loaded;
    loaded.load(scripts.string(), {});
    QCOMPARE(loaded.scenarios().size(), size_t(1));
    const Scenario& s = loaded.scenarios()[0];
    QCOMPARE(s.name, std::string("Smoke"));
    QCOMPARE(std::vector<int>({s.loopCount, s.loopDelay, s.noVideo, s.logResults}),
             std::vector<int>({3, 12345678, 1, 0}));
    QCOMPARE(s.files.at(0).fileName + s.files.at(1).fileName, std::string("a.txtb.txt"));
    QCOMPARE(std::vector<int>({s.files[0].scriptLoopCount, s.files[0].scriptLoopDelay, s.files[1].scriptLoopCount,
                               s.files[1].scriptLoopDelay}),
             std::vector<int>({1, 0, 2, 7}));

    // Renamed in Edit, the scenario does not come back under its old name.
    std::unique_ptr<QTimer> rename(whenModal<QDialog>(isScenarioDialog, [](QDialog& d) {
        QCOMPARE(d.windowTitle(), QStringLiteral("Edit Scenario"));
        QCOMPARE(control<QLineEdit>(d, 1006)->text(), QStringLiteral("1")); // the first file is shown
        control<QLineEdit>(d, 1005)->setText("Smoke 2");
        d.accept();
    }));
    main.runCommand(cmd::EditScenario);
    QVERIFY(!std::filesystem::exists(scripts / "Smoke.bin"));
    QVERIFY(std::filesystem::exists(scripts / "Smoke 2.bin"));

    // Clone copies the one selected script; with two selected it asks for one and copies none.
    main.runCommand(cmd::CloneScenario);
    QCOMPARE(main.scriptsList()->topLevelItemCount(), 2);
    main.scriptsList()->selectAll();
    main.runCommand(cmd::CloneScenario);
    QCOMPARE(h.ui.messages.shown.size(), size_t(1));
    QCOMPARE(h.ui.messages.shown[0].text, std::string("Please select a single script to clone"));
    QCOMPARE(main.scriptsList()->topLevelItemCount(), 2);
}

void RecordingTest::scenarioDialogRefusesOk_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("withFile");
    QTest::addColumn<QString>("log");
    QTest::addColumn<QString>("message");
    QTest::newRow("no name") << "" << false << "" << "A name is required";
    QTest::newRow("no file") << "Smoke" << false << "" << "At least one valid script filename is required";
    QTest::newRow("log without path") << "Smoke" << true << "" << "Please specify a log file or uncheck the logging option.";
    QTest::newRow("not a file name") << "a/b" << true << "/tmp/x.txt" << "The name cannot be used as a file name (at most 63 bytes, no / or \\)";
    QTest::newRow("too long in bytes") << QString(40, QChar(0xE9)) << true << "/tmp/x.txt" << "The name cannot be used as a file name (at most 63 bytes, no / or \\)";
    QTest::newRow("taken") << "Other" << true << "/tmp/x.txt" << "Another scenario is already named Other";
    QTest::newRow("log a shell runs") << "Smoke" << true << "/tmp/.bashrc" << "The log file cannot be used: a results log must be a .txt or .log file, not hidden and not in a hidden folder";
}

void RecordingTest::scenarioDialogRefusesOk()
{
    QFETCH(QString, name);
    QFETCH(bool, withFile);
    QFETCH(QString, log);
    QFETCH(QString, message);
    ScriptedUiPorts ui;
    Scenario record;
    if (withFile)
        record.files = {{0, 1, 0, "a.txt"}};
    ScenarioDialog d(record, false, "/tmp", {"Other"}, {ui.messages, ui.beep, ui.files});
    d.show();
    control<QLineEdit>(d, 1005)->setText(name);
    control<QCheckBox>(d, 1040)->setChecked(true);
    control<QLineEdit>(d, 1002)->setText(log);
    d.accept();
    QCOMPARE(ui.messages.shown.size(), size_t(1));
    QCOMPARE(QString::fromStdString(ui.messages.shown[0].text), message);
    QCOMPARE(ui.messages.shown[0].caption, std::string("New/Edit Script"));
    QVERIFY(ui.messages.shown[0].icon == MessageIcon::Error && d.isVisible() && record.name.empty());
}

void RecordingTest::scenarioFileListEditsOutliveCancel()
{
    TempDir dir;
    ScriptedUiPorts ui;
    Scenario record;
    record.name = "Kept";
    record.files = {{0, 1, 0, "a"}, {0, 2, 0, "b"}, {0, 3, 0, "c"}};
    ScenarioDialog d(record, false, dir.path().string(), {}, {ui.messages, ui.beep, ui.files});
    auto* list = control<QListWidget>(d, 1020);
    auto order = [&] {
        std::string names;
        for (const ScenarioFile& f : record.files)
            names += f.fileName + std::to_string(f.scriptLoopCount);
        for (int i = 0; i < list->count(); ++i)
            names += list->item(i)->text().toStdString();
        return names;
    };
    click(d, 1033); // "a" is first: beeps
    control<QLineEdit>(d, 1006)->setText("9"); // goes with "a" as it moves
    click(d, 1034);
    click(d, 1034);
    QCOMPARE(order(), std::string("b2c3a9bca"));
    click(d, 1034); // last: beeps
    click(d, 1033);
    QCOMPARE(list->currentRow(), 1);
    click(d, 1032); // removes "a"; "b" is selected
    QCOMPARE(order(), std::string("b2c3bc"));
    QCOMPARE(control<QLineEdit>(d, 1006)->text(), QStringLiteral("2"));

    // A script from another folder would never be played: refused. An eleventh file beeps.
    std::ofstream(dir / "d.txt") << "MOUSEDOWN,1,2\r\n";
    ui.files.answers = {"/tmp/elsewhere.txt", (dir / "d.txt").string()};
    click(d, 1030);
    QCOMPARE(ui.messages.shown.size(), size_t(1));
    click(d, 1030);
    QCOMPARE(order(), std::string("b2c3d.txt1bcd.txt"));
    record.files.resize(Scenario::kMaxFiles);
    click(d, 1030);
    QCOMPARE(ui.beep.count, 3); // first, last, eleventh
    QCOMPARE(ui.files.requests.size(), size_t(2));

    control<QLineEdit>(d, 1005)->setText("Changed");
    d.reject();
    QCOMPARE(record.name, std::string("Kept"));
    QCOMPARE(record.files[2].fileName, std::string("d.txt"));
}

QObject* makeRecordingTest() { return new RecordingTest; }

} // namespace sorvane::test

#include "RecordingTest.moc"
