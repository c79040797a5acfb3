// Start-up and exit: the settings file, the program directory, --connect HOST,
// and the one-instance rule, in-process through Shell and end to end through the
// `sorvane` program.

#include <sys/stat.h>

#include <QProcess>
#include <QTest>
#include <QTreeWidget>

#include "AppTests.h"
#include "ShellHarness.h"
#include "view/CommandIds.h"
#include "app/ConnectOption.h"
#include "app/MainWindow.h"
#include "app/Shell.h"
#include "app/SingleInstance.h"
#include "support/TempDir.h"

namespace sorvane::test {

namespace fs = std::filesystem;

namespace {

// What the settings file holds, read through the store as the next start would.
ProfileTable savedProfiles(const fs::path& settingsDir, Settings* settingsOut = nullptr,
                           std::optional<uint32_t>* registeredPort = nullptr)
{
    SettingsStore store(settingsDir);
    Settings settings;
    ProfileTable profiles;
    PlatformSettings platform;
    store.LoadSettings("/unused/", settings, profiles, platform);
    if (settingsOut)
        *settingsOut = settings;
    if (registeredPort)
        *registeredPort = store.registeredProxyPort();
    return profiles;
}

// Starts the `sorvane` program with its settings and program folders in `f`; its
// output goes to the test's unless `forward` is false.
std::unique_ptr<QProcess> startProgram(const TempDir& f, const QStringList& args, bool forward = true)
{
    const QString program = qEnvironmentVariable("SORVANE_APP");
    if (program.isEmpty())
        qFatal("SORVANE_APP is not set");
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("SORVANE_CONFIG_DIR", QString::fromStdString((f / "config").string()));
    env.insert("SORVANE_HOME", QString::fromStdString((f / "home").string()));
    auto p = std::make_unique<QProcess>();
    p->setProcessEnvironment(env);
    if (forward)
        p->setProcessChannelMode(QProcess::ForwardedChannels);
    p->start(program, args);
    return p;
}

} // namespace

class StartupTest : public QObject {
    Q_OBJECT
private slots:
    void connectOptionFindsOrAddsAWanProfile();
    void connectOptionInTheShell();
    void profileChangesAreSavedAndSurviveExit();
    void programRunsOnceAndEndsOnTerminate();
    void settingsFifoIsKeptAsideAndTerminateEndsTheStartUpBox();
};

// What --connect HOST does to the profile table: the profile named HOST, or a new WAN
// profile with the defaults at the address the resolver gives (asked only then);
// refusals name the host or the full table.
void StartupTest::connectOptionFindsOrAddsAWanProfile()
{
    Settings settings = Settings::defaults("/x/");
    settings.Scale = 3;
    ProfileTable table;
    int lookups = 0;
    const Ipv4Resolver resolve = [&](const std::string& h) { // no name goes off the machine
        ++lookups;
        return h == "no-such-handheld.invalid" ? std::nullopt : resolveIpv4(h);
    };
    const struct {
        std::string host;
        int index, lookups;
        std::string error; // a part of it
    } cases[] = {
        {"127.0.0.9", 0, 1, ""}, {"127.0.0.9", 0, 1, ""}, {"localhost", 1, 2, ""},
        {"no-such-handheld.invalid", -1, 3, "no-such-handheld"}, {std::string(64, 'h'), -1, 3, "hhhhhhhhhhhh"},
    };
    for (const auto& c : cases) {
        const WanProfileResult r = ensureWanProfile(table, settings, 0, c.host, resolve);
        QCOMPARE(r.index, c.index);
        QCOMPARE(lookups, c.lookups);
        QVERIFY2(r.error.find(c.error) != std::string::npos && r.error.empty() == c.error.empty(), r.error.c_str());
    }
    QCOMPARE(table.ConnTypes(), 2);
    const Profile& p = *table.get(0);
    QCOMPARE(std::string(p.nameView()), std::string("127.0.0.9"));
    QCOMPARE(p.linkKind, uint32_t(LinkKind::Wan));
    QCOMPARE(p.ipAddress, 0x7F000009u);
    QCOMPARE(p.refreshRate, 10);
    QCOMPARE(p.scale, 3);
    QCOMPARE(table.get(1)->ipAddress >> 24, 127u);
    // A full table has no room for the new profile.
    while (table.AddProfile(p)) {
    }
    QVERIFY(ensureWanProfile(table, settings, 0, "127.0.0.10", resolve).error.find("33") != std::string::npos);
}

// The shell connects the profile --connect found or made, saves a new one at once, and
// tells the user when there is none (the list selecting the new profile: view_ui
// ConnectTest).
void StartupTest::connectOptionInTheShell()
{
    ShellHarness first([](ShellOptions& o) { o.connectHost = "127.0.0.9"; });
    QCOMPARE(first.shell->connectProfile(), 0);
    const ProfileTable saved = savedProfiles(first.dir / "config");
    QCOMPARE(saved.ConnTypes(), 1);
    QVERIFY(*saved.get(0) == *first.shell->profiles().get(0));
    ShellHarness h([](ShellOptions& o) {
        o.connectHost = "no-such-handheld.invalid";
        o.resolve = [](const std::string&) { return std::optional<uint32_t>(); };
    });
    QCOMPARE(h.shell->connectProfile(), -1);
    QCOMPARE(h.ui.messages.shown.size(), size_t(1));
    QVERIFY(h.ui.messages.shown[0].text.find("no-such-handheld") != std::string::npos);
}

void StartupTest::profileChangesAreSavedAndSurviveExit()
{
    ShellHarness h([](ShellOptions& o) { o.connectHost = "127.0.0.11"; });
    MainWindow& w = *h.shell->mainWindow();
    w.runCommand(cmd::CloneConnection);
    QCOMPARE(savedProfiles(h.dir / "config").ConnTypes(), 2);
    w.connectionsList()->clearSelection();
    w.connectionsList()->topLevelItem(0)->setSelected(true);
    w.runCommand(cmd::DeleteConnection);
    QCOMPARE(savedProfiles(h.dir / "config").ConnTypes(), 1);
    h.shell->settings().HidePassword = 1; // as the password dialog sets it
    h.shell->finish();
    Settings s;
    QCOMPARE(savedProfiles(h.dir / "config", &s).ConnTypes(), 1);
    QCOMPARE(s.HidePassword, 1);
}

// Unknown arguments are refused before anything is written; the first start runs, a
// second one hands over and ends, SIGTERM ends the first in order (a FIFO among its
// scenario files holds nothing up).
void StartupTest::programRunsOnceAndEndsOnTerminate()
{
    TempDir f;
    const std::unique_ptr<QProcess> refused = startProgram(f, {"--frobnicate"}, false);
    QVERIFY(refused->waitForFinished(60000));
    QCOMPARE(refused->exitCode(), 2);
    QVERIFY(refused->readAllStandardError().contains("usage: sorvane [--connect HOST]"));
    QVERIFY(!fs::exists(f / "config/settings.reg"));

    // A FIFO and a link to /dev/zero among the scenario files are refused, not waited on or read.
    fs::create_directories(f / "home/RECORDED_DATA");
    QCOMPARE(::mkfifo((f / "home/RECORDED_DATA/fifo.bin").c_str(), 0600), 0);
    fs::create_symlink("/dev/zero", f / "home/RECORDED_DATA/zero.bin");
    const QString key = SingleInstance::keyFor(QString::fromStdString((f / "config").string()));
    const std::unique_ptr<QProcess> first = startProgram(f, {"--connect", "127.0.0.12"});
    QVERIFY(first->waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(SingleInstance::ping(key, 1000), 60000);
    QVERIFY(fs::is_regular_file(f / "home/help/index.html")); // seeded from the installed defaults
    QVERIFY(fs::is_directory(f / "home/RECORDED_DATA"));

    const std::unique_ptr<QProcess> second = startProgram(f, {"--connect", "127.0.0.13"});
    QVERIFY(second->waitForFinished(60000));
    QCOMPARE(second->exitStatus(), QProcess::NormalExit);
    QCOMPARE(second->exitCode(), 0);
    QCOMPARE(first->state(), QProcess::Running);

    first->terminate(); // SIGTERM: an orderly exit that saves the settings
    QVERIFY(first->waitForFinished(60000));
    QCOMPARE(first->exitStatus(), QProcess::NormalExit);
    QCOMPARE(first->exitCode(), 0);
    // Only the first start's host became a profile; the scripts folder and the agent's
    // port registration are stored.
    Settings s;
    std::optional<uint32_t> port;
    const ProfileTable saved = savedProfiles(f / "config", &s, &port);
    QCOMPARE(saved.ConnTypes(), 1);
    QCOMPARE(std::string(saved.get(0)->nameView()), std::string("127.0.0.12"));
    QCOMPARE(s.ScriptDir, (f / "home/RECORDED_DATA").string());
    QCOMPARE(port.value_or(0), 1899u);
    QVERIFY(!SingleInstance::ping(key, 500));
}

void StartupTest::settingsFifoIsKeptAsideAndTerminateEndsTheStartUpBox()
{
    // A FIFO in the settings file's place would block a plain open for good. In
    // process: it is reported and kept aside, and the program starts.
    auto keptFifo = [](const fs::path& dir) {
        for (const auto& e : fs::directory_iterator(dir))
            if (e.path().filename().string().rfind("settings.reg.corrupt-", 0) == 0 && fs::is_fifo(e.path()))
                return true;
        return false;
    };
    {
        ShellHarness h([](ShellOptions& o) {
            fs::create_directories(o.settingsDir);
            QCOMPARE(::mkfifo((o.settingsDir / "settings.reg").c_str(), 0600), 0);
        });
        QVERIFY(h.shell->mainWindow() && h.shell->mainWindow()->isVisible());
        QCOMPARE(h.ui.messages.shown.size(), size_t(1));
        QVERIFY(h.ui.messages.shown[0].text.find("not a regular file") != std::string::npos);
        QVERIFY(h.ui.messages.shown[0].icon == MessageIcon::Warning);
        QVERIFY(keptFifo(h.dir / "config"));
    }
    // The program: its start-up box is open (it answers a second start from that box's
    // loop); one SIGTERM ends it, box and all.
    TempDir f;
    fs::create_directories(f / "config");
    QCOMPARE(::mkfifo((f / "config/settings.reg").c_str(), 0600), 0);
    const QString key = SingleInstance::keyFor(QString::fromStdString((f / "config").string()));
    const std::unique_ptr<QProcess> p = startProgram(f, {});
    QVERIFY(p->waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(SingleInstance::ping(key, 1000), 60000);
    QVERIFY(keptFifo(f / "config"));
    p->terminate();
    QVERIFY(p->waitForFinished(60000));
    QCOMPARE(p->exitStatus(), QProcess::NormalExit);
    QCOMPARE(p->exitCode(), 0);
}

QObject* makeStartupTest() { return new StartupTest; }

} // namespace sorvane::test

#include "StartupTest.moc"
