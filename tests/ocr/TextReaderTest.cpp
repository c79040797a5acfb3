// The text reader on the simulated handheld's screens as sorvane-cli captures them.

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <tuple>

#include "ocr/TextReader.h"
#include "support/SimProcess.h"
#include "support/TempDir.h"

using namespace sorvane;
using namespace sorvane::test;

namespace {

RgbPicture capture(std::vector<std::string> device, const std::vector<std::string>& input)
{
    TempDir dir;
    device.insert(device.end(), {"--host", "127.0.0.1", "--port", "0", "--clock", "fixed"});
    SimProcess sim(device);
    std::vector<std::string> cli = {programFromEnv("SORVANE_CLI"), "--host", "127.0.0.1", "--port",
                                    std::to_string(sim.tcpPort()), "capture", (dir / "shot.ppm").string()};
    cli.insert(cli.end(), input.begin(), input.end());
    ProcessResult r = runProcess(cli, std::chrono::seconds(120));
    EXPECT_EQ(r.exitCode, 0) << r.err;
    std::ifstream f(dir / "shot.ppm", std::ios::binary);
    RgbPicture p;
    std::string magic;
    int maxval = 0;
    f >> magic >> p.width >> p.height >> maxval;
    f.get();
    p.rgb.assign(std::istreambuf_iterator<char>(f), {});
    return p; // the reader refuses a picture of the wrong size
}

} // namespace

TEST(TextReader, FindsTheItemsOfTheSimulatorsScreens)
{
    std::string error, text;
    std::unique_ptr<TextReader> reader = MakeTextReader(error);
    ASSERT_TRUE(reader) << error;
    const std::vector<std::string> openNotes = {"--tap", "10,310", "--tap", "20,240"};
    struct Case {
        std::vector<std::string> device, input;
        std::vector<std::pair<const char*, bool>> wanted;
    } cases[] = {
        {{"--depth", "16"}, {}, {{"Team meeting", true}, {"Dentist", true}, {"Sorvane Sim", true}}}, // light on dark
        {{"--depth", "8"}, {}, {{"team  MEETING", true}, {"Dentist", true}}},
        {{"--depth", "2"}, {}, {{"Team meeting", true}}}, // light text on a light band
        {{"--width", "640", "--height", "480"}, {}, {{"Team meeting", true}, {"Dentist", true}}}, // larger text
        {{"--depth", "16"}, openNotes, {{"Notes", true}, {"Dentist", false}}},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(reader->read(capture(c.device, c.input), text, error)) << error;
        for (const auto& [wanted, found] : c.wanted)
            EXPECT_EQ(TextContains(text, wanted), found) << "case " << &c - cases << ": " << wanted << " in:\n" << text;
    }
    EXPECT_FALSE(reader->read(RgbPicture{}, text, error));
    EXPECT_TRUE(reader->read(RgbPicture{1, 1, {0, 0, 0}}, text, error)) << error;
    ::setenv("TESSDATA_PREFIX", "/nonexistent", 1); // the language data missing
    EXPECT_FALSE(MakeTextReader(error));
    EXPECT_NE(error.find("eng.traineddata"), std::string::npos) << error;
}

TEST(TextReader, TextContainsIgnoresCaseAndRunsOfWhiteSpace)
{
    const std::tuple<const char*, const char*, bool> cases[] = {
        {"10:30 Team meeting", "team  \n MEETING", true},
        {"10:30 Team\n\t meeting", "eam meet", true},
        {"Teammeeting", "Team meeting", false},
        {"Team meeting", " Team meeting ", true}, // the ends of the text are white space
        {"Steam meeting", " team", false},
        {"anything", "", true},
        {"\xC3\x89T\xC3\x89 \xC3\x97", "\xC3\xA9t\xC3\xA9 \xC3\x97", true}, // ÉTÉ ×: Latin-1 capitals
        {"\xC3\x97", "\xC3\xB7", false},                                   // × and ÷ are not a pair
    };
    for (const auto& [text, wanted, found] : cases)
        EXPECT_EQ(TextContains(text, wanted), found) << '"' << text << "\" / \"" << wanted << '"';
}
