// sorvane-cli's file, play and scenario commands against the simulator, which serves a
// sandbox folder and logs every packet it receives: what a replay sends, in order, and
// the results log it writes.

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <iterator>
#include <fstream>
#include <sstream>

#include <sys/stat.h>

#include "cli/PollPace.h"
#include "imaging/ImageLibrary.h"
#include "platform/HelpText.h"
#include "scripts/Scenario.h"
#include "support/SimProcess.h"
#include "support/TempDir.h"
#include "view/Skin.h"

using namespace sorvane::test;
namespace fs = std::filesystem;

namespace {

// sorvane-cli against a simulator of its own; with `files` the simulator serves the
// sandbox (and then runs what is launched instead of reading past it).
struct Cli {
    TempDir root, pc;
    fs::path sandbox = root / "device"; // root/victim lies outside it
    std::unique_ptr<SimProcess> sim;
    explicit Cli(bool files, std::vector<std::string> args = {})
    {
        fs::create_directory(sandbox);
        args.insert(args.end(), {"--port", "0", "--packet-log", (root / "packets.log").string()});
        if (files)
            args.insert(args.end(), {"--files", sandbox.string()});
        sim = std::make_unique<SimProcess>(args);
    }
    // stdoutTo: a file standard output goes to instead of the result.
    ProcessResult operator()(std::vector<std::string> args, const std::string& stdoutTo = "")
    {
        args.insert(args.begin(), {programFromEnv("SORVANE_CLI"), "--host", "127.0.0.1", "--port",
                                   std::to_string(sim->tcpPort())});
        if (!stdoutTo.empty())
            args.insert(args.begin(), {"/bin/sh", "-c", "exec \"$0\" \"$@\" >" + stdoutTo});
        return runProcess(args, std::chrono::seconds(30));
    }
    // Whether the simulator reports `want` (reading its report up to that line).
    bool logged(const std::string& want)
    {
        while (auto line = sim->readLine(std::chrono::seconds(5)))
            if (*line == want)
                return true;
        return false;
    }
    // Ends the simulator: the input packets, LAUNCH commands and their payloads it logged.
    std::vector<std::string> packets()
    {
        sim->signal(SIGTERM);
        sim->wait(std::chrono::seconds(10));
        std::istringstream log(readFile(root / "packets.log"));
        std::vector<std::string> packets;
        bool launch = false;
        for (std::string line; std::getline(log, line);) {
            if (line.rfind("input ", 0) == 0 || line == "command 59ff5911" || (launch && line.rfind("payload", 0) == 0))
                packets.push_back(line);
            launch = line == "command 59ff5911";
        }
        return packets;
    }
};

} // namespace

// capture and record poll at the chosen rate whatever an exchange takes: a start a
// period after the previous start, an overrun followed at once and never by a burst.
TEST(CliPace, PollsStartAPeriodApart)
{
    sorvane::ManualClock clock(100);
    sorvane::cli::PollPace pace(clock, 55);
    std::vector<uint32_t> starts;
    for (uint32_t exchange : {0u, 20u, 70u, 10u, 0u}) {
        pace.waitNext();
        starts.push_back(clock.tickCount());
        clock.advance(exchange);
    }
    EXPECT_EQ(starts, (std::vector<uint32_t>{155, 210, 265, 335, 390}));
}

// --help filled to 80 columns: every word kept in its order, each paragraph at its column.
TEST(CliHelp, FittedToEightyColumns)
{
    std::string words;
    for (int i = 0; i < 40; ++i)
        words += (i ? " word" : "word") + std::to_string(i);
    const std::string text = "  --opt N  " + words + "\n           more\n  --next  x\n      " + words + "\n  cmd X\n";
    const std::string fitted = sorvane::FitHelpText(text);
    std::istringstream in(text), out(fitted), lines(fitted);
    EXPECT_TRUE(std::equal(std::istream_iterator<std::string>(in), {}, std::istream_iterator<std::string>(out), {}));
    std::vector<std::string> l;
    for (std::string line; std::getline(lines, line);)
        l.push_back(line);
    ASSERT_GE(l.size(), 8u);
    for (const std::string& line : l)
        EXPECT_LE(line.size(), 80u) << line;
    EXPECT_EQ(l[1].find_first_not_of(' '), 11u);
    EXPECT_EQ(l.back(), "  cmd X");
    EXPECT_EQ(l[l.size() - 2].find_first_not_of(' '), 6u);
}

TEST(CliFiles, PutLsGetMvRmRun)
{
    Cli cli(true);
    fs::create_directory(cli.sandbox / "Zeta");
    fs::create_directory(cli.sandbox / "alpha");
    writeFile(cli.sandbox / "b.txt", "bb");
    writeFile(cli.sandbox / "A.txt", "a");
    writeFile(cli.sandbox / "evil\n\x1b[2J", "");
    std::string big(70000, 'x');
    for (size_t i = 0; i < big.size(); i += 7)
        big[i] = char(i);
    writeFile(cli.pc / "up.bin", big);
    writeFile(cli.pc / "caf\u00e9.txt", "accent");

    ProcessResult r = cli({"put", (cli.pc / "up.bin").string(), "\\Zeta"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(readFile(cli.sandbox / "Zeta" / "up.bin") == big);
    // The device takes the name in Windows-1252; its file system holds characters.
    ASSERT_EQ(cli({"put", (cli.pc / "caf\u00e9.txt").string(), "\\"}).exitCode, 0);
    EXPECT_EQ(readFile(cli.sandbox / "caf\u00e9.txt"), "accent");
    EXPECT_TRUE(cli.logged("create \\caf\xE9.txt"));

    // Folders first, then names ignoring case; the control characters escaped.
    r = cli({"ls", "\\"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    std::vector<std::string> lines;
    for (size_t at = 0; at < r.out.size();) {
        size_t nl = r.out.find('\n', at);
        std::string line = r.out.substr(at, nl - at);
        lines.push_back(line.substr(0, 2) + line.substr(line.rfind('\t') + 1)); // kind and name
        at = nl + 1;
    }
    EXPECT_EQ(lines, (std::vector<std::string>{"d\talpha", "d\tZeta", "-\tA.txt", "-\tb.txt", "-\tcaf\u00e9.txt",
                                               "-\tevil\\n\\x1b[2J"}));
    EXPECT_NE(r.out.find("-\t2\t"), std::string::npos); // b.txt's size

    fs::create_directory(cli.pc / "down");
    r = cli({"get", "\\Zeta\\up.bin", (cli.pc / "down").string()}); // a folder: under the device name
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(readFile(cli.pc / "down" / "up.bin") == big);
    EXPECT_EQ(cli({"get", "\\caf\u00e9.txt", (cli.pc / "down").string()}).exitCode, 0);
    EXPECT_EQ(readFile(cli.pc / "down" / "caf\u00e9.txt"), "accent");
    writeFile(cli.pc / "kept", "old");
    EXPECT_EQ(cli({"get", "\\Zeta\\none", (cli.pc / "kept").string()}).exitCode, 1);
    EXPECT_EQ(readFile(cli.pc / "kept"), "old");
    // A name near the file system's limit replaces a private file: the temporary beside
    // it still fits, and the file stays private.
    const std::string longName = std::string(246, 'n') + ".txt";
    writeFile(cli.sandbox / longName, "new");
    writeFile(cli.pc / "down" / longName, "old");
    fs::permissions(cli.pc / "down" / longName, fs::perms::owner_read | fs::perms::owner_write);
    r = cli({"get", "\\" + longName, (cli.pc / "down").string()});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(readFile(cli.pc / "down" / longName), "new");
    EXPECT_EQ(fs::status(cli.pc / "down" / longName).permissions(), fs::perms::owner_read | fs::perms::owner_write);

    EXPECT_EQ(cli({"mv", "\\b.txt", "c.txt"}).exitCode, 0);
    EXPECT_EQ(readFile(cli.sandbox / "c.txt"), "bb");
    EXPECT_EQ(cli({"rm", "\\c.txt"}).exitCode, 0);
    r = cli({"rm", "\\caf\xC3\xA9\\c.txt"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err.rfind("sorvane-cli: \\caf\xC3\xA9\\c.txt: ", 0), 0u) << r.err; // as typed
    EXPECT_NE(r.err.find("refused"), std::string::npos) << r.err;
    // Never outside the device's folder: not up, not through a link.
    writeFile(cli.root / "victim", "safe");
    fs::create_directory_symlink(cli.root.path(), cli.sandbox / "out");
    EXPECT_EQ(cli({"rm", "\\..\\victim"}).exitCode, 1);
    EXPECT_EQ(cli({"rm", "\\out\\victim"}).exitCode, 1);
    EXPECT_EQ(cli({"mv", "\\out\\victim", "x"}).exitCode, 1);
    EXPECT_EQ(readFile(cli.root / "victim"), "safe");
    fs::remove(cli.sandbox / "out");
    // Names the device cannot hold as given: refused before anything goes, naming the character.
    const std::string evil = (cli.pc / "..\\..\\Windows\\StartUp\\evil.exe").string();
    writeFile(evil, "x");
    fs::remove(cli.sandbox / "Zeta" / "up.bin");
    const std::pair<std::vector<std::string>, std::string> refused[] = {
        {{"put", (cli.pc / "up.bin").string(), evil, "\\Zeta"}, "evil.exe: a device file name cannot hold '\\'"},
        {{"put", (cli.pc / "\u65e5\u672c.txt").string(), "\\"},
         "\u65e5\u672c.txt: the device cannot hold '\u65e5' (U+65E5)"},
        {{"get", "\\\u2713.txt", "x"}, "\\\u2713.txt: the device cannot hold '\u2713' (U+2713)"},
        {{"mv", "\\A.txt", "a:b"}, "a:b: a device file name cannot hold ':'"},
    };
    for (const auto& [args, message] : refused) {
        r = cli(args);
        EXPECT_EQ(r.exitCode, 1) << message;
        EXPECT_NE(r.err.find(message), std::string::npos) << r.err;
    }
    EXPECT_FALSE(fs::exists(cli.sandbox / "Zeta" / "up.bin")); // not even the good file of that put

    // What cannot reach standard output is a failure, with the reason.
    for (std::vector<std::string> command : {std::vector<std::string>{"ls", "\\"}, {"info"}, {"status"}, {"ps"}}) {
        r = cli(command, "/dev/full");
        EXPECT_EQ(r.exitCode, 1) << command[0];
        EXPECT_NE(r.err.find("cannot write standard output: No space left on device"), std::string::npos) << r.err;
    }

    EXPECT_EQ(cli({"run", "\\Windows\\app.exe"}).exitCode, 0);
    EXPECT_TRUE(cli.logged("run \\Windows\\app.exe"));

    // Entries whose name lies outside the listing's names are left out, and counted.
    Cli faulty(true, {"--bad-name-offsets", "2"});
    for (const char* name : {"a", "b", "c"})
        writeFile(faulty.sandbox / name, "");
    r = faulty({"ls", "\\"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 1);
    EXPECT_NE(r.err.find("2 entries with a bad name were skipped"), std::string::npos) << r.err;
}

TEST(CliPlay, SendsTheScriptAndTheScenarioAndLogsThem)
{
    Cli cli(false);
    writeFile(cli.pc / "s.txt", ";MOUSEDOWN,1,1\r\nmousedown,10,20\nSLEEP,50\rMOUSEDOWN,,10,20\r\nMOUSEUP,120,88\r\n"
                                "LAUNCH,\\Windows\\calc.exe\r\nKEYDOWN,13\r\n");
    ProcessResult r = cli({"play", (cli.pc / "s.txt").string(), "--log", (cli.pc / "r.log").string()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    writeFile(cli.pc / "c.txt", "; nothing to send\r\n");
    EXPECT_EQ(cli({"play", (cli.pc / "c.txt").string()}).exitCode, 1);
    // A check polls the screen (the snapshot has the device's picture); a failed one is named.
    writeFile(cli.pc / "k.txt", "SNAPSHOT,shot.bmp\r\nCHECKTEXT,x,9999,0,1,1\r\n");
    r = cli({"play", (cli.pc / "k.txt").string()});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "sorvane-cli: k.txt line 2: CHECKTEXT region outside the screen\n");
    EXPECT_TRUE(fs::exists(cli.pc / "shot.bmp") && fs::exists(cli.pc / "Sorvane_Sim-k-line2-pass1-actual.png"));
    // A stored scenario: its files from the script folder, in order, each as often as it
    // says. Its log is a file a shell would run: refused, and the scenario plays without it.
    writeFile(cli.pc / "a.txt", "MOUSEDOWN,1,1\r\n");
    writeFile(cli.pc / "b.txt", "MOUSEDOWN,2,2\r\n");
    sorvane::Scenario s{.logResults = 1, .name = "Smoke", .logFile = (cli.pc / ".profile").string(),
                        .files = {{0, 2, 0, "a.txt"}, {0, 1, 0, "b.txt"}}};
    std::string error;
    ASSERT_TRUE(sorvane::SaveScenarioFile(cli.pc.path().string(), s, error)) << error;
    r = cli({"scenario", "Smoke", "--script-dir", cli.pc.path().string()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "sorvane-cli: the results log " + s.logFile + " is not used: a results log must be a .txt or "
                     ".log file, not hidden and not in a hidden folder; the scenario plays without it\n");
    EXPECT_FALSE(fs::exists(s.logFile));
    std::string path;
    for (char c : std::string("\\Windows\\calc.exe"))
        path += (std::ostringstream() << std::hex << int(c)).str();
    EXPECT_EQ(cli.packets(), (std::vector<std::string>{"input 54ff54110a001400", "input 54ff54110a001400",
                                                        "input 55ff551178005800", "command 59ff5911",
                                                        "payload " + path + "00", "input 56ff56110d000000",
                                                        "input 54ff541101000100", "input 54ff541101000100",
                                                        "input 54ff541102000200"}));
    const std::string log = readFile(cli.pc / "r.log");
    EXPECT_NE(log.find(", *** Start of Script ***, Script = s.txt, File = 0, Loop = 0, "
                       "Device = Sorvane Sim, s.txt\r\n"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find(", LAUNCH, \\Windows\\calc.exe\r\n"), std::string::npos);
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 8); // Start, Version, 5 events, End
}

// Names that lead to no file worth reading: every place that opens a file the user
// named refuses them at once with the reason (a wait fails through the time-out).
TEST(CliFiles, HostileFilesAreRefusedWithTheirReason)
{
    Cli cli(true);
    const fs::path d = cli.pc.path();
    ASSERT_EQ(::mkfifo((d / "fifo.bin").c_str(), 0600), 0);
    ASSERT_EQ(::mkfifo((d / "fifo.avi").c_str(), 0600), 0);
    fs::create_symlink("/dev/zero", d / "zero.bin");
    fs::create_directory(d / "folder.bin");
    for (auto [name, size] : {std::pair{"big.txt", (16ull << 20) + 1}, {"big.png", (128ull << 20) + 1}, {"huge", 1ull << 32}}) {
        writeFile(d / name, "");
        fs::resize_file(d / name, size);
    }
    // Pillow's PNGs: a few KB claiming 8192 x 8192 pixels, and one that makes a window of
    // 2100 x 4 = 8400 pixels at 4X.
    const ProcessResult made = runProcess({std::getenv("SORVANE_PYTHON"), "-c",
                                           "import sys\nfrom PIL import Image\nImage.new('1',(8192,8192)).save(sys.argv[1]+'/wide.png')\n"
                                           "Image.new('RGB',(20,2100)).save(sys.argv[1]+'/tall.png')", d.string()});
    ASSERT_EQ(made.exitCode, 0) << made.err;
    struct Row {
        std::string place, file, reason;
    };
    const Row rows[] = {
        {"play", "fifo.bin", "is not a regular file"}, {"play", "zero.bin", "is not a regular file"},
        {"play", "folder.bin", "is a folder"},         {"play", "big.txt", "is larger than 16 MiB"},
        {"put", "fifo.bin", "is not a regular file"},  {"put", "zero.bin", "is not a regular file"},
        {"put", "folder.bin", "is a folder"},          {"put", "huge", "the file is 4 GiB or larger"},
        {"skin", "fifo.bin", "is not a regular file"}, {"skin", "zero.bin", "is not a regular file"},
        {"skin", "folder.bin", "is a folder"},         {"skin", "big.png", "is larger than 128 MiB"},
        {"skin", "wide.png", "is 8192 x 8192 pixels, larger than a skin may be (4096 x 4096)"},
        // The script folder: each non-file named, neither waited on nor read.
        {"scenario", "fifo.bin", "is not a regular file"}, {"scenario", "zero.bin", "is not a regular file"},
    };
    for (const Row& row : rows) {
        const std::string path = (d / row.file).string();
        std::string error;
        if (row.place == "skin") {
            sorvane::ImageRecord image;
            EXPECT_NE(sorvane::LoadSkinImage(path, image, &error), sorvane::kImageOk);
        } else {
            const ProcessResult r = row.place == "play" ? cli({"play", path})
                                    : row.place == "put" ? cli({"put", path, "\\"})
                                                         : cli({"scenario", "S", "--script-dir", d.string()});
            EXPECT_EQ(r.exitCode, 1) << row.place << " " << row.file;
            error = r.err;
        }
        EXPECT_NE(error.find(path + ": " + row.reason), std::string::npos) << row.place << ": " << error;
    }
    EXPECT_TRUE(fs::is_empty(cli.sandbox));
    // record's output: a FIFO is neither written nor waited on.
    const ProcessResult rec = cli({"record", (d / "fifo.avi").string(), "--polls", "1"});
    EXPECT_EQ(rec.exitCode, 1);
    EXPECT_NE(rec.err.find("cannot create " + (d / "fifo.avi").string()), std::string::npos) << rec.err;
    // The window a skin makes at the scale: 20 x 2100 fits at 3X, not at 4X.
    writeFile(d / "SKINS.INI", "[SKINS]\nskin0=Tall\n[skin0]\nImage=tall.png\n");
    sorvane::Skin skin;
    std::string why;
    EXPECT_EQ(sorvane::LoadSkin(d, 1, skin, 4, &why), sorvane::SkinLoadResult::ImageFailed);
    EXPECT_EQ(why, "a skin shown at 4X makes a window wider or taller than 8192 pixels");
    EXPECT_EQ(sorvane::LoadSkin(d, 1, skin, 3), sorvane::SkinLoadResult::Loaded);
}
