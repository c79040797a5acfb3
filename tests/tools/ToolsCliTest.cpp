// sorvane-cli's device tools end to end against the simulator on loopback. Expected
// lines are worked out by hand from the formatting rules.

#include <gtest/gtest.h>

#include "support/SimProcess.h"

using namespace sorvane::test;

namespace {

ProcessResult cli(const SimProcess& sim, std::vector<std::string> args)
{
    args.insert(args.begin(), {programFromEnv("SORVANE_CLI"), "--host", "127.0.0.1", "--port",
                               std::to_string(sim.tcpPort())});
    return runProcess(args, std::chrono::seconds(60));
}

// The next line of the simulator's log that starts with `prefix`.
std::string logLine(SimProcess& sim, const std::string& prefix)
{
    while (auto line = sim.readLine(std::chrono::seconds(10)))
        if (line->rfind(prefix, 0) == 0)
            return *line;
    return "(no line " + prefix + ")";
}

TEST(ToolsCli, StatusAndProcessLinesAreEscapedAndTheFirst256Listed)
{
    SimProcess sim({"--port", "0", "--name", "Pocket\\1", "--status",
                    "os=4.21.1088,program=33554432/1572864,storage=16777216/17000000,cpu=1234,battery=255,"
                    "backup=7,charging=1,load=0x163", "--process", "7:0:caf\xE9.exe:ignored", "--process",
                    "4294967295:0x1A2B:a\\b:T\x01\x81"});
    ProcessResult r = cli(sim, {"status"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "Device ID: Pocket\\1\nVideo Size: 240 x 320\nVideo Bit Depth: 16 (65536 colors)\n"
                     "Primary Battery Level: Unavailable (charging)\nBackup Battery Level: 7%\n"
                     "Operating System: CE 4.21, build 1088\nCPU: Unknown (1234)\n"
                     "Program Memory Total: 32.00 MB\nProgram Memory In Use: 30.50 MB\n"
                     "Program Memory Free: 1.50 MB\nStorage Memory Total: 16.00 MB\n"
                     "Storage Memory In Use: 0.00 MB\nStorage Memory Free: 16.21 MB\nMemory Utilization: 99%\n");

    r = cli(sim, {"ps"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "7\t0x00000000\tcaf\xC3\xA9.exe\t<none>\n4294967295\t0x00001A2B\ta\\b\tT\\x01\\x81\n");

    // More than 256: the first 256 listed.
    SimProcess many({"--port", "0", "--process-count", "300"});
    r = cli(many, {"ps"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 256);
    EXPECT_NE(r.out.find("\n4351\t0x000200FF\tproc0256.exe\tWindow 256\n"), std::string::npos);
    EXPECT_NE(r.err.find("reported 300 processes"), std::string::npos);
}

TEST(ToolsCli, SilentDeviceFailsWithinTheTimeLimit)
{
    SimProcess sim({"--port", "0", "--silent", "o,x"});
    for (const char* command : {"status", "ps"}) {
        const ProcessResult r = cli(sim, {"--timeout", "2", command});
        EXPECT_EQ(r.exitCode, 1) << command;
        EXPECT_NE(r.err.find("did not answer"), std::string::npos) << r.err;
    }
}

TEST(ToolsCli, ClipboardTypingAndMessages)
{
    SimProcess sim({"--port", "0", "--clipboard", "Hello, PC\xE9"});
    ProcessResult r = cli(sim, {"clip"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "Hello, PC\xC3\xA9");
    EXPECT_EQ(cli(sim, {"type", "\xC3\xA9"}).exitCode, 1); // nothing sent: the next input is 'a'
    ASSERT_EQ(cli(sim, {"type", "a?"}).exitCode, 0);
    for (const char* line : {"input 86 65 1", "input 87 65 1", "input 86 16 1", "input 86 191 1", "input 87 191 1",
                             "input 87 16 1"})
        EXPECT_EQ(logLine(sim, "input"), line);
    // Through the device's clipboard: the run of characters without a key is pasted
    // (Windows-1252) before its Ctrl+V; only a character Windows-1252 lacks is refused, named.
    r = cli(sim, {"type", "--via-clipboard", "\xC3\xA9\xE4\xB8\xAD"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("has \xE4\xB8\xAD; nothing was sent"), std::string::npos) << r.err;
    ASSERT_EQ(cli(sim, {"type", "--via-clipboard", "\xC3\xA9\xE2\x82\xAC" "b"}).exitCode, 0);
    EXPECT_EQ(logLine(sim, "paste"), "paste 2 e980");
    for (const char* line : {"input 86 17 1", "input 86 86 1", "input 87 86 1", "input 87 17 1", "input 86 66 1"})
        EXPECT_EQ(logLine(sim, "input"), line);

    const struct {
        std::vector<std::string> args;
        std::string line;
    } cases[] = {
        {{"paste", "\xC3\xA9\xE2\x82\xAC\xE4\xB8\xAD\nx"}, "paste 6 e9803f0d0a78"},
        {{"paste", ""}, "paste 0 "},
        {{"kill", "602010018"}, "kill 602010018 found"},
        {{"activate", "0x0009B410"}, "activate 635920"},
        {{"activate", "0"}, "activate 0"},
        {{"reset"}, "softreset"},
        {{"suspend"}, "suspend"},
    };
    for (const auto& c : cases) {
        r = cli(sim, c.args);
        EXPECT_EQ(r.exitCode, 0) << c.line << r.err;
        EXPECT_EQ(logLine(sim, c.line.substr(0, c.line.find(' '))), c.line);
    }
    EXPECT_EQ(cli(sim, {"kill", "12x"}).exitCode, 2);

    SimProcess lying({"--port", "0", "--clipboard-length", "2147483648"});
    r = cli(lying, {"clip"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("more than 1048576 bytes"), std::string::npos) << r.err;
}

} // namespace
