// Recording text, script reading, playback on a driven clock, the results log and
// scenario files.

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <regex>
#include <utility>

#include "link/LinkChannel.h"
#include "ocr/TextReader.h"
#include "platform/Clock.h"
#include "scripts/CheckPictures.h"
#include "scripts/Player.h"
#include "scripts/ResultsLog.h"
#include "scripts/Scenario.h"
#include "scripts/ScriptText.h"
#include "support/SimProcess.h"
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

// The script language: each keyword's code (bytes 0 and 2 of its packet), and whether
// the device answers that code.
struct Keyword {
    uint8_t code;
    const char* keyword;
    bool answered;
};
constexpr Keyword kKeywords[] = {
    {84, "MOUSEDOWN", false},   {85, "MOUSEUP", false},    {86, "KEYDOWN", false},      {87, "KEYUP", false},
    {88, "MOUSEMOVE", false},   {89, "LAUNCH", false},     {91, "DOUBLECLICK", false},  {94, "RMOUSEDOWN", false},
    {95, "RMOUSEUP", false},    {96, "RDOUBLECLICK", false}, {97, "SLEEP", false},      {100, "PASTE", false},
    {103, "GETDIR", true},      {109, "DELETEFILE", true}, {110, "RENAME", true},       {111, "SYSINFO", true},
    {112, "ACTIVATE", false},   {113, "COPY", true},       {116, "RESET", false},       {117, "SUSPEND", false},
    {118, "GETPROCESSES", false}, {119, "KILLPROCESS", false}, {120, "GETPROGRAMS", true}, {124, "NEWFOLDER", false}};

// A link that takes every send with the tick it was made at. The device answers the
// codes the table says; a send while an answer still waits unread is noted.
struct RecordingChannel : LinkChannel {
    explicit RecordingChannel(ManualClock& c) : clock(c) {}
    size_t recv(uint8_t*, size_t) override { return 0; }
    void send(const uint8_t* b, size_t n) override
    {
        if (answer)
            unread.push_back(answer);
        const auto k = std::ranges::find(kKeywords, b[0], &Keyword::code);
        answer = k != std::end(kKeywords) && k->answered ? b[0] : 0;
        sent.push_back({clock.tickCount(), std::vector<uint8_t>(b, b + n)});
        if (onSend)
            onSend();
    }
    uint8_t readReply() override { return 0; }
    void sleepMs(uint32_t ms) override { clock.sleepMs(ms); }
    void discardPending() override { answer = 0; }
    ManualClock& clock;
    std::vector<std::pair<uint32_t, std::vector<uint8_t>>> sent;
    std::function<void()> onSend;
    uint8_t answer = 0;          // the code whose answer waits
    std::vector<uint8_t> unread; // codes whose answer was still there at the next send
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

// A screen the test draws: 32 x 24 at 16 bits, black, with a white 16 x 16 square at
// 4,4 from tick `showAt` on, the first `holes` pixels of its top row left black. The
// first `refreshes` polls leave a zeroed picture that is not the device's.
struct DrawnScreen {
    ScreenState st;
    uint32_t showAt = 0;
    int holes = 0, refreshes = 0, polls = 0;
    bool poll(uint32_t tick)
    {
        if (st.bitmaps.dib.bits.empty()) {
            st.facts = {.depth = 16, .width = 32, .height = 24};
            BuildViewBitmaps(st.bitmaps, st.facts, st.palette);
        }
        Picture& p = st.bitmaps.dib;
        std::ranges::fill(p.bits, 0);
        if (++polls <= refreshes)
            return false;
        for (int y = 4; tick >= showAt && y < 20; ++y)
            for (int x = y == 4 ? 4 + holes : 4; x < 20; ++x)
                p.row(y)[2 * x] = p.row(y)[2 * x + 1] = 0xFF;
        return true;
    }
};

// Reads "Team\n  MEETING" on a picture with a white pixel, "Notes" on others.
struct FakeReader : TextReader {
    bool read(const RgbPicture& picture, std::string& text, std::string&) override
    {
        text = std::ranges::count(picture.rgb, 0xFF) ? "Team\n  MEETING" : "Notes";
        return true;
    }
};

// Plays a scenario to its end (or until playing stops, here or at the first packet) on a
// driven clock.
struct Playback {
    ManualClock clock{1000};
    RecordingChannel channel{clock};
    std::atomic<RecordState> state{RecordState::Playing};
    Player player;
    bool ended = false;
    Playback(const Scenario& s, const sorvane::test::TempDir& dir, bool stopAtFirstPacket = false,
             const std::string& device = "Dev", std::function<bool(const ManualClock&)> stopping = {},
             DrawnScreen* screen = nullptr)
        : player(s, dir.path().string(), device)
    {
        if (stopAtFirstPacket)
            channel.onSend = [this] { state = RecordState::Stopped; };
        player.start(clock.tickCount());
        player.setTextReader(std::make_shared<FakeReader>());
        PlaybackLink link{channel, clock, screen ? &screen->st : nullptr, {},
                          [&] { return stopping && stopping(clock); },
                          [&] { return screen && screen->poll(clock.tickCount()); }, 50};
        ended = RunPlayback(player, link, state);
    }
};

} // namespace

TEST(Recording, SavedTextAndItsReplayOnADrivenClock)
{
    // Input recorded at known ticks (the tick count wraps after the first event) and
    // saved: a SLEEP line with the gap before every event later than the one before it.
    ManualClock clock(0xFFFFFF00u);
    EventList list;
    list.start(clock.tickCount());
    const std::pair<uint32_t, std::array<uint8_t, 8>> input[] = {
        {100, packet(84, 120, 88)}, {250, packet(88, 121, 90)}, {0, packet(85, 121, 90)},
        {1000, packet(86, 13, 0x1234)}, {0, packet(87, 13, 0x5678)}, {40, packet(91, 65535, 0)},
        {70, packet(94, 300, 400)}, {40, packet(95, 300, 400)}, {500, packet(96, 7, 8)}};
    for (const auto& [gap, bytes] : input) {
        clock.advance(gap);
        list.record(bytes, clock.tickCount());
    }
    sorvane::test::TempDir dir;
    std::string written, error;
    ASSERT_TRUE(SaveRecording((dir / "macro").string(), list.events(), written, error)) << error;
    EXPECT_EQ(written, (dir / "macro.txt").string());
    EXPECT_EQ(readFile(written), "MOUSEDOWN,120,88\r\nSLEEP,250\r\nMOUSEMOVE,121,90\r\nMOUSEUP,121,90\r\n"
                                 "SLEEP,1000\r\nKEYDOWN,13\r\nKEYUP,13\r\nSLEEP,40\r\nDOUBLECLICK,65535,0\r\n"
                                 "SLEEP,70\r\nRMOUSEDOWN,300,400\r\nSLEEP,40\r\nRMOUSEUP,300,400\r\nSLEEP,500\r\n"
                                 "RDOUBLECLICK,7,8\r\n");

    // Replayed by a scenario that plays it twice with 3 s after each pass, then once more
    // with 5 s after it, the whole list three times with 7 s after each pass but the last.
    // An event goes at the first cycle (20 ms) at which its delay (the last SLEEP's, it
    // does not add up) has passed since the event before; a loaded key event carries
    // zeros after its key byte.
    Scenario s = scenarioOf({"macro.txt", "macro.txt"}, 3, 2);
    s.loopDelay = 7;
    s.files[0].scriptLoopDelay = 3;
    s.files[1] = {0, 1, 5, "macro.txt"};
    Playback p(s, dir);
    const std::pair<uint32_t, std::array<uint8_t, 8>> replay[] = { // ms after the file's pass starts
        {0, packet(84, 120, 88)},     {260, packet(88, 121, 90)},   {520, packet(85, 121, 90)},
        {1520, packet(86, 13, 0)},    {2520, packet(87, 13, 0)},    {2560, packet(91, 65535, 0)},
        {2640, packet(94, 300, 400)}, {2680, packet(95, 300, 400)}, {3180, packet(96, 7, 8)}};
    // A file's next pass starts a cycle after its last event and its file's delay; the
    // list's next pass a cycle after the file passes, the cycle that found them done and
    // the scenario's 7 s.
    const uint32_t starts[] = {0, 3180 + 3000 + 20, 2 * 6200}, passMs = 12400 + 3180 + 5000 + 20 + 7000 + 20;
    std::vector<std::pair<uint32_t, std::vector<uint8_t>>> want;
    for (uint32_t pass = 0; pass < 3; ++pass)
        for (uint32_t start : starts)
            for (const auto& [at, bytes] : replay)
                want.push_back({1000 + pass * passMs + start + at, {bytes.begin(), bytes.end()}});
    EXPECT_EQ(p.channel.sent, want);
    EXPECT_EQ(p.clock.tickCount(), want.back().first + 5000 + 20); // no 7 s after the last pass
    EXPECT_EQ(p.state.load(), RecordState::Stopped);

    // A full list keeps its first 10000 events; an empty one saves an empty file; ".txt"
    // is added only to a file name without a '.'.
    for (int i = 0; i < 10001; ++i)
        list.record(packet(88, 1, 2), 10);
    EXPECT_EQ(list.size(), EventList::kCapacity);
    EXPECT_TRUE(list.overflowed());
    ASSERT_TRUE(SaveRecording((dir / "empty").string(), {}, written, error)) << error;
    EXPECT_TRUE(fs::exists(dir / "empty.txt") && fs::file_size(dir / "empty.txt") == 0);
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
        many += i % 2 ? "KEYUP,1\n" : "SNAPSHOT,a.png\n";
    LoadedScript s;
    std::string error;
    for (const std::string& bad : {std::string(";only,1,2\r\n"), std::string("MOUSEDOWN,10\r\n"),
                                   "MOUSEUP,1," + big, many})
        EXPECT_FALSE(ParseScript(bad, s, error)) << bad.substr(0, 40);
}

TEST(ScriptReading, CheckLinesReadAndWrittenBack)
{
    // Each line as read (keyword in any case, blanks around fields, quotes with "" for
    // a quote, empty fields as defaults, Windows-1252 text) and as the recorder writes
    // it back: every written line reads back as itself.
    const std::pair<std::string, std::string> rows[] = {
        {"checkscreen, 10 ,20,30,40, notes-check-1.png ,", "CHECKSCREEN,10,20,30,40,notes-check-1.png"},
        {"WaitScreen,0,0,5,5,\"a,\"\"b\"\".png\" ,90", "WAITSCREEN,0,0,5,5,\"a,\"\"b\"\".png\",90"},
        {"WAITSCREEN,0,0,5,5,a.png,,2500", "WAITSCREEN,0,0,5,5,a.png,,2500"},
        {"TAPIMAGE,ok.png,98,0", "TAPIMAGE,ok.png,,0"},
        {"WAITIMAGE,ok.png,100,", "WAITIMAGE,ok.png,100"},
        {"WAITTEXT,  Team   meeting ,5000", "WAITTEXT,Team   meeting,5000"},
        {"WAITTEXT,\" padded \",1,2,3,4,0", "WAITTEXT,\" padded \",1,2,3,4,0"},
        {"waittext,x,,,,,7", "WAITTEXT,x,7"},
        {"CHECKTEXT,Caf\xE9 \x80,0,0,240,26", "CHECKTEXT,Caf\xE9 \x80,0,0,240,26"},
        {",SNAPSHOT,shot.PNG", "SNAPSHOT,shot.PNG"}};
    std::string text = "SLEEP,300\r\n";
    for (const auto& [line, written] : rows)
        text += line + "\r\n";
    LoadedScript s;
    std::string error;
    ASSERT_TRUE(ParseScript(text + "MOUSEUP,1,2\r\n", s, error)) << error;
    ASSERT_EQ(s.checks.size(), std::size(rows));
    ASSERT_EQ(s.events.size(), std::size(rows) + 1);
    for (size_t i = 0; i < std::size(rows); ++i) {
        EXPECT_EQ(CheckLine(s.checks[i]), rows[i].second);
        EXPECT_EQ(s.checks[i].line, int(i) + 2);
        EXPECT_EQ(s.events[i].packet, (std::array<uint8_t, 8>{0xF0, 0xFF, 0xF0, 0x11, uint8_t(i), 0, 0, 0}));
        EXPECT_EQ(s.events[i].time, 300u);
        LoadedScript again;
        ASSERT_TRUE(ParseScript(rows[i].second, again, error)) << error;
        EXPECT_EQ(CheckLine(again.checks[0]), rows[i].second);
    }
    EXPECT_EQ(s.checks[1].file, "a,\"b\".png");
    EXPECT_EQ(s.checks[8].text, "Café €");
    EXPECT_TRUE(s.checks[6].hasRegion && !s.checks[7].hasRegion && s.checks[7].timeoutMs == 7);

    // Recorded checkpoints are saved among the events; one whose name a script cannot
    // hold is refused before anything is written.
    EventList list;
    list.start(0);
    list.record(packet(84, 1, 2), 0);
    list.recordCheck(1, 40);
    list.recordCheck(0, 40);
    sorvane::test::TempDir dir;
    std::string written;
    ASSERT_TRUE(SaveRecording((dir / "r").string(), list.events(), written, error,
                              std::span(s.checks).subspan(1, 2)));
    EXPECT_EQ(readFile(written), "MOUSEDOWN,1,2\r\nSLEEP,40\r\n" + rows[2].second + "\r\n" + rows[1].second + "\r\n");
    s.checks[1].file = "\xE6\x97\xA5-check-1.png";
    EXPECT_FALSE(SaveRecording((dir / "bad").string(), list.events(), written, error, s.checks));
    EXPECT_FALSE(fs::exists(dir / "bad.txt") || fs::exists(dir / "bad.txt.part"));
}

TEST(ScriptReading, CheckPicturesAgainstPillowAndHostileLines)
{
    // Pictures Pillow writes read as Pillow reads them; ours read by Pillow as we wrote them.
    sorvane::test::TempDir dir;
    RgbPicture picture{13, 7, {}};
    for (int i = 0; i < 13 * 7 * 3; ++i)
        picture.rgb.push_back(uint8_t(i * 37 % 251));
    std::string error;
    for (const char* ours : {"ours.png", "ours.BMP"})
        ASSERT_TRUE(SaveRgbPicture(dir / ours, picture, error)) << error;
    EXPECT_FALSE(SaveRgbPicture(dir / "ours.gif", picture, error) || SaveRgbPicture(dir / "no/x.png", picture, error));
    const char* names[] = {"ours.png", "ours.BMP", "rgb.bmp", "pal.png", "pal.bmp", "bw.bmp", "grey.png", "rgba.png"};
    std::vector<std::string> argv = {
        test::programFromEnv("SORVANE_PYTHON"), "-c",
        "import sys\nfrom PIL import Image\nd=sys.argv[1]+'/'\nim=Image.open(d+'ours.png').convert('RGB')\n"
        "im.save(d+'rgb.bmp');im.convert('P').save(d+'pal.png');im.convert('P').save(d+'pal.bmp')\n"
        "im.convert('1').save(d+'bw.bmp');im.convert('L').save(d+'grey.png');im.putalpha(99);im.save(d+'rgba.png')\n"
        "for n in sys.argv[2:]: open(d+n+'.rgb','wb').write(Image.open(d+n).convert('RGB').tobytes())",
        dir.path().string()};
    argv.insert(argv.end(), std::begin(names), std::end(names));
    const test::ProcessResult py = test::runProcess(argv);
    ASSERT_EQ(py.exitCode, 0) << py.err;
    for (const char* name : names) {
        RgbPicture read;
        ASSERT_TRUE(LoadRgbPicture(dir / name, read, error)) << name << ": " << error;
        EXPECT_EQ(std::string(read.rgb.begin(), read.rgb.end()), readFile(dir / (std::string(name) + ".rgb"))) << name;
        EXPECT_EQ(read.width * 100 + read.height, 1307) << name;
    }
    EXPECT_EQ(readFile(dir / "ours.png.rgb"), std::string(picture.rgb.begin(), picture.rgb.end()));
    EXPECT_FALSE(fs::exists(dir / "ours.png.part"));

    // A line that cannot be played is a load error naming it; nothing blocks or crashes.
    ASSERT_EQ(mkfifo((dir / "fifo.png").c_str(), 0600), 0);
    fs::create_directory(dir / "dir.png");
    writeFile(dir / "text.png", "CHECKSCREEN,1,1,1,1,text.png\r\n");
    const std::pair<std::string, const char*> bad[] = {
        {"CHECKTEXT,\"Team meeting", "a quote is not closed"}, {"CHECKTEXT,ab\"c", "does not start with one"},
        {"WAITTEXT,\"a\" b", "after a closing quote"}, {"WAITTEXT," + std::string(200, 'x'), "longer than 127"},
        {"CHECKSCREEN,0,0,13,7,../x/ours.png", "no \"..\""}, {"TAPIMAGE,/etc/passwd", "no \"..\""},
        {"TAPIMAGE,fifo.png", "fifo.png: is not a regular file"}, {"WAITIMAGE,none.png", "No such file"},
        {"TAPIMAGE,dir.png", "is a folder"}, {"TAPIMAGE,text.png", "not a PNG or BMP"},
        {"CHECKSCREEN,0,0,12,7,ours.png", "ours.png is 13 x 7 pixels, not 12 x 7"},
        {"WAITSCREEN,0,0,13,7,ours.png,101", "PERCENT is not"}, {"CHECKSCREEN,0,0,13,7,ours.png,0", "PERCENT"},
        {"WAITSCREEN,0,0,13,7,ours.png,,3600001", "TIMEOUT_MS is not"}, {"CHECKSCREEN,0,-1,13,7,a.png", "y is not"},
        {"CHECKSCREEN,0,0,13,7", "needs a file"}, {"TAPIMAGE,ours.png,98,10,1", "too many fields"},
        {"WAITTEXT,Dentist,1,2,,4", "needs w"}, {"CHECKTEXT,Dentist,5", "takes TEXT[,x,y,w,h]"},
        {"CHECKTEXT,   ", "needs a text"}, {"SNAPSHOT,shot.txt", ".jpeg or .png"}};
    for (const auto& [line, why] : bad) {
        writeFile(dir / "bad.txt", "MOUSEDOWN,1,2\r\n" + line + "\r\n");
        LoadedScript s;
        EXPECT_FALSE(LoadScriptFile((dir / "bad.txt").string(), s, error)) << line;
        EXPECT_NE(error.find("line 2: "), std::string::npos) << error;
        EXPECT_NE(error.find(why), std::string::npos) << error;
    }
    writeFile(dir / "good.txt", "CHECKSCREEN,0,0,13,7,ours.BMP\r\nTAPIMAGE,ours.BMP\r\nWAITTEXT,x\r\n");
    LoadedScript s;
    ASSERT_TRUE(LoadScriptFile((dir / "good.txt").string(), s, error)) << error;
    EXPECT_EQ(s.checks[0].picture->rgb, picture.rgb);
    EXPECT_TRUE(s.checks[0].picture == s.checks[1].picture && !s.checks[2].picture);
}

TEST(ScriptReading, EveryKeywordItsCodeAndPacket)
{
    for (int c = 80; c <= 124; ++c) {
        const auto row = std::ranges::find(kKeywords, c, &Keyword::code);
        EXPECT_STREQ(EventKeyword(uint8_t(c)), row == std::end(kKeywords) ? "" : row->keyword) << c;
    }
    // A line for each keyword (odd rows in lower case, the line ends varied, consecutive
    // commas one separator): key events take the low byte of their number, LAUNCH a
    // path, the others two numbers cut to 16 bits; SLEEP and the lines around them send
    // nothing. Every answer is drained before the next packet goes.
    std::string text = ";MOUSEDOWN,1,1\r\nBOGUS,1,2\n";
    std::vector<std::vector<uint8_t>> want;
    for (size_t i = 0; i < std::size(kKeywords); ++i) {
        const uint8_t c = kKeywords[i].code;
        std::string keyword = kKeywords[i].keyword;
        if (i % 2)
            std::ranges::transform(keyword, keyword.begin(), [](char k) { return char(std::tolower(k)); });
        const uint16_t x = uint16_t(1000 + c), y = uint16_t(2 * c);
        text += keyword + (i % 3 ? "," : ",,") + (c == 89 ? "\\Windows\\calc.exe" : std::to_string(x)) + "," +
                std::to_string(65536 + y) + (i % 3 == 2 ? "\r" : i % 3 ? "\n" : "\r\n");
        if (c == 89)
            want.push_back({89, 0xFF, 89, 0x11, 18, 0, 0, 0, '\\', 'W', 'i', 'n', 'd', 'o', 'w', 's', '\\', 'c', 'a',
                            'l', 'c', '.', 'e', 'x', 'e', 0});
        else if (c == 86 || c == 87)
            want.push_back({c, 0xFF, c, 0x11, uint8_t(x), 0, 0, 0});
        else if (c != 97)
            want.push_back({c, 0xFF, c, 0x11, uint8_t(x), uint8_t(x >> 8), uint8_t(y), uint8_t(y >> 8)});
    }
    sorvane::test::TempDir dir;
    writeFile(dir / "all.txt", text + "LAUNCH,b\r\n"); // the second path starts after the first's NUL
    want.push_back({89, 0xFF, 89, 0x11, 2, 0, 0, 0, 'b', 0});
    Playback p(scenarioOf({"all.txt"}, 1, 1), dir);
    std::vector<std::vector<uint8_t>> sent;
    for (const auto& [tick, bytes] : p.channel.sent)
        sent.push_back(bytes);
    EXPECT_EQ(sent, want);
    EXPECT_EQ(p.channel.unread, std::vector<uint8_t>{});
    EXPECT_EQ(p.channel.answer, 0);
}

TEST(Playback, TheResultsLog)
{
    sorvane::test::TempDir dir;
    writeFile(dir / "a.txt", "MOUSEDOWN,1,1\r\n");
    writeFile(dir / "c.txt", ";nothing\r\n");
    // Names that would add lines (to a shell's start-up file, say) are written escaped.
    Scenario s = scenarioOf({"a.txt", "c.txt"}, 1, 1);
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
    EXPECT_EQ(fifo.state.load(), RecordState::Stopped);

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

TEST(Playback, ChecksOnADrivenScreen)
{
    // s.txt plays twice, then m.txt once; the square shows at showAt (the run starts at
    // 1000). Polls go every 50 ms. A failed check ends s.txt, m.txt still plays, and its
    // pictures go beside the log: the region and red where it differs, or the screen.
    struct Row {
        const char* script;
        uint32_t showAt;
        int holes, refreshes;
        const char* log;      // the check and event lines
        uint32_t firstSentAt; // the first packet goes within 100 ms of it; UINT32_MAX: none
        int failLine;         // the failed check's line; 0: none failed
        int red;              // red pixels of the difference picture; -1: none
    };
    const Row rows[] = {
        {"WAITSCREEN,4,4,16,16,w.png\r\nMOUSEUP,1,1\r\n", 2500, 0, 0,
         "WAITSCREEN, passed|MOUSEUP, 1,1|End s.txt|WAITSCREEN, passed|MOUSEUP, 1,1|End s.txt|MOUSEDOWN, 2,2|End m.txt|", 2500, 0, -1},
        {"WAITSCREEN,4,4,16,16,w.png,98,2000\r\nMOUSEUP,1,1\r\n", UINT32_MAX, 0, 0,
         "WAITSCREEN, timed out after 2000 ms (best 0.0% < 98%)|End s.txt|MOUSEDOWN, 2,2|End m.txt|", 3000, 1, 256},
        {"CHECKSCREEN,4,4,16,16,w.png\r\nMOUSEUP,1,1\r\n", 0, 6, 2, "CHECKSCREEN, failed 97.6% < 98%|End s.txt|MOUSEDOWN, 2,2|End m.txt|",
         1100, 1, 6},
        {"CHECKSCREEN,4,4,16,16,w.png\r\n", 0, 5, 2, "CHECKSCREEN, passed|End s.txt|CHECKSCREEN, passed|End s.txt|MOUSEDOWN, 2,2|End m.txt|", 1100, 0, -1},
        {"TAPIMAGE,w.png\r\n", 2500, 0, 0, "TAPIMAGE, passed|End s.txt|TAPIMAGE, passed|End s.txt|MOUSEDOWN, 2,2|End m.txt|", 2500, 0, -1},
        {"WAITTEXT,team meeting\r\nCHECKTEXT,Dentist\r\nMOUSEUP,1,1\r\n", 2500, 0, 0,
         "WAITTEXT, passed|CHECKTEXT, not found|End s.txt|MOUSEDOWN, 2,2|End m.txt|", 2500, 2, -1},
        {"WAITSCREEN,4,4,16,16,w.png\r\n", UINT32_MAX, 0, 0, "", UINT32_MAX, 0, -1}, // stopped at 4000
        {"SNAPSHOT,snap.png\r\n", 0, 0, 0, "SNAPSHOT, saved snap.png|End s.txt|SNAPSHOT, saved snap.png|End s.txt|MOUSEDOWN, 2,2|End m.txt|", 1000, 0, -1}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.script);
        sorvane::test::TempDir dir;
        std::string error;
        ASSERT_TRUE(SaveRgbPicture(dir / "w.png", RgbPicture{16, 16, std::vector<uint8_t>(768, 0xFF)}, error));
        writeFile(dir / "s.txt", row.script);
        writeFile(dir / "m.txt", "MOUSEDOWN,2,2\r\n");
        fs::create_directory(dir / "logs");
        Scenario s = scenarioOf({"s.txt", "m.txt"}, 1, 2);
        s.files[1].scriptLoopCount = 1;
        s.logResults = 1;
        s.logFile = (dir / "logs/r.log").string();
        DrawnScreen screen{.showAt = row.showAt, .holes = row.holes, .refreshes = row.refreshes};
        const bool stops = row.log[0] == 0;
        Playback p(s, dir, false, "D v", [&](const ManualClock& c) { return stops && c.tickCount() >= 4000; }, &screen);
        const std::string log = std::regex_replace(
            readFile(dir / "logs/r.log"), std::regex("\\d\\d/\\d\\d/\\d{4},[\\d:]{8}, ((\\*\\*\\* Start|Version)[^\r]*\r\n)?"), "");
        EXPECT_EQ(std::regex_replace(std::regex_replace(log, std::regex("\r\n"), "|"),
                                     std::regex("\\*\\*\\* End of Script \\*\\*\\*, "), "End "),
                  row.log);
        EXPECT_TRUE(p.ended != stops && (!stops || p.clock.tickCount() < 4050)); // a stop ends a wait at once
        ASSERT_EQ(p.channel.sent.empty(), row.firstSentAt == UINT32_MAX);
        if (!p.channel.sent.empty())
            EXPECT_LT(p.channel.sent[0].first - row.firstSentAt, 100u) << p.channel.sent[0].first;
        RgbPicture shot, diff;
        if (row.log[0] == 'S') // SNAPSHOT: the screen with its square
            EXPECT_TRUE(LoadRgbPicture(dir / "snap.png", shot, error) && std::ranges::count(shot.rgb, 0xFF) == 768);
        if (row.log[0] == 'T') // TAPIMAGE: down and up at the square's centre
            EXPECT_EQ(p.channel.sent[1].second, (std::vector<uint8_t>{85, 0xFF, 85, 0x11, 12, 0, 12, 0}));
        ASSERT_EQ(p.player.checkFailures().size(), size_t(row.failLine != 0));
        if (row.failLine == 0)
            continue;
        const CheckFailure& f = p.player.checkFailures()[0];
        const std::string base = (dir / "logs" / ("D_v-s-line" + std::to_string(row.failLine) + "-pass1-")).string();
        std::vector<std::string> pictures{base + "actual.png", base + "diff.png"};
        pictures.resize(row.red < 0 ? 1 : 2);
        EXPECT_EQ(f.pictures, pictures);
        if (row.red < 0 || !LoadRgbPicture(f.pictures.back(), diff, error))
            continue;
        for (int i = 0; i < 256; ++i) // the holes are the top row's first pixels
            EXPECT_EQ(diff.rgb[3 * i] == 255 && diff.rgb[3 * i + 1] == 0, i < row.red) << i;
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

// A scenario file as its layout gives it: "SXWK", then the 1644-byte record of eleven
// 32-bit numbers from 0 (fileCount at 40), the name at 44, the log path at 108 and ten
// 128-byte file entries from 364 (three numbers, then the file name at 12).
struct ScenarioImage {
    std::string bytes = "SXWK" + std::string(1644, '\0');
    void number(size_t at, int32_t v)
    {
        for (size_t i = 0; i < 4; ++i)
            bytes[4 + at + i] = char(uint32_t(v) >> 8 * i);
    }
    void text(size_t at, std::string_view s) { bytes.replace(4 + at, s.size(), s); }
    std::span<const uint8_t, Scenario::kSize> record() const
    {
        return std::span<const uint8_t, Scenario::kSize>(reinterpret_cast<const uint8_t*>(bytes.data()) + 4, 1644);
    }
};

TEST(Scenarios, RecordByteImage)
{
    // Every number its offset + 1, every text as long as its field lets it be.
    Scenario s{.loopCounter = 1, .loopCount = 5, .loopDelay = 9, .slot = 13, .suspendWhenDone = 17,
               .resetWhenDone = 21, .logResults = 25, .active = 29, .noVideo = 33, .fileIndex = 37,
               .name = std::string(63, 'N'), .logFile = std::string(255, 'L')};
    ScenarioImage image;
    for (size_t at = 0; at < 40; at += 4)
        image.number(at, int32_t(at) + 1);
    image.number(40, 10);
    image.text(44, s.name);
    image.text(108, s.logFile);
    for (int32_t i = 0; i < 10; ++i) {
        s.files.push_back({100 + i, 40 + i, 1000 + i, std::string(115, char('a' + i))});
        const size_t at = 364 + 128 * size_t(i);
        image.number(at, 100 + i);
        image.number(at + 4, 40 + i);
        image.number(at + 8, 1000 + i);
        image.text(at + 12, s.files.back().fileName);
    }
    EXPECT_TRUE(std::ranges::equal(s.encode(), image.record()));
    sorvane::test::TempDir dir;
    std::string error;
    ASSERT_TRUE(SaveScenarioFile(dir.path().string(), s, error)) << error;
    EXPECT_TRUE(readFile(dir / (s.name + ".bin")) == image.bytes);
    // Read back, its fields write the same image (whose writing is checked above), so
    // each holds the value at its offset; a text that fills its field has no NUL to end
    // it and is cut to the length a NUL leaves.
    std::optional<Scenario> t = Scenario::decode(image.record());
    ASSERT_TRUE(t);
    EXPECT_TRUE(std::ranges::equal(t->encode(), image.record()));
    image.text(44, std::string(64, 'M'));
    image.text(108, std::string(256, 'K'));
    image.text(364 + 12, std::string(116, 'F'));
    t = Scenario::decode(image.record());
    EXPECT_EQ(std::tie(t->name, t->logFile, t->files[0].fileName),
              std::make_tuple(std::string(63, 'M'), std::string(255, 'K'), std::string(115, 'F')));

    // Loop counts and delays are read within what the dialog lets the user type (two and
    // eight digits): scenario count and delay, the first file's count and delay.
    const std::pair<std::array<int32_t, 4>, std::array<int32_t, 4>> clamps[] = {
        {{99, 99999999, 0, 0}, {99, 99999999, 0, 0}},
        {{100, -1, INT32_MIN, 100000000}, {99, 0, 0, 99999999}},
        {{INT32_MAX, INT32_MIN, 100, -1}, {99, 0, 99, 0}}};
    for (const auto& [raw, want] : clamps) {
        for (size_t k = 0; k < 4; ++k)
            image.number(std::array<size_t, 4>{4, 8, 364 + 4, 364 + 8}[k], raw[k]);
        const Scenario c = *Scenario::decode(image.record());
        EXPECT_EQ((std::array{c.loopCount, c.loopDelay, c.files[0].scriptLoopCount, c.files[0].scriptLoopDelay}), want)
            << raw[0];
    }
    for (int32_t count : {-1, 11}) { // no scenario
        image.number(40, count);
        EXPECT_FALSE(Scenario::decode(image.record())) << count;
    }
}

TEST(Scenarios, FilesAndLegacyImport)
{
    sorvane::test::TempDir dir;
    Scenario s = scenarioOf({"a.txt"}, 2, 3);
    s.active = 1;
    std::string error;
    ASSERT_TRUE(SaveScenarioFile(dir.path().string(), s, error)) << error;
    s.name = "../evil";
    EXPECT_FALSE(SaveScenarioFile(dir.path().string(), s, error));

    // The old store (a count, then the records): three records become three files with
    // `active` cleared, and it goes.
    fs::create_directory(dir / "RECORDED_DATA");
    std::string legacy = {3, 0, 0, 0};
    const std::array<std::string, 3> names = {"One", "Two", "Three"};
    std::vector<std::string> saved;
    for (const std::string& name : names) {
        ScenarioImage r;
        for (auto [at, value] : {std::pair{4, 1}, {28, 1}, {36, -1}, {40, 1}, {368, 1}})
            r.number(size_t(at), value);
        r.text(44, name);
        r.text(364 + 12, "x.txt");
        legacy += r.bytes.substr(4);
        r.number(28, 0);
        saved.push_back(r.bytes);
    }
    const fs::path store = dir / "RECORDED_DATA" / "scripts.bin";
    writeFile(store, legacy);
    writeFile(dir / "other.bin", "ABCD" + std::string(1644, '\0'));
    ScenarioTable table;
    EXPECT_TRUE(table.load(dir.path().string(), store.string()).importedLegacy);
    EXPECT_FALSE(fs::exists(store));
    for (size_t i = 0; i < names.size(); ++i)
        EXPECT_TRUE(readFile(dir / (names[i] + ".bin")) == saved[i]) << names[i];
    table.load(dir.path().string(), store.string());
    ASSERT_EQ(table.scenarios().size(), 4u); // One, Smoke, Three, Two; other.bin is no scenario
    EXPECT_EQ(table.scenarios()[1].name, "Smoke");
    EXPECT_EQ(table.scenarios()[1].active, 0);

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
