// The fleet commands on several devices at once, through the program's shell against
// simulators on loopback: names made from devices, scenarios with several runs, files
// sent to many, one soft reset confirmation.

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

#include <fstream>
#include <random>

#include "ShellHarness.h"
#include "ViewUiTests.h"
#include "app/ShellFleet.h"
#include "app/ShellScenarios.h"

namespace sorvane::test {

class FleetCommandsTest : public QObject {
    Q_OBJECT
private slots:
    void devicesOfOneNameWriteDistinctFiles();
    void failedDeviceLeavesTheOthersTheirFiles();
};

namespace {

std::vector<std::filesystem::path> filesIn(const std::filesystem::path& dir)
{
    std::vector<std::filesystem::path> out;
    for (const auto& e : std::filesystem::recursive_directory_iterator(dir))
        out.push_back(e.path());
    std::sort(out.begin(), out.end());
    return out;
}

} // namespace

// Two devices both named "../x/PDA", of different sizes: Capture All writes two PNG files
// inside the chosen folder whose names differ and cannot climb out, each the picture of
// its own device (its simulator's dump, read by Qt's PPM reader); a scenario on both keeps
// one results log per device, and Play/Pause and Stop reach both runs.
void FleetCommandsTest::devicesOfOneNameWriteDistinctFiles()
{
    ShellHarness h;
    TempDir dumpsA, dumpsB, out;
    // A fixed clock: the handheld's time does not move the pictures on.
    LoopbackSim a = startLoopbackSim({"--name", "../x/PDA", "--clock", "fixed", "--dump-dir", dumpsA.path().string()});
    LoopbackSim b = startLoopbackSim({"--name", "../x/PDA", "--clock", "fixed", "--width", "320", "--height", "240",
                                      "--dump-dir", dumpsB.path().string()});
    DeviceWindow* wa = h.connectNew("P1", LinkKind::Wan, a.address);
    DeviceWindow* wb = h.connectNew("P2", LinkKind::Wan, b.address);
    QVERIFY(wa && wb);
    const std::vector<int> picked{wa->slot(), wb->slot()};
    QVERIFY(stillPictureSent(*a.process, 8) && stillPictureSent(*b.process, 8));
    QTRY_VERIFY_WITH_TIMEOUT(pictureMatchesDump(*wa, dumpsA / "main.ppm", 0, 1) &&
                                 pictureMatchesDump(*wb, dumpsB / "main.ppm", 0, 1),
                             20000);

    FleetService& fleet = *h.shell->fleetService();
    h.ui.files.answers = {out.path().string(), out.path().string()};
    fleet.captureAll(nullptr, picked);
    fleet.captureAll(nullptr, picked); // a second time: new names, nothing replaced
    QCOMPARE(h.ui.messages.shown.back().text, "2 of 2 screens were saved in " + out.path().string() + ".");
    const std::vector<std::filesystem::path> files = filesIn(out.path());
    QCOMPARE(files.size(), size_t(4));
    for (size_t i = 0; i < files.size(); ++i) {
        const std::string name = files[i].filename().string();
        QVERIFY2(files[i].parent_path() == out.path() && name[0] != '.' && name.find('\\') == std::string::npos,
                 name.c_str());
        QImage shot(QString::fromStdString(files[i].string()), "PNG");
        const std::filesystem::path dump = (shot.width() == 240 ? dumpsA : dumpsB) / "main.ppm";
        QCOMPARE(shot.convertToFormat(QImage::Format_RGB32),
                 QImage(QString::fromStdString(dump.string()), "PPM").convertToFormat(QImage::Format_RGB32));
    }
    QCOMPARE(QImage(QString::fromStdString(files[0].string())).width() +
                 QImage(QString::fromStdString(files[2].string())).width(),
             240 + 320); // one name per device, the second capture beside it

    MainWindow& main = *h.shell->mainWindow();
    ShellScenarios& scenarios = *h.shell->scenarioService();
    const std::filesystem::path scripts = h.shell->settings().ScriptDir;
    std::ofstream(scripts / "tap.txt", std::ios::binary) << "MOUSEDOWN,3,4\r\nMOUSEUP,3,4\r\n";
    Scenario s;
    s.name = "Tap";
    s.files = {{0, 1, 0, "tap.txt"}};
    s.logResults = 1;
    s.logFile = (h.dir / "results.log").string();
    scenarios.table().add(s);
    main.refreshScenarioList(0);
    auto status = [&] { return main.scriptsList()->topLevelItem(0)->text(1); };
    std::unique_ptr<QTimer> run(whenModal<QDialog>(
        [](QDialog& d) { return d.objectName() == QStringLiteral("FLEETSCENARIO"); }, [](QDialog& d) { d.accept(); }));
    fleet.runScenario(nullptr, picked);
    QCOMPARE(status(), QStringLiteral("Running (2)"));
    QCOMPARE(QString::fromStdString(nextLine(*a.process, {"input"})), input(84, 3, 4));
    QCOMPARE(QString::fromStdString(nextLine(*b.process, {"input"})), input(84, 3, 4));
    QTRY_COMPARE_WITH_TIMEOUT(status(), QStringLiteral("Idle"), 20000);
    const std::vector<std::string> labels = FleetLabels(h.shell->program(), picked);
    QVERIFY(labels[0] != labels[1]);
    for (const std::string& label : labels) {
        const std::string log = readFile(h.dir / ("results-" + label + ".log"));
        QVERIFY2(log.find("Device = " + label) != std::string::npos && log.find("End of Script") != std::string::npos,
                 log.c_str());
    }
    QVERIFY(!std::filesystem::exists(h.dir / "results.log"));

    // A long scenario on both: Play/Pause pauses both runs, Stop ends both.
    std::ofstream(scripts / "tap.txt", std::ios::binary) << "MOUSEDOWN,3,4\r\nSLEEP,600000\r\nMOUSEUP,3,4\r\n";
    QCOMPARE(scenarios.play(0, picked), std::string());
    QCOMPARE(status(), QStringLiteral("Running (2)"));
    std::unique_ptr<QTimer> cancel(whenModal<QDialog>(
        [](QDialog& d) { return d.objectName() == QStringLiteral("RUNSCRIPT"); }, [](QDialog& d) { d.reject(); }));
    main.runCommand(cmd::PlayPause);
    QCOMPARE(status(), QStringLiteral("Paused (2)"));
    QVERIFY(wa->view().recordState.load() == RecordState::Paused && wb->view().recordState.load() == RecordState::Paused);
    main.runCommand(cmd::StopScenario);
    QCOMPARE(status(), QStringLiteral("Idle"));
    QVERIFY(wa->view().recordState.load() == RecordState::Stopped && wb->view().recordState.load() == RecordState::Stopped);
}

// Two files to three devices, one of which refuses every block: the other two hold both
// files byte for byte, the refusing one is named at the end and keeps no part file. Soft
// Reset All asks once and reaches every device.
void FleetCommandsTest::failedDeviceLeavesTheOthersTheirFiles()
{
    ShellHarness h;
    TempDir devA, devB, devC;
    LoopbackSim a = startLoopbackSim({"--files", devA.path().string()});
    LoopbackSim b = startLoopbackSim({"--files", devB.path().string(), "--refuse-blocks", "1000000"});
    LoopbackSim c = startLoopbackSim({"--files", devC.path().string()});
    std::vector<int> picked;
    for (const auto& [name, sim] : {std::pair{"A", &a}, {"B", &b}, {"C", &c}}) {
        DeviceWindow* w = h.connectNew(name, LinkKind::Wan, sim->address);
        QVERIFY(w);
        picked.push_back(w->slot());
    }
    std::string big(300000, '\0');
    std::mt19937 random(7);
    for (char& ch : big)
        ch = char(random());
    std::ofstream(h.dir / "big.bin", std::ios::binary) << big;
    std::ofstream(h.dir / "note.txt", std::ios::binary) << "hello\n";

    h.shell->fleetService()->sendFiles(nullptr, picked);
    FleetSendDialog* d = static_cast<ShellFleet*>(h.shell->fleetService())->sendDialog();
    QVERIFY(d && d->isVisible());
    h.ui.files.answers = {(h.dir / "big.bin").string(), (h.dir / "note.txt").string()};
    d->findChild<QPushButton*>("add")->click();
    d->findChild<QPushButton*>("add")->click();
    d->findChild<QLineEdit*>("folder")->setText("\\");
    d->findChild<QPushButton*>("send")->click();
    QTRY_VERIFY_WITH_TIMEOUT(d->finished(), 30000);
    for (const TempDir* dir : {&devA, &devC}) {
        QCOMPARE(readFile(dir->path() / "big.bin"), big);
        QCOMPARE(readFile(dir->path() / "note.txt"), std::string("hello\n"));
    }
    QVERIFY(filesIn(devB.path()).empty());
    QTreeWidget* rows = d->findChild<QTreeWidget*>("devices");
    QCOMPARE(rows->topLevelItem(0)->text(2) + rows->topLevelItem(2)->text(2), QStringLiteral("DoneDone"));
    const QString summary = d->findChild<QLabel*>("summary")->text();
    QVERIFY2(summary.startsWith("1 of 3 devices did not receive every file:\nSorvane Sim (Sorvane Sim-B): big.bin: "),
             qPrintable(summary));
    d->findChild<QPushButton*>("close")->click();
    QTRY_VERIFY(!static_cast<ShellFleet*>(h.shell->fleetService())->sendDialog());

    const size_t shown = h.ui.messages.shown.size();
    h.ui.messages.answers = {MessageResult::Yes};
    h.shell->fleetService()->softResetAll(nullptr, picked);
    QCOMPARE(h.ui.messages.shown.size(), shown + 1);
    for (LoopbackSim* sim : {&a, &b, &c})
        QVERIFY(!nextLine(*sim->process, {"softreset"}).empty());
}

QObject* makeFleetCommandsTest() { return new FleetCommandsTest; }

} // namespace sorvane::test

#include "FleetCommandsTest.moc"
