// Start-up pieces: the command line, where files live, seeding the program
// directory, and the one-instance check.

#include <fstream>
#include <thread>

#include <QFile>
#include <QLocalServer>
#include <QSignalSpy>
#include <QTest>

#include "AppTests.h"
#include "app/CommandLine.h"
#include "app/ProgramPaths.h"
#include "app/SingleInstance.h"
#include "support/TempDir.h"

namespace sorvane::test {

namespace fs = std::filesystem;

namespace {

QString uniqueKey(const TempDir& dir) { return SingleInstance::keyFor(QString::fromStdString(dir.path().string())); }

// Asks from another thread, as a second start does without an event loop of its own,
// while this thread's loop serves the first instance: 1 answered, 0 not.
int fromAnotherStart(bool (*ask)(const QString&, int), const QString& key)
{
    std::atomic<int> answered{-1};
    std::thread second([&] { answered = ask(key, 10000) ? 1 : 0; });
    (void)QTest::qWaitFor([&] { return answered != -1; }, 20000);
    second.join();
    return answered;
}

} // namespace

class ShellTest : public QObject {
    Q_OBJECT
private slots:
    void commandLine();
    void pathsFollowEnvironment();
    void seedingCopiesOnlyMissingFiles();
    void secondStartActivatesFirst();
};

void ShellTest::commandLine()
{
    struct Case {
        std::vector<std::string> args;
        std::string host; // "!": refused
    } cases[] = {
        {{}, ""}, {{"--connect", "127.0.0.5"}, "127.0.0.5"}, {{"--connect=handheld.local"}, "handheld.local"},
        {{"--connect"}, "!"}, {{"--connect="}, "!"}, {{"--connect", "a", "--connect", "b"}, "!"}, {{"--bogus"}, "!"},
    };
    for (const Case& c : cases) {
        const CommandLine r = parseCommandLine(c.args);
        QCOMPARE(r.error.empty() ? r.connectHost.value_or("") : "!", c.host);
        QVERIFY(!r.help);
    }
    QVERIFY(parseCommandLine({"--help"}).help);
}

void ShellTest::pathsFollowEnvironment()
{
    TempDir dir;
    PathEnvironment env;
    env.home = (dir / "home").string();
    env.executableDir = dir / "prefix" / "bin";
    ProgramPaths p = resolveProgramPaths(env);
    QCOMPARE(p.programDir, dir / "home/.local/share/sorvane");
    QVERIFY(p.defaultsDir.empty());

    env.xdgDataHome = (dir / "data").string();
    fs::create_directories(dir / "prefix/bin");
    fs::create_directories(dir / "prefix/share/sorvane");
    p = resolveProgramPaths(env);
    QCOMPARE(p.programDir, dir / "data/sorvane");
    QCOMPARE(p.defaultsDir, (dir / "prefix/share/sorvane").lexically_normal());
    env.xdgDataHome = "relative/data"; // not absolute: ignored
    QCOMPARE(resolveProgramPaths(env).programDir, dir / "home/.local/share/sorvane");

    env.sorvaneHome = (dir / "home-override/").string(); // a trailing '/' is dropped
    p = resolveProgramPaths(env);
    QCOMPARE(p.programDir, dir / "home-override");
    QCOMPARE(p.programDirPrefix() + "RECORDED_DATA", (dir / "home-override/RECORDED_DATA").string());
    QCOMPARE(p.helpIndex(), dir / "home-override/help/index.html");
}

void ShellTest::seedingCopiesOnlyMissingFiles()
{
    TempDir dir;
    writeFile(dir / "defaults/help/index.html", "shipped index");
    writeFile(dir / "defaults/help/input.html", "shipped input");
    writeFile(dir / "defaults/SKINS.INI", "[skins]");
    writeFile(dir / "home/help/index.html", "the user's own index");
    QVERIFY(seedProgramDirectory(dir / "defaults", dir / "home").empty());
    QCOMPARE(readFile(dir / "home/help/index.html"), std::string("the user's own index"));
    QCOMPARE(readFile(dir / "home/help/input.html"), std::string("shipped input"));
    QCOMPARE(readFile(dir / "home/SKINS.INI"), std::string("[skins]"));
    // Nothing to seed from: nothing happens.
    QVERIFY(seedProgramDirectory(dir / "missing", dir / "other").empty());
    QVERIFY(!fs::exists(dir / "other"));
    // A target that cannot be made is reported.
    writeFile(dir / "blocker", "a file, not a folder");
    QCOMPARE(seedProgramDirectory(dir / "defaults", dir / "blocker/home").size(), size_t(1));
}

void ShellTest::secondStartActivatesFirst()
{
    TempDir dir;
    const QString key = uniqueKey(dir);
    {
        // A socket file nobody listens on, as a crashed run leaves behind: nobody answers
        // a ping through it, and the next first start replaces it.
        QLocalServer crashed;
        QVERIFY(crashed.listen(key));
        const QString path = crashed.fullServerName();
        crashed.close();
        if (!QFile::exists(path)) {
            QFile stale(path);
            QVERIFY(stale.open(QIODevice::WriteOnly));
        }
    }
    QVERIFY(!SingleInstance::ping(key, 500));
    SingleInstance first(key);
    QVERIFY2(first.listen(), qPrintable(first.errorString()));
    QSignalSpy activations(&first, &SingleInstance::activationRequested);

    QCOMPARE(fromAnotherStart(SingleInstance::activateRunning, key), 1);
    QCOMPARE(activations.count(), 1);
    QCOMPARE(fromAnotherStart(SingleInstance::ping, key), 1);
    QCOMPARE(activations.count(), 1); // a ping does not bring the window forward

    // Another configuration directory is another instance.
    TempDir other;
    SingleInstance elsewhere(uniqueKey(other));
    QVERIFY(elsewhere.listen());
    QVERIFY(uniqueKey(other) != key);
}

QObject* makeShellTest() { return new ShellTest; }

} // namespace sorvane::test

#include "ShellTest.moc"
