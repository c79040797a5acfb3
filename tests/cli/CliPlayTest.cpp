// sorvane-cli play and scenario against the simulator, which logs every packet it
// receives: what a replay sends, in order, and the results log it writes.

#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <sstream>

#include "scripts/Scenario.h"
#include "support/SimProcess.h"
#include "support/TempDir.h"

using namespace sorvane::test;
namespace fs = std::filesystem;

namespace {

struct SimRun {
    TempDir dir;
    std::unique_ptr<SimProcess> sim;
    ProcessResult result;
    std::vector<std::string> packets; // input packets, LAUNCH commands and their payloads
    SimRun()
    {
        sim = std::make_unique<SimProcess>(
            std::vector<std::string>{"--port", "0", "--packet-log", (dir / "packets.log").string()});
    }
    void go(std::vector<std::string> args)
    {
        result = runProcess(args);
        sim->signal(SIGTERM);
        sim->wait(std::chrono::seconds(10));
        std::istringstream log(readFile(dir / "packets.log"));
        bool launch = false;
        for (std::string line; std::getline(log, line);) {
            if (line.rfind("input ", 0) == 0 || line == "command 59ff5911" || (launch && line.rfind("payload", 0) == 0))
                packets.push_back(line);
            launch = line == "command 59ff5911";
        }
    }
};

std::vector<std::string> cli(const SimProcess& sim, std::vector<std::string> args)
{
    args.insert(args.begin(), {programFromEnv("SORVANE_CLI"), "--host", "127.0.0.1", "--port",
                               std::to_string(sim.tcpPort())});
    return args;
}

} // namespace

TEST(CliPlay, SendsTheScriptAndLogsIt)
{
    SimRun run;
    writeFile(run.dir / "s.txt", ";MOUSEDOWN,1,1\r\nmousedown,10,20\nSLEEP,50\rMOUSEDOWN,,10,20\r\nMOUSEUP,120,88\r\n"
                                 "LAUNCH,\\Windows\\calc.exe\r\nKEYDOWN,13\r\n");
    run.go(cli(*run.sim, {"play", (run.dir / "s.txt").string(), "--log", (run.dir / "r.log").string()}));
    ASSERT_EQ(run.result.exitCode, 0) << run.result.err;
    std::string path;
    for (char c : std::string("\\Windows\\calc.exe"))
        path += (std::ostringstream() << std::hex << int(c)).str();
    EXPECT_EQ(run.packets, (std::vector<std::string>{"input 54ff54110a001400", "input 54ff54110a001400",
                                                      "input 55ff551178005800", "command 59ff5911",
                                                      "payload " + path + "00", "input 56ff56110d000000"}));
    const std::string log = readFile(run.dir / "r.log");
    EXPECT_NE(log.find(", *** Start of Script ***, Script = s.txt, File = 0, Loop = 0, Device = Sorvane Sim, s.txt\r\n"),
              std::string::npos) << log;
    EXPECT_NE(log.find(", LAUNCH, \\Windows\\calc.exe\r\n"), std::string::npos);
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 8); // Start, Version, 5 events, End

    SimRun empty;
    writeFile(empty.dir / "c.txt", "; nothing to send\r\n");
    empty.go(cli(*empty.sim, {"play", (empty.dir / "c.txt").string()}));
    EXPECT_EQ(empty.result.exitCode, 1);
}

TEST(CliPlay, ScenarioLoops)
{
    SimRun run;
    writeFile(run.dir / "a.txt", "MOUSEDOWN,1,1\r\n");
    writeFile(run.dir / "b.txt", "MOUSEDOWN,2,2\r\n");
    sorvane::Scenario s;
    s.name = "Smoke";
    s.loopCount = 2;
    s.files = {{0, 3, 0, "a.txt"}, {0, 3, 0, "b.txt"}};
    std::string error;
    ASSERT_TRUE(sorvane::SaveScenarioFile(run.dir.path().string(), s, error)) << error;
    run.go(cli(*run.sim, {"scenario", "Smoke", "--script-dir", run.dir.path().string()}));
    ASSERT_EQ(run.result.exitCode, 0) << run.result.err;
    std::string xs;
    for (auto& p : run.packets)
        xs += p.substr(14, 2) == "01" ? '1' : '2';
    EXPECT_EQ(xs, "111222111222");
}
