#include <gtest/gtest.h>

#include <set>

#include "files/DeviceFolder.h"
#include "files/ExplorerModel.h"

using namespace sorvane;

TEST(ExplorerModel, NewFolderTakesTheFirstFreeNumber)
{
    std::set<std::string> taken{"New Folder", "New Folder(1)"};
    EXPECT_EQ(NewFolderName([&](const std::string& n) { return taken.count(n) > 0; }), "New Folder(2)");
    EXPECT_EQ(NewFolderName([](const std::string&) { return false; }), "New Folder");
}

TEST(ExplorerModel, DevicePaneHidesDotFoldersAndPutsFoldersFirst)
{
    auto item = [](std::string name, bool folder) {
        DeviceItem i;
        i.name = name;
        i.folder = folder;
        i.keys = EntryKeys(name, folder, EntrySide::Device, 0, 0);
        return i;
    };
    // "abcdX" and "abcdA" differ after four characters: they keep reply order.
    auto shown = DevicePaneItems({item("abcdX", false), item(".git", true), item(".rc", false), item("zz", true),
                                  item("abcdA", false)},
                                 SortKey::Name);
    std::vector<std::string> names;
    for (auto& i : shown)
        names.push_back(i.name);
    EXPECT_EQ(names, (std::vector<std::string>{"zz", ".rc", "abcdX", "abcdA"}));
}

TEST(ExplorerModel, DevicePaths)
{
    // The top's child and parent: the explorer test's Programs folder; other parents and the
    // button texts: the folder menu's.
    EXPECT_EQ(DeviceChild("\\a\\", "x"), "\\a\\x");
    auto menu = DeviceFolderMenu("\\a\\b");
    ASSERT_EQ(menu.size(), 3u);
    EXPECT_EQ(menu[0].text, "    * b");
    EXPECT_EQ(menu[2].text, "My Device");
    EXPECT_EQ(menu[1].folder, "\\a");
    for (const char* bad : {"", ".", "..", "a/b"})
        EXPECT_FALSE(IsSafePcName(bad)) << bad;
    EXPECT_TRUE(IsSafePcName(".profile"));
    EXPECT_TRUE(IsRunnableName("setup.ExE"));
    EXPECT_FALSE(IsRunnableName("exe"));
}

TEST(ExplorerModel, TransferTexts)
{
    TransferState::Snapshot s;
    s.fileIndex = 1;
    s.fileCount = 3;
    s.blockIndex = 2;
    s.blockCount = 2;
    s.fileSize = 40000;
    s.bytesDone = 100000;
    s.bytesTotal = 400000;
    TransferTexts t = DescribeTransfer(s, 1001); // 2 s, rounded up
    EXPECT_EQ(t.files, "2 of 3 Files");
    EXPECT_EQ(t.bytes, "40000 of 40000 Bytes"); // never beyond the file's size
    EXPECT_EQ(t.fileBar, 100);
    EXPECT_EQ(t.totalBar, 25);
    EXPECT_EQ(t.total, "100000 of 400000 Total Bytes");
    EXPECT_EQ(t.rate, "50000 Bps, 00:06 remaining");
    s.bytesDone = 0;
    EXPECT_EQ(DescribeTransfer(s, 0).rate, "0 Bps, 00:00 remaining");
}
