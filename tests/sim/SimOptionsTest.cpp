// sorvane-sim never reaches beyond loopback, whatever it is asked, and its options for
// tests (--lag, --notes) do what they say. Its protocol side is checked through the
// real client: tests/link, tests/cli (hello, device facts, passwords) and tests/e2e (the
// screen stream at every depth, orientation and fault, compared with the simulator's
// own dump).

#include <gtest/gtest.h>

#include "support/SimProcess.h"
#include "support/TempDir.h"

using namespace sorvane::test;

TEST(SimOptions, RefusesAddressesOffLoopbackAndBadValues)
{
    const std::vector<std::vector<std::string>> refused = {
        {"--host", "10.1.2.3"},             // listening off loopback
        {"--connect-to", "192.0.2.1:1901"}, // connecting out off loopback
        {"--port", "0", "--discovery-port", "0", "--discovery-bind", "192.0.2.255"},
        {"--lag", "60001"},                     // and values out of range
        {"--notes", std::string(4001, 'a')},
        {"--notes", "tab\there"},
    };
    for (std::vector<std::string> args : refused) {
        SCOPED_TRACE(args[0] + " " + (args.size() > 1 ? args[1] : ""));
        args.insert(args.begin(), programFromEnv("SORVANE_SIM"));
        ProcessResult r = runProcess(args, std::chrono::seconds(20));
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_NE(r.err.find("sorvane-sim:"), std::string::npos) << r.err;
        EXPECT_EQ(r.out, "");
    }
}

namespace {

// The picture sorvane-cli captures (PPM bytes) from a simulator with a fixed clock
// started with simArgs, after the input and polls of cliArgs.
std::string capture(const std::vector<std::string>& simArgs, const std::vector<std::string>& cliArgs)
{
    TempDir dir;
    std::vector<std::string> args = {"--host", "127.0.0.1", "--port", "0", "--clock", "fixed"};
    args.insert(args.end(), simArgs.begin(), simArgs.end());
    SimProcess sim(args);
    std::vector<std::string> cli = {programFromEnv("SORVANE_CLI"), "--host", "127.0.0.1", "--port",
                                    std::to_string(sim.tcpPort()), "capture", (dir / "shot.ppm").string()};
    cli.insert(cli.end(), cliArgs.begin(), cliArgs.end());
    ProcessResult r = runProcess(cli, std::chrono::seconds(120));
    EXPECT_EQ(r.exitCode, 0) << r.err;
    return readFile(dir / "shot.ppm");
}

} // namespace

TEST(SimOptions, LagDelaysTheScreenAndNotesStartWithText)
{
    // Each row's capture must equal the capture of another input without the option.
    // The capture ends at the first poll that finds the screen unchanged unless --polls
    // is given; 20 polls at the default 10 a second take about two seconds, far beyond a
    // lag of 300 ms.
    struct Row {
        const char* name;
        std::vector<std::string> sim, cli, plainCli;
    } rows[] = {
        {"notes as if typed", {"--notes", "Hello"}, {"--key", "0xC3"}, {"--key", "0xC3", "--type", "Hello"}},
        {"lag holds the input back, the poll answered", {"--lag", "60000"}, {"--key", "0xC3"}, {}},
        {"lagging input arrives, in order",
         {"--lag", "300"},
         {"--key", "0xC3", "--type", "Hello", "--polls", "20"},
         {"--key", "0xC3", "--type", "Hello"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string shot = capture(row.sim, row.cli);
        ASSERT_GT(shot.size(), 240u * 320u * 3u);
        EXPECT_TRUE(shot == capture({}, row.plainCli));
    }
}
