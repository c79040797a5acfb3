// sorvane-cli on several devices at once: simulators on distinct loopback addresses,
// named by a --devices file or by repeated connection options.

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <memory>
#include <set>

#include "scripts/Scenario.h"
#include "support/SimProcess.h"
#include "support/TempDir.h"

using namespace sorvane::test;
namespace fs = std::filesystem;

namespace {

struct Fleet {
    std::vector<std::unique_ptr<SimProcess>> sims;
    std::string lines; // a --devices file
    // One more simulator on 127.0.0.(2 + its number) with these options.
    void add(std::vector<std::string> args)
    {
        const std::string address = "127.0.0." + std::to_string(2 + sims.size());
        args.insert(args.begin(), {"--host", address, "--port", "0"});
        sims.push_back(std::make_unique<SimProcess>(args));
        lines += "--host " + address + " --port " + std::to_string(sims.back()->tcpPort()) + "\n";
    }
};

ProcessResult cli(std::vector<std::string> args)
{
    args.insert(args.begin(), programFromEnv("SORVANE_CLI"));
    return runProcess(args, std::chrono::seconds(90));
}

std::vector<std::string> entries(const fs::path& dir)
{
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace

// Eight devices play one scenario; the fifth drops in the middle. The others each write
// a whole results log of their own (two of one name too), and the run says who failed.
TEST(CliFleet, ScenarioOnEightWhileOneDrops)
{
    TempDir dir;
    Fleet fleet;
    for (int i = 1; i <= 8; ++i) {
        std::vector<std::string> args{"--name", i <= 2 ? "Twin" : "Unit " + std::to_string(i)};
        if (i == 5)
            args.insert(args.end(), {"--close-after", "5"});
        fleet.add(args);
    }
    writeFile(dir / "devices.txt", "# the test lab\n\n" + fleet.lines);
    writeFile(dir / "a.txt", "MOUSEDOWN,5,5\r\nSNAPSHOT,snap.png\r\nSLEEP,100\r\nMOUSEUP,5,5\r\n");
    sorvane::Scenario s{.loopCount = 3, .logResults = 1, .name = "Smoke", .logFile = (dir / "results.txt").string(),
                        .files = {{0, 2, 0, "a.txt"}}};
    std::string error;
    ASSERT_TRUE(sorvane::SaveScenarioFile(dir.path().string(), s, error)) << error;

    ProcessResult r = cli({"--devices", (dir / "devices.txt").string(), "scenario", "Smoke", "--script-dir",
                           dir.path().string()});
    EXPECT_EQ(r.exitCode, 1) << r.out << r.err;
    EXPECT_EQ(r.out, "Unit 5: failed (exit status 1)\n7 passed, 1 failed\n");
    EXPECT_NE(r.err.find("Unit 5: sorvane-cli: the device closed the link\n"), std::string::npos) << r.err;
    const std::string twin1 = "Twin-127.0.0.2-" + std::to_string(fleet.sims[0]->tcpPort());
    const std::string twin2 = "Twin-127.0.0.3-" + std::to_string(fleet.sims[1]->tcpPort());
    for (const std::string& label : {twin1, twin2, std::string("Unit 3"), std::string("Unit 8")}) {
        const std::string log = readFile(dir / ("results-" + label + ".txt"));
        size_t ends = 0;
        for (size_t at = 0; (at = log.find("*** End of Script ***, a.txt\r\n", at)) != std::string::npos; ++at)
            ++ends;
        EXPECT_EQ(ends, 6u) << label << "\n" << log; // three passes of the file twice
        EXPECT_TRUE(fs::file_size(dir / ("snap-" + label + ".png")) > 0) << label;
    }
    const std::vector<std::string> all = entries(dir.path());
    EXPECT_EQ(std::count_if(all.begin(), all.end(), [](const std::string& n) { return n.starts_with("results-"); }),
              8); // the fifth's log broke off
    EXPECT_FALSE(fs::exists(dir / "results.txt") || fs::exists(dir / "snap.png"));
}

// Two devices of one hostile name: capture writes two safe files beside OUT, get a folder each.
TEST(CliFleet, DevicesOfOneNameWriteTheirOwnFiles)
{
    TempDir dir, device;
    writeFile(device / "f.txt", "from the device");
    Fleet fleet;
    fleet.add({"--name", "../x\x01", "--files", device.path().string()});
    fleet.add({"--name", "../X\x01", "--files", device.path().string()});
    const std::vector<std::string> hosts{"--host", "127.0.0.2", "--port", std::to_string(fleet.sims[0]->tcpPort()),
                                         "--host", "127.0.0.3", "--port", std::to_string(fleet.sims[1]->tcpPort())};
    fs::create_directories(dir / "out" / "got");
    std::vector<std::string> args = hosts;
    args.insert(args.end(), {"capture", (dir / "out" / "shot.png").string()});
    ProcessResult r = cli(args);
    ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_TRUE(r.out.ends_with("2 passed, 0 failed\n"));
    const std::string a = "%2E.%2Fx%01-127.0.0.2-" + std::to_string(fleet.sims[0]->tcpPort());
    const std::string b = "%2E.%2FX%01-127.0.0.3-" + std::to_string(fleet.sims[1]->tcpPort());
    EXPECT_EQ(entries(dir / "out"), (std::vector<std::string>{"got", "shot-" + b + ".png", "shot-" + a + ".png"}));
    EXPECT_EQ(readFile(dir / "out" / ("shot-" + a + ".png")).substr(0, 8), "\x89PNG\r\n\x1a\n");

    args = hosts;
    args.insert(args.end(), {"get", "\\f.txt", (dir / "out" / "got").string()});
    r = cli(args);
    ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_EQ(readFile(dir / "out" / "got" / a / "f.txt"), "from the device");
    EXPECT_EQ(readFile(dir / "out" / "got" / b / "f.txt"), "from the device");
    EXPECT_EQ(entries(dir.path()), std::vector<std::string>{"out"});
}

// A --devices file that is no regular file, too big or wrong in a line is refused with
// the reason and where, before anything connects.
TEST(CliFleet, BadDeviceListsAreRefused)
{
    TempDir dir;
    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
    writeFile(dir / "big", std::string(300 * 1024, '#'));
    const std::string bcast = "--lan --bcast 127.0.0.1 --bport 9";
    const std::pair<std::string, std::string> lines[] = {
        {"--host 127.0.0.2\n--host \"127.0.0.3\n", "line 2: no closing \""},
        {"--host 127.0.0.2\n\n--hots 127.0.0.3\n", "line 3: unknown connection option --hots"},
        {"--host 127.0.0.2\n" + bcast + " --pick A\n", "line 2: --lan among --host connections"},
        {bcast + " --pick A\n" + bcast + "\n", "line 2: on several devices each --lan connection needs --pick"},
        {"--host 127.0.0.2 --port 7\n# twice\n--port 7 --host 127.0.0.2\n", "line 3 is the connection of"},
        {"--proxy 127.0.0.2:9\n", "line 1: --proxy needs --pick"},
        {"", "names no connection"}};
    for (const auto& [text, reason] : lines) {
        writeFile(dir / "list", text);
        const ProcessResult r = cli({"--devices", (dir / "list").string(), "info"});
        EXPECT_EQ(r.exitCode, 2) << text;
        EXPECT_NE(r.err.find(reason), std::string::npos) << text << " -> " << r.err;
    }
    for (const auto& [file, reason] : {std::pair<std::string, std::string>{"fifo", "is not a regular file"},
                                       {"big", "is larger than 256 KiB"}}) {
        const ProcessResult r = cli({"--devices", (dir / file).string(), "info"});
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_NE(r.err.find((dir / file).string() + ": " + reason), std::string::npos) << r.err;
    }
    const ProcessResult r = cli({"--host", "127.0.0.2", "--host", "127.0.0.3", "ls", "\\"});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("ls runs on one device at a time"), std::string::npos) << r.err;
}
