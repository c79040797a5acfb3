#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <fstream>
#include <sys/stat.h>

#include "files/PcFolderListing.h"
#include "support/TempDir.h"

using namespace sorvane;
namespace fs = std::filesystem;

namespace {

void writeFile(const fs::path& p, size_t size, std::time_t mtime)
{
    std::ofstream(p, std::ios::binary) << std::string(size, 'x');
    timespec times[2] = {{mtime, 0}, {mtime, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, p.c_str(), times, 0), 0);
}

std::vector<std::string> names(const PcFolderListing& l)
{
    std::vector<std::string> out;
    for (const PcFolderItem& i : l.items)
        out.push_back(i.name);
    return out;
}

class PcFolderListingTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        setenv("TZ", "UTC", 1);
        tzset();
        fs::create_directory(dir / "Zeta");
        fs::create_directory(dir / "alpha");
        fs::create_directory(dir / ".hidden");
        writeFile(dir / ".dotfile", 10, 1614859200);    // 2021-03-04 12:00 UTC
        writeFile(dir / "b.txt", 2000, 1000000000);     // 2001-09-09
        writeFile(dir / "a.bin", 0, 1700000000);        // 2023-11-14
        fs::create_symlink(dir / "alpha", dir / "link-to-alpha");
        fs::create_symlink(dir / "missing", dir / "broken");
    }
    test::TempDir dir;
    std::vector<std::string> drives{"/", "/home/someone"};
};

} // namespace

TEST_F(PcFolderListingTest, FoldersAloneOrFilesAfterThemWithSizeAndDateTexts)
{
    PcFolderListing folders = ListPcFolder(dir.path().string(), true, drives, SortKey::Name);
    EXPECT_TRUE(folders.error.empty());
    EXPECT_EQ(names(folders), (std::vector<std::string>{"alpha", "link-to-alpha", "Zeta"}));
    for (const PcFolderItem& i : folders.items) {
        EXPECT_EQ(i.kind, PcFolderItem::Kind::Folder);
        EXPECT_TRUE(i.sizeText.empty());
    }

    PcFolderListing l = ListPcFolder(dir.path().string(), false, drives, SortKey::Name);
    // ".dotfile" is listed: only folders beginning with "." are left out.
    EXPECT_EQ(names(l), (std::vector<std::string>{"alpha", "link-to-alpha", "Zeta", ".dotfile", "a.bin", "b.txt",
                                                  "broken"}));
    const PcFolderItem& b = l.items[5];
    EXPECT_EQ(b.size, 2000u);
    EXPECT_EQ(b.sizeText, "1.9K");
    EXPECT_EQ(b.dateText, "09/09/01");
    EXPECT_EQ(l.items[3].dateText, "03/04/21");
    EXPECT_EQ(l.items[6].size, 0u); // a broken link is listed as an empty file

    PcFolderListing bySize = ListPcFolder(dir.path().string(), false, drives, SortKey::Size);
    EXPECT_EQ(names(bySize).back(), "b.txt");
    PcFolderListing byDate = ListPcFolder(dir.path().string(), false, drives, SortKey::Date);
    EXPECT_EQ(byDate.items[0].name, "b.txt");
}

// The drives listed at the top: files_ui_tests' Select Directory dialog.
TEST_F(PcFolderListingTest, MissingFolderReportsAnError)
{
    PcFolderListing missing = ListPcFolder((dir / "nope").string(), true, drives, SortKey::Name);
    EXPECT_TRUE(missing.items.empty());
    EXPECT_FALSE(missing.error.empty());
}
