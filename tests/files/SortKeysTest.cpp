#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "files/ListingText.h"
#include "files/SortKeys.h"

using namespace sorvane;

TEST(FormatSize, BoundariesAndTruncatedTenths)
{
    EXPECT_EQ(FormatSize(0), "0");
    EXPECT_EQ(FormatSize(1), "1B");
    EXPECT_EQ(FormatSize(1023), "1023B");
    EXPECT_EQ(FormatSize(1024), "1.0K");
    EXPECT_EQ(FormatSize(1535), "1.4K");
    EXPECT_EQ(FormatSize(1048575), "1023.9K");
    EXPECT_EQ(FormatSize(1048576), "1.0M");
    EXPECT_EQ(FormatSize(0xFFFFFFFFull), "4095.9M");
    EXPECT_EQ(FormatSize(5ull << 30), "5120.0M"); // larger than 32 bits
}

TEST(SortKeys, NameKeyFoldsPerSideAndMarksFolders)
{
    // Files and device entries fold with 0x5F, PC folders with 0xDF.
    EXPECT_EQ(NameKey("abcd", false, EntrySide::Pc), 0x41424344u);
    EXPECT_EQ(NameKey("ab", false, EntrySide::Pc), 0x41420000u);
    EXPECT_EQ(NameKey("", false, EntrySide::Pc), 0u);
    EXPECT_EQ(NameKey("docs", true, EntrySide::Pc), 0x80000000u | 0x444F4353u);
    // A byte with bit 7 keeps it in a PC folder name (0xDF) and loses it elsewhere (0x5F).
    EXPECT_EQ(NameKey("a\xE9", true, EntrySide::Pc), 0x80000000u | 0x41C90000u);
    EXPECT_EQ(NameKey("a\xE9", true, EntrySide::Device), 0x80000000u | 0x41490000u);
    EXPECT_EQ(NameKey("\xE9", false, EntrySide::Pc), 0x49000000u);
    EXPECT_EQ(DriveNameKey(2), 0x80000002u);
}

TEST(SortKeys, TypeKeyFromLastDot)
{
    EXPECT_EQ(TypeKey("readme"), 0u);
    EXPECT_EQ(TypeKey("a.txt"), 0x2E0000u + 't' * 256u + 'x');
    EXPECT_EQ(TypeKey("a.tar.gz"), 0x2E0000u + 'g' * 256u + 'z');
    EXPECT_EQ(TypeKey("a.c"), 0x2E0000u + 'c' * 256u);
    EXPECT_EQ(TypeKey("a."), 0x2E0000u);
    EXPECT_EQ(TypeKey(".profile"), 0x2E0000u + 'p' * 256u + 'r');
}

TEST(SortKeys, ComparatorOrdersFoldersFirstAndKeepsTiesStable)
{
    struct Item {
        const char* name;
        SortKeyRecord keys;
    };
    std::vector<Item> items{
        {"a.txt", EntryKeys("a.txt", false, EntrySide::Pc, 10, 300)},
        {"Alpha", EntryKeys("Alpha", true, EntrySide::Pc, 0, 100)},
        {"beta2.doc", EntryKeys("beta2.doc", false, EntrySide::Pc, 5000000000ull, 200)},
        {"beta1.doc", EntryKeys("beta1.doc", false, EntrySide::Pc, 20, 100)},
        {"zulu", EntryKeys("zulu", true, EntrySide::Pc, 0, 50)},
    };
    auto sorted = [&](SortKey key) {
        std::vector<Item> v = items;
        std::stable_sort(v.begin(), v.end(),
                         [key](const Item& a, const Item& b) { return CompareSortKeys(a.keys, b.keys, key) < 0; });
        std::vector<std::string> names;
        for (const Item& i : v)
            names.push_back(i.name);
        return names;
    };
    // Folders (negative as signed numbers) first; "beta2" and "beta1" share their first
    // four characters and keep the order they came in.
    EXPECT_EQ(sorted(SortKey::Name), (std::vector<std::string>{"Alpha", "zulu", "a.txt", "beta2.doc", "beta1.doc"}));
    EXPECT_EQ(sorted(SortKey::Date), (std::vector<std::string>{"zulu", "Alpha", "beta1.doc", "beta2.doc", "a.txt"}));
    // The 5 GB size saturates and still sorts last.
    EXPECT_EQ(sorted(SortKey::Size), (std::vector<std::string>{"Alpha", "zulu", "a.txt", "beta1.doc", "beta2.doc"}));
    EXPECT_EQ(sorted(SortKey::Type), (std::vector<std::string>{"Alpha", "zulu", "beta2.doc", "beta1.doc", "a.txt"}));
    EXPECT_EQ(CompareSortKeys(DriveKeys(1), DriveKeys(1), SortKey::Size), 0);
    EXPECT_EQ(sortKeyName(SortKey::Type), "Type");
}
