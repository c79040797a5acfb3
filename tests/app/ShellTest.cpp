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

void writeFile(const fs::path& p, const std::string& text)
{
    fs::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << text;
}

std::string readFile(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

QString uniqueKey(const TempDir& dir) { return SingleInstance::keyFor(QString::fromStdString(dir.path().string())); }

} // namespace

class ShellTest : public QObject {
    Q_OBJECT
private slots:
    void commandLine();
    void pathsFollowEnvironment();
    void seedingCopiesOnlyMissingFiles();
    void secondStartActivatesFirst();
    void staleSocketIsReplaced();
};

void ShellTest::commandLine()
{
    CommandLine c = parseCommandLine({});
    QVERIFY(!c.connectHost && c.error.empty() && !c.help);
    c = parseCommandLine({"--connect", "127.0.0.5"});
    QCOMPARE(c.connectHost.value_or(""), std::string("127.0.0.5"));
    c = parseCommandLine({"--connect=handheld.local"});
    QCOMPARE(c.connectHost.value_or(""), std::string("handheld.local"));
    QVERIFY(!parseCommandLine({"--connect"}).error.empty());
    QVERIFY(!parseCommandLine({"--connect="}).error.empty());
    QVERIFY(!parseCommandLine({"--connect", "a", "--connect", "b"}).error.empty());
    QVERIFY(!parseCommandLine({"--bogus"}).error.empty());
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
    QCOMPARE(p.programDirPrefix(), (dir / "home/.local/share/sorvane").string() + "/");

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
    QVERIFY(!SingleInstance::ping(key, 500)); // nobody yet
    SingleInstance first(key);
    QVERIFY2(first.listen(), qPrintable(first.errorString()));
    QSignalSpy activations(&first, &SingleInstance::activationRequested);

    // The second start runs without an event loop of its own, as at start-up.
    std::atomic<int> answered{-1};
    std::thread second([&] { answered = SingleInstance::activateRunning(key, 10000) ? 1 : 0; });
    QTRY_VERIFY(answered != -1);
    second.join();
    QCOMPARE(answered.load(), 1);
    QCOMPARE(activations.count(), 1);

    std::atomic<int> pinged{-1};
    std::thread pinger([&] { pinged = SingleInstance::ping(key, 10000) ? 1 : 0; });
    QTRY_VERIFY(pinged != -1);
    pinger.join();
    QCOMPARE(pinged.load(), 1);
    QCOMPARE(activations.count(), 1); // a ping does not bring the window forward

    // Another configuration directory is another instance.
    TempDir other;
    SingleInstance elsewhere(uniqueKey(other));
    QVERIFY(elsewhere.listen());
    QVERIFY(uniqueKey(other) != key);
}

void ShellTest::staleSocketIsReplaced()
{
    TempDir dir;
    const QString key = uniqueKey(dir);
    {
        // A socket file nobody listens on, as a crashed run leaves behind.
        QLocalServer crashed;
        QVERIFY(crashed.listen(key));
        const QString path = crashed.fullServerName();
        crashed.close();
        if (!QFile::exists(path)) {
            QFile stale(path);
            QVERIFY(stale.open(QIODevice::WriteOnly));
        }
    }
    SingleInstance next(key);
    QVERIFY2(next.listen(), qPrintable(next.errorString()));
    QSignalSpy activations(&next, &SingleInstance::activationRequested);
    std::atomic<int> answered{-1};
    std::thread second([&] { answered = SingleInstance::activateRunning(key, 10000) ? 1 : 0; });
    QTRY_VERIFY(answered != -1);
    second.join();
    QCOMPARE(answered.load(), 1);
    QCOMPARE(activations.count(), 1);
}

QObject* makeShellTest() { return new ShellTest; }

} // namespace sorvane::test

#include "ShellTest.moc"
