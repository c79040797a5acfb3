// Recording text, script reading, playback on a driven clock, the results log and
// scenario files.

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <utility>

#include "link/LinkChannel.h"
#include "platform/Clock.h"
#include "scripts/Player.h"
#include "scripts/ResultsLog.h"
#include "scripts/Scenario.h"
#include "scripts/ScriptText.h"
#include "support/TempDir.h"
#include "view/ViewRecord.h"

using namespace sorvane;
using test::readFile;
using test::writeFile;
namespace fs = std::filesystem;

namespace {

std::array<uint8_t, 8> packet(uint8_t code, uint16_t x, uint16_t y)
{
    return {code, 0xFF, code, 0x11, uint8_t(x), uint8_t(x >> 8), uint8_t(y), uint8_t(y >> 8)};
}

// A link that takes every send with the tick it was made at; nothing ever answers.
struct RecordingChannel : LinkChannel {
    explicit RecordingChannel(ManualClock& c) : clock(c) {}
    size_t recv(uint8_t*, size_t) override { return 0; }
    void send(const uint8_t* b, size_t n) override
    {
        sent.push_back({clock.tickCount(), std::vector<uint8_t>(b, b + n)});
        if (onSend)
            onSend();
    }
    uint8_t readReply() override { return 0; }
    void sleepMs(uint32_t ms) override { clock.sleepMs(ms); }
    void discardPending() override { ++discards; }
    ManualClock& clock;
    std::vector<std::pair<uint32_t, std::vector<uint8_t>>> sent;
    std::function<void()> onSend;
    int discards = 0;
};

Scenario scenarioOf(std::vector<std::string> files, int loopCount, int scriptLoops)
{
    Scenario s;
    s.name = "Smoke";
    s.loopCount = loopCount;
    s.noVideo = 1;
    for (auto& f : files)
        s.files.push_back(ScenarioFile{0, scriptLoops, 0, f});
    return s;
}

// Plays a scenario to its end (or until playing stops, here or at the first packet) on a
// driven clock.
struct Playback {
    ManualClock clock{1000};
    RecordingChannel channel{clock};
    std::atomic<uint32_t> state{record_state::kPlaying};
    Player player;
    bool ended = false;
    Playback(const Scenario& s, const sorvane::test::TempDir& dir, bool stopAtFirstPacket = false,
             const std::string& device = "Dev", std::function<bool(const ManualClock&)> stopping = {})
        : player(s, dir.path().string(), device)
    {
        if (stopAtFirstPacket)
            channel.onSend = [this] { state = record_state::kStopped; };
        player.start(clock.tickCount());
        PlaybackLink link{channel, clock, nullptr, {}, [&] { return stopping && stopping(clock); }};
        ended = RunPlayback(player, link, state);
    }
};

} // namespace

TEST(Recording, SavedText)
{
    EventList list;
    list.start(0xFFFFFF00u); // the tick count wraps during the click
    list.record(packet(84, 120, 88), 0xFFFFFF00u + 0);
    list.record(packet(85, 120, 88), 0xFFFFFF00u + 250);
    EXPECT_EQ(RecordingText(list.events()), "MOUSEDOWN,120,88\r\nSLEEP,250\r\nMOUSEUP,120,88\r\n");
    list.start(7);
    list.record(packet(86, 13, 0x1234), 9);
    list.record(packet(87, 13, 0), 9);
    EXPECT_EQ(RecordingText(list.events()), "KEYDOWN,13\r\nKEYUP,13\r\n");
    for (int i = 0; i < 10001; ++i)
        list.record(packet(88, 1, 2), 10);
    EXPECT_EQ(list.size(), EventList::kCapacity);
    EXPECT_TRUE(list.overflowed());

    sorvane::test::TempDir dir;
    std::string written, error;
    ASSERT_TRUE(SaveRecording((dir / "empty").string(), {}, written, error)) << error;
    EXPECT_EQ(written, (dir / "empty.txt").string());
    EXPECT_TRUE(fs::exists(written) && fs::file_size(written) == 0);
    fs::create_directory(dir / "a.b");
    for (auto [chosen, saved] : {std::pair{"macro.scr", "macro.scr"}, {"a.b/macro", "a.b/macro.txt"}})
        EXPECT_EQ(RecordingPath((dir / chosen).string()), (dir / saved).string());
}

TEST(ScriptReading, RulesAndLimits)
{
    EXPECT_EQ(ReadDecimal(" -12x"), -12);
    EXPECT_EQ(ReadDecimal("x5"), 0);
    EXPECT_EQ(ReadDecimal("99999999999"), INT32_MAX);
    EXPECT_EQ(SplitFields(",,a,,b,c,d,e,f").size(), 5u);
    const std::string big(128, '7');
    std::string many;
    for (int i = 0; i < 10001; ++i)
        many += "KEYUP,1\n";
    LoadedScript s;
    std::string error;
    for (const std::string& bad : {std::string(";only,1,2\r\n"), std::string("MOUSEDOWN,10\r\n"),
                                   "MOUSEUP,1," + big, many})
        EXPECT_FALSE(ParseScript(bad, s, error)) << bad.substr(0, 40);
}

TEST(Playback, SendsThePacketsOfAHandWrittenScript)
{
    sorvane::test::TempDir dir;
    writeFile(dir / "s.txt", ";MOUSEDOWN,1,1\r\nmousedown,10,20\nSLEEP,500\rMOUSEDOWN,,10,20\r\nMOUSEUP,120,88\r\n"
                             "Launch,\\Windows\\calc.exe\r\nKEYDOWN,13\r\nBOGUS,1,2\r\n");
    Playback p(scenarioOf({"s.txt"}, 1, 1), dir);
    EXPECT_TRUE(p.ended);
    EXPECT_EQ(p.state.load(), record_state::kStopped);
    // The bytes of each packet are the command line tests' (the simulator logs them);
    // here: which packets, and when on the driven clock.
    std::vector<std::pair<uint32_t, uint8_t>> sent;
    for (const auto& [tick, bytes] : p.channel.sent)
        sent.emplace_back(tick, bytes[0]);
    const std::vector<std::pair<uint32_t, uint8_t>> want = {{1000, 84}, {1500, 84}, {2000, 85}, {2500, 89}, {3000, 86}};
    EXPECT_EQ(sent, want);
}

TEST(Playback, LoopCountsAndTheResultsLog)
{
    sorvane::test::TempDir dir;
    writeFile(dir / "a.txt", "MOUSEDOWN,1,1\r\n");
    writeFile(dir / "b.txt", "MOUSEDOWN,2,2\r\nSYSINFO,0,0\r\n");
    writeFile(dir / "c.txt", ";nothing\r\n");
    Scenario s = scenarioOf({"a.txt", "b.txt"}, 2, 3);
    s.loopDelay = 3600; // waits on the driven clock only
    Playback p(s, dir);
    std::string xs;
    for (auto& [tick, bytes] : p.channel.sent)
        xs += char('0' + (bytes[0] == 84 ? bytes[4] : bytes[0] == 111 ? 0 : 9));
    EXPECT_EQ(xs, "111202020111202020"); // each SYSINFO (0) drained, nothing else sent
    EXPECT_EQ(p.channel.discards, 6);
    EXPECT_EQ(p.state.load(), record_state::kStopped);

    // Names that would add lines (to a shell's start-up file, say) are written escaped.
    s = scenarioOf({"a.txt", "c.txt"}, 1, 1);
    s.name = "S\nexport PWNED=1 #";
    s.logResults = 1;
    s.logFile = (dir / "log.TXT").string();
    Playback one(s, dir, false, "D\r\nev\\");
    const std::string log = readFile(dir / "log.TXT");
    const std::regex stamp("\\d\\d/\\d\\d/\\d{4},\\d\\d:\\d\\d:\\d\\d, ");
    EXPECT_EQ(std::regex_replace(log, stamp, ""),
              "*** Start of Script ***, Script = S\\nexport PWNED=1 #, File = 0, Loop = 0, Device = D\\x0d\\nev\\, "
              "a.txt\r\nVersion 400, a.txt\r\nMOUSEDOWN, 1,1\r\n*** End of Script ***, a.txt\r\n"
              "*** Start of Script ***, Script = S\\nexport PWNED=1 #, File = 1, Loop = 0, Device = D\\x0d\\nev\\, "
              "c.txt\r\nVersion 400, c.txt\r\nError Loading Script File, c.txt\r\n");

    // A FIFO named as the log is neither written nor waited on: the scenario plays on.
    ASSERT_EQ(::mkfifo((dir / "fifo.log").c_str(), 0600), 0);
    s.logFile = (dir / "fifo.log").string();
    Playback fifo(s, dir, false, "D");
    EXPECT_EQ(fifo.state.load(), record_state::kStopped);

    // A log path read from a scenario file may only name a .txt or .log file, not hidden,
    // in no hidden folder but those on the way to the script folder.
    for (const auto& [path, used] : std::vector<std::pair<std::string, bool>>{
             {"/h/.local/s/r.Log", true}, {"/h/.local/s/a/../b/r.log", true}, {"/h/.bashrc", false},
             {"/h/.x.txt", false}, {"/h/.bashrc.d/r.txt", false}, {"/h/.local/s/../r.txt", false},
             {"/etc/cron.d/job", false}}) {
        s.logFile = path;
        EXPECT_EQ(DropRefusedResultsLog(s, "/h/.local/s/").empty(), used) << path;
        EXPECT_EQ(std::exchange(s.logResults, 1), used ? 1 : 0) << path;
    }
}

TEST(Playback, EveryCyclePausesWhenNothingLoads)
{
    // A file that fails to load, or a pass that ends, still takes the cycle's pause: a
    // driven second holds some 50 cycles, not an endless burst of log lines.
    sorvane::test::TempDir dir;
    int checks = 0;
    Playback p(scenarioOf({"missing.txt"}, INT32_MAX, 1), dir, false, "Dev",
               [&](const ManualClock& c) { return ++checks > 5000 || c.tickCount() >= 2000; });
    EXPECT_GE(p.clock.tickCount(), 2000u); // stopped by the clock, not by the count of checks
    EXPECT_LE(p.player.loadFailures(), 25); // a cycle for the file, one for the end of its pass
}

TEST(Playback, StopEndsALoopDelayAtOnce)
{
    sorvane::test::TempDir dir;
    writeFile(dir / "a.txt", "MOUSEDOWN,1,1\r\n");
    Scenario s = scenarioOf({"a.txt"}, 1, 2);
    s.files[0].scriptLoopDelay = 100000;
    Playback p(s, dir, true);
    EXPECT_FALSE(p.ended);
    EXPECT_LT(p.clock.tickCount(), 2000u);
    EXPECT_EQ(p.player.scenario().active, 1); // stopped from outside: still marked running
}

TEST(Scenarios, FilesAndLegacyImport)
{
    sorvane::test::TempDir dir;
    Scenario s = scenarioOf({"a.txt"}, 2, 3);
    s.active = 1;
    std::string error;
    ASSERT_TRUE(SaveScenarioFile(dir.path().string(), s, error)) << error;
    const std::string bytes = readFile(dir / "Smoke.bin");
    EXPECT_EQ(bytes.size(), 1648u);
    EXPECT_EQ(bytes.substr(0, 4), "SXWK");
    s.name = "../evil";
    EXPECT_FALSE(SaveScenarioFile(dir.path().string(), s, error));
    // Loop counts and delays read back within what the dialog lets the user type.
    Scenario wild = scenarioOf({"a.txt"}, INT32_MAX, -3);
    wild.loopDelay = -1;
    wild.files[0].scriptLoopDelay = INT32_MAX;
    const Scenario t = *Scenario::decode(wild.encode());
    EXPECT_EQ(std::vector<int>({t.loopCount, t.loopDelay, t.files[0].scriptLoopCount, t.files[0].scriptLoopDelay}),
              std::vector<int>({99, 0, 0, 99999999}));

    // The old store: three records become three files, and it goes.
    fs::create_directory(dir / "RECORDED_DATA");
    std::string legacy = {3, 0, 0, 0};
    for (const char* name : {"One", "Two", "Three"}) {
        Scenario r = scenarioOf({"x.txt"}, 1, 1);
        r.name = name;
        r.active = 1;
        const auto rec = r.encode();
        legacy.append(rec.begin(), rec.end());
    }
    const fs::path store = dir / "RECORDED_DATA" / "scripts.bin";
    writeFile(store, legacy);
    writeFile(dir / "other.bin", "ABCD" + std::string(1644, '\0'));
    ScenarioTable table;
    EXPECT_TRUE(table.load(dir.path().string(), store.string()).importedLegacy);
    EXPECT_FALSE(fs::exists(store));
    for (const char* name : {"One", "Two", "Three"})
        EXPECT_EQ(fs::file_size(dir / (std::string(name) + ".bin")), 1648u);
    table.load(dir.path().string(), store.string());
    ASSERT_EQ(table.scenarios().size(), 4u); // One, Smoke, Three, Two; other.bin is no scenario
    EXPECT_EQ(table.scenarios()[1].name, "Smoke");
    EXPECT_EQ(table.scenarios()[1].active, 0); // the loop counts read back are the command line tests'

    // A clone shares the file until the last scenario of that name is deleted.
    ASSERT_TRUE(table.clone(1));
    table.remove(1, dir.path().string());
    EXPECT_TRUE(fs::exists(dir / "Smoke.bin"));
    table.remove(3, dir.path().string());
    EXPECT_FALSE(fs::exists(dir / "Smoke.bin"));

    writeFile(store, std::string{40, 0, 0, 0}); // a damaged store stays for the user
    table.load(dir.path().string(), store.string());
    EXPECT_TRUE(fs::exists(store));
}
