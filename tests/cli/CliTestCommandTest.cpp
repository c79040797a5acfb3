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
    using sorvane::cli::JUnitSuite;
    TempDir dir;
    const std::vector<JUnitSuite> suites{
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
