#include <gtest/gtest.h>

#include "files/FolderPath.h"

using namespace sorvane;

TEST(FolderPath, NormalizeChildAndParent)
{
    EXPECT_EQ(NormalizePcFolder(""), "");
    EXPECT_EQ(NormalizePcFolder("/"), "/");
    EXPECT_EQ(NormalizePcFolder("/home/u/"), "/home/u");
    EXPECT_EQ(NormalizePcFolder("/home//u/./x/../y"), "/home/u/y");
    EXPECT_EQ(NormalizePcFolder("/.."), "/");
    EXPECT_EQ(NormalizePcFolder("rel").front(), '/');

    EXPECT_EQ(ChildFolder("/", "etc"), "/etc");
    EXPECT_EQ(ChildFolder("/home", "u"), "/home/u");

    EXPECT_EQ(ParentFolder("/home/u"), "/home");
    EXPECT_EQ(ParentFolder("/home"), "/");
    EXPECT_EQ(ParentFolder("/"), "");
    EXPECT_EQ(ParentFolder(""), "");
}

TEST(FolderPath, ButtonText)
{
    EXPECT_EQ(PathButtonText(""), "My Computer");
    EXPECT_EQ(PathButtonText("/"), "/");
    EXPECT_EQ(PathButtonText("/home/u/My Scripts"), "My Scripts");
}

TEST(FolderPath, MenuListsAncestorsDownToTheTop)
{
    std::vector<FolderMenuEntry> m = FolderMenu("/home/u/x");
    ASSERT_EQ(m.size(), 5u);
    EXPECT_EQ(m[0].text, "        * x");
    EXPECT_TRUE(m[0].current);
    EXPECT_EQ(m[0].folder, "/home/u/x");
    EXPECT_EQ(m[1].text, "      u");
    EXPECT_EQ(m[1].folder, "/home/u");
    EXPECT_EQ(m[2].text, "    home");
    EXPECT_EQ(m[3].text, "  /");
    EXPECT_EQ(m[3].folder, "/");
    EXPECT_EQ(m[4].text, "My Computer");
    EXPECT_EQ(m[4].folder, "");
    EXPECT_FALSE(m[4].current);

    std::vector<FolderMenuEntry> top = FolderMenu("");
    ASSERT_EQ(top.size(), 1u);
    EXPECT_EQ(top[0].text, "* My Computer");
    EXPECT_TRUE(top[0].current);
}
