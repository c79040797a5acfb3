// File names made from device names: safe as one folder entry, and one per device.

#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <set>
#include <string>

#include "program/FleetNames.h"

namespace sorvane {
namespace {

std::string lower(std::string s)
{
    for (char& c : s)
        if (c >= 'A' && c <= 'Z')
            c = char(c + 32);
    return s;
}

TEST(FleetNames, SafePartIsOneEntryOfTheFolder)
{
    const std::string hostile[] = {"../../etc/passwd", "..", ".", "", "a\\b/c", "tab\there\nline", "100%",
                                   "rlo\xE2\x80\xAEtxt", "bad\xFF\xC0utf8", "c1\xC2\x85", std::string(300, 'x'),
                                   std::string("nul\0in", 6)};
    char tmpl[] = "/tmp/fleetnamesXXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    const std::string dir = tmpl;
    std::set<std::string> made;
    for (const std::string& name : hostile) {
        const std::string safe = SafeFileNamePart(name);
        EXPECT_FALSE(safe.empty());
        EXPECT_LE(safe.size(), 120u);
        EXPECT_NE(safe[0], '.') << safe;
        for (const unsigned char c : safe)
            EXPECT_TRUE(c >= 0x20 && c != 0x7F && c != '/' && c != '\\') << safe;
        const int fd = open((dir + "/" + safe).c_str(), O_CREAT | O_EXCL | O_WRONLY, 0600);
        ASSERT_GE(fd, 0) << safe;
        close(fd);
        made.insert(safe);
    }
    // The folder holds exactly the names made (none went elsewhere, none collided).
    std::set<std::string> listed;
    DIR* d = opendir(dir.c_str());
    while (const dirent* e = readdir(d))
        if (std::string(e->d_name) != "." && std::string(e->d_name) != "..")
            listed.insert(e->d_name);
    closedir(d);
    EXPECT_EQ(listed, made);
    for (const std::string& name : listed)
        unlink((dir + "/" + name).c_str());
    rmdir(dir.c_str());

    EXPECT_EQ(SafeFileNamePart("Pocket PC"), "Pocket PC");
    EXPECT_EQ(SafeFileNamePart("..x/y%"), "%2E.x%2Fy%25");
    EXPECT_EQ(SafeFileNamePart("\xC3\xA9t\xC3\xA9"), "\xC3\xA9t\xC3\xA9");
    // Cut on a character: 119 bytes, then a two-byte character that does not fit.
    EXPECT_EQ(SafeFileNamePart(std::string(119, 'a') + "\xC3\xA9"), std::string(119, 'a'));
}

TEST(FleetNames, LabelsTellDevicesApart)
{
    const auto labels = UniqueDeviceLabels({{"Scanner", "Dock A", 0},
                                            {"SCANNER", "Dock B", 1},
                                            {"Scanner", "Dock B", 2},
                                            {"Till", "", 3},
                                            {"Scanner-Dock A", "", 4},
                                            {"a/b", "x", 5}});
    EXPECT_EQ(labels[0], "Scanner-0"); // a device named "Scanner-Dock A" keeps its name
    EXPECT_EQ(labels[1], "SCANNER-1");
    EXPECT_EQ(labels[2], "Scanner-2");
    EXPECT_EQ(labels[3], "Till");
    EXPECT_EQ(labels[4], "Scanner-Dock A");
    EXPECT_EQ(labels[5], "a%2Fb");

    // Forty of one name, no profile, no slot; and names that fill the whole length.
    std::vector<FleetMember> many(40, FleetMember{"PPC", "", -1});
    for (int i = 0; i < 10; ++i)
        many.push_back({std::string(200, 'L'), "profile", 7});
    std::set<std::string> seen;
    for (const std::string& label : UniqueDeviceLabels(many)) {
        EXPECT_LE(label.size(), 120u);
        EXPECT_TRUE(seen.insert(lower(label)).second) << label;
    }
    EXPECT_EQ(LabelledFileName("out.d/shot.png", "Till"), "out.d/shot-Till.png");
    EXPECT_EQ(LabelledFileName("logs/.log", "A"), "logs/.log-A");
    EXPECT_EQ(LabelledFileName("a.b/c", "A"), "a.b/c-A");
}

} // namespace
} // namespace sorvane
