// sorvane-cli test: the JUnit report as Python's XML reader sees it, and the screen
// checks end to end against the simulator.

#include <gtest/gtest.h>

#include "cli/JUnitReport.h"
#include "support/SimProcess.h"
#include "support/TempDir.h"

using namespace sorvane::test;
namespace fs = std::filesystem;

namespace {

// Every element of the report as xml.etree reads it, one line each: the tag, its
// attributes sorted, its text (line breaks as '|').
std::string seenByPython(const fs::path& xml)
{
    const ProcessResult r = runProcess(
        {programFromEnv("SORVANE_PYTHON"), "-c",
         "import sys, xml.etree.ElementTree as ET\n"
         "for e in ET.parse(sys.argv[1]).getroot().iter():\n"
         "  a = ' '.join(k + '=' + v for k, v in sorted(e.attrib.items()))\n"
         "  t = (e.text or '').strip().replace('\\n', '|')\n"
         "  sys.stdout.buffer.write(f'{e.tag} {a} [{t}]\\n'.encode())\n",
         xml.string()});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    return r.out;
}

} // namespace

// Names and texts no XML may carry as they are: markup characters, control characters,
// bytes that are not UTF-8, a noncharacter, line breaks in an attribute.
TEST(JUnitReport, AnyNameGivesTheElementsAndCountsAReaderFinds)
{
    TempDir dir;
    const std::vector<sorvane::cli::JUnitSuite> suites{
        {"Dev <&> \"'", {{"ok.txt", false, "", {}}, {"a\x01" "b\tc\xff]]>\xEF\xBF\xBE \u00e9.txt", true,
                                      "line 3 CHECKTEXT not \"x\" & <y>\r\n", {"/p 1.png", "/p&2.png"}}}},
        {"", {{"b.txt", true, "cannot load", {}}}},
    };
    const fs::path xml = dir / "report.xml";
    writeFile(xml, "an older report");
    std::string error;
    ASSERT_TRUE(sorvane::cli::WriteJUnitFile(xml.string(), suites, error)) << error;
    EXPECT_EQ(seenByPython(xml),
              "testsuites failures=2 tests=3 []\n"
              "testsuite failures=1 name=Dev <&> \"' tests=2 []\n"
              "testcase classname=Dev <&> \"' name=ok.txt []\n"
              "testcase classname=Dev <&> \"' name=a\\x01b\\tc\\xff]]>\\ufffe \u00e9.txt []\n"
              "failure message=line 3 CHECKTEXT not \"x\" & <y>\\x0d\\n [/p 1.png|/p&2.png]\n"
              "testsuite failures=1 name= tests=1 []\n"
              "testcase classname= name=b.txt []\n"
              "failure message=cannot load []\n");
    // Nothing is left beside it, and a folder in the way is named.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), {}), 1);
    fs::create_directory(dir / "taken");
    EXPECT_FALSE(sorvane::cli::WriteJUnitFile((dir / "taken").string(), suites, error));
    EXPECT_EQ(error, "cannot write " + (dir / "taken").string() + ": Is a directory");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), {}), 2);
}

// Waits for a slow device, no SLEEP needed; the same waits on a screen that never changes
// give up at their time-out; the home screen's text read at 16 and 8 bits, and not in
// Notes. The report names the failing case and the pictures it saved.
TEST(CliTest, ScreenChecksAgainstTheSimulator)
{
    TempDir d;
    const std::string p = d.path().string() + "/";
    SimProcess plain({"--port", "0", "--clock", "fixed"}), slow({"--port", "0", "--clock", "fixed", "--lag", "1500"}),
        eight({"--port", "0", "--clock", "fixed", "--depth", "8"});
    auto cli = [&](SimProcess& sim, std::vector<std::string> args) {
        args.insert(args.begin(), {programFromEnv("SORVANE_CLI"), "--host", "127.0.0.1", "--port",
                                   std::to_string(sim.tcpPort())});
        return runProcess(args, std::chrono::seconds(120));
    };
    ASSERT_EQ(cli(plain, {"capture", p + "home.png"}).exitCode, 0);
    ASSERT_EQ(cli(plain, {"capture", p + "notes.png", "--key", "195"}).exitCode, 0);
    ASSERT_EQ(runProcess({programFromEnv("SORVANE_PYTHON"), "-c",
                          "import sys\nfrom PIL import Image\nd = sys.argv[1]\nn = Image.open(d + 'notes.png')\n"
                          "n.crop((214, 0, 240, 18)).save(d + 'ok.png')\nn.crop((0, 0, 120, 18)).save(d + 'title.png')\n"
                          "Image.open(d + 'home.png').crop((0, 18, 240, 58)).save(d + 'rows.png')\n",
                          p})
                  .exitCode,
              0);
    writeFile(d / "lag.txt", "KEYDOWN,195\r\nKEYUP,195\r\nTAPIMAGE,ok.png,,8000\r\nWAITSCREEN,0,18,240,40,rows.png,,8000\r\n");
    writeFile(d / "text.txt", "WAITTEXT,Team meeting\r\n");
    writeFile(d / "dentist.txt", "KEYDOWN,195\r\nKEYUP,195\r\nWAITSCREEN,0,0,120,18,title.png,,8000\r\nCHECKTEXT,Dentist\r\n");
    writeFile(d / "wait.txt", "WAITSCREEN,0,0,120,18,title.png,,300\r\n");
    writeFile(d / "tap.txt", "TAPIMAGE,ok.png,,300\r\n");
    writeFile(d / "gone.txt", "KEYDOWN,195\r\nCHECKSCREEN,0,0,1,1,gone.png\r\n");
    ProcessResult r = cli(slow, {"test", p + "lag.txt", p + "text.txt", p + "dentist.txt", "--junit", p + "r.xml",
                                 "--artifacts", p + "art"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "PASS lag.txt\nPASS text.txt\nFAIL dentist.txt: line 4 CHECKTEXT not found\n") << r.err;
    const std::string actual = p + "art/Sorvane_Sim-dentist-line4-pass1-actual.png";
    EXPECT_EQ(seenByPython(d / "r.xml"), "testsuites failures=1 tests=3 []\n"
                                         "testsuite failures=1 name=Sorvane Sim tests=3 []\n"
                                         "testcase classname=Sorvane Sim name=lag.txt []\n"
                                         "testcase classname=Sorvane Sim name=text.txt []\n"
                                         "testcase classname=Sorvane Sim name=dentist.txt []\n"
                                         "failure message=line 4 CHECKTEXT not found [" + actual + "]\n");
    // The picture saved is the screen the device showed (Notes, as captured).
    EXPECT_EQ(runProcess({programFromEnv("SORVANE_PYTHON"), "-c",
                          "import sys\nfrom PIL import Image, ImageChops\na, b = (Image.open(f).convert('RGB') for f in "
                          "sys.argv[1:])\nsys.exit(a.size != b.size or ImageChops.difference(a, b).getbbox() is not None)",
                          actual, p + "notes.png"})
                  .exitCode,
              0);
    r = cli(plain, {"test", p + "wait.txt", p + "tap.txt", p + "gone.txt"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "FAIL wait.txt: line 1 WAITSCREEN timed out after 300 ms (best 83.6% < 98%)\n" // as Pillow counts
                     "FAIL tap.txt: line 1 TAPIMAGE timed out after 300 ms (not found)\n"
                     "FAIL gone.txt: " + p + "gone.txt: line 2: gone.png: No such file or directory\n");
    for (std::vector<std::string> usage : {std::vector<std::string>{"test"}, {"test", "a.txt", "--junit"}, {"test", "-x"}})
        EXPECT_EQ(cli(plain, usage).exitCode, 2) << usage.back();
    r = cli(eight, {"test", p + "text.txt"});
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    // A device gone: that case fails with the reason, the next ones are not run.
    SimProcess closing({"--port", "0", "--close-after", "3"});
    r = cli(closing, {"test", p + "text.txt", p + "tap.txt"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "FAIL text.txt: the device closed the link\nFAIL tap.txt: not run: the device closed the link\n");
}
