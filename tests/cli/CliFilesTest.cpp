// sorvane-cli's file commands against the simulator serving a sandbox folder.

#include <gtest/gtest.h>

#include <fstream>

#include "support/SimProcess.h"
#include "support/TempDir.h"

using namespace sorvane::test;
namespace fs = std::filesystem;

namespace {

struct Cli {
    TempDir root, pc;
    fs::path sandbox = root / "device"; // root/victim lies outside it
    std::unique_ptr<SimProcess> sim;
    Cli()
    {
        fs::create_directory(sandbox);
        sim = std::make_unique<SimProcess>(std::vector<std::string>{"--port", "0", "--files", sandbox.string()});
    }
    ProcessResult operator()(std::vector<std::string> args)
    {
        args.insert(args.begin(), {programFromEnv("SORVANE_CLI"), "--host", "127.0.0.1", "--port",
                                   std::to_string(sim->tcpPort())});
        return runProcess(args);
    }
};

} // namespace

TEST(CliFiles, PutLsGetMvRmRun)
{
    Cli cli;
    fs::create_directory(cli.sandbox / "Zeta");
    fs::create_directory(cli.sandbox / "alpha");
    writeFile(cli.sandbox / "b.txt", "bb");
    writeFile(cli.sandbox / "A.txt", "a");
    writeFile(cli.sandbox / "evil\n\x1b[2J", "");
    std::string big(70000, 'x');
    for (size_t i = 0; i < big.size(); i += 7)
        big[i] = char(i);
    writeFile(cli.pc / "up.bin", big);

    ProcessResult r = cli({"put", (cli.pc / "up.bin").string(), "\\Zeta"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(readFile(cli.sandbox / "Zeta" / "up.bin") == big);

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
    EXPECT_EQ(lines, (std::vector<std::string>{"d\talpha", "d\tZeta", "-\tA.txt", "-\tb.txt", "-\tevil\\n\\x1b[2J"}));
    EXPECT_NE(r.out.find("-\t2\t"), std::string::npos); // b.txt's size

    fs::create_directory(cli.pc / "down");
    r = cli({"get", "\\Zeta\\up.bin", (cli.pc / "down").string()}); // a folder: under the device name
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(readFile(cli.pc / "down" / "up.bin") == big);
    writeFile(cli.pc / "kept", "old");
    EXPECT_EQ(cli({"get", "\\Zeta\\none", (cli.pc / "kept").string()}).exitCode, 1);
    EXPECT_EQ(readFile(cli.pc / "kept"), "old");

    EXPECT_EQ(cli({"mv", "\\b.txt", "c.txt"}).exitCode, 0);
    EXPECT_EQ(readFile(cli.sandbox / "c.txt"), "bb");
    EXPECT_EQ(cli({"rm", "\\c.txt"}).exitCode, 0);
    r = cli({"rm", "\\c.txt"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("refused"), std::string::npos) << r.err;
    // Never outside the device's folder: not up, not through a link.
    writeFile(cli.root / "victim", "safe");
    fs::create_directory_symlink(cli.root.path(), cli.sandbox / "out");
    EXPECT_EQ(cli({"rm", "\\..\\victim"}).exitCode, 1);
    EXPECT_EQ(cli({"rm", "\\out\\victim"}).exitCode, 1);
    EXPECT_EQ(cli({"mv", "\\out\\victim", "x"}).exitCode, 1);
    EXPECT_EQ(readFile(cli.root / "victim"), "safe");
    fs::remove(cli.sandbox / "out");

    EXPECT_EQ(cli({"run", "\\Windows\\app.exe"}).exitCode, 0);
    bool ran = false;
    while (auto line = cli.sim->readLine(std::chrono::seconds(5)))
        if ((ran = *line == "run \\Windows\\app.exe"))
            break;
    EXPECT_TRUE(ran);
}
