#include <gtest/gtest.h>

#include <fstream>

#include "support/TempDir.h"
#include "view/SkinList.h"

using namespace sorvane;

TEST(SkinList, NamesEndAtTheFirstMissingOrEmptyKey)
{
    const char* ini =
        "\xEF\xBB\xBF; skins of the devices\r\n"
        "[Other]\r\nskin0=Not this one\r\n"
        "[skins]\r\n"
        "Skin0 = Pocket PC 2002 \r\n"
        "skin1=\"  Quoted  \"\r\n"
        "skin1=second value ignored\r\n"
        "skin2=Handheld\r\n"
        "skin4=after the gap\r\n"
        "[skin0]\r\nImage=pocket.bmp\r\n"
        "[SKINS]\r\nskin3=a later section does not count\r\n";
    EXPECT_EQ(ParseSkinList(ini), (std::vector<std::string>{"Pocket PC 2002", "  Quoted  ", "Handheld"}));
    EXPECT_EQ(ParseSkinList("[SKINS]\nskin0=\nskin1=x\n"), std::vector<std::string>{});
    EXPECT_EQ(ParseSkinList("skin0=no section\n"), std::vector<std::string>{});
    EXPECT_EQ(ParseSkinList("[SKINS"), std::vector<std::string>{});
}

TEST(SkinList, LimitsOfCountAndLength)
{
    std::string ini = "[SKINS]\n";
    for (int k = 0; k < 40; ++k)
        ini += "skin" + std::to_string(k) + "=" + std::string(k == 0 ? 200 : 5, char('a' + k % 26)) + "\n";
    std::vector<std::string> names = ParseSkinList(ini);
    ASSERT_EQ(names.size(), kMaxSkins);
    EXPECT_EQ(names[0].size(), kMaxSkinNameLength);
    EXPECT_EQ(names[31], "fffff");
}

TEST(SkinList, FileInTheProgramFolder)
{
    test::TempDir dir;
    EXPECT_TRUE(LoadSkinList(dir.path()).empty());
    EXPECT_EQ(skinChoices(LoadSkinList(dir.path())), std::vector<std::string>{"None"});
    std::ofstream(dir / "SKINS.INI") << "[SKINS]\nskin0=One\nskin1=Two\n";
    EXPECT_EQ(skinChoices(LoadSkinList(dir.path())), (std::vector<std::string>{"None", "One", "Two"}));
}
