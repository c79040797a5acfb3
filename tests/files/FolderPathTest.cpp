#include <gtest/gtest.h>

#include <tuple>

#include "files/FolderPath.h"

using namespace sorvane;

TEST(FolderPath, NormalizeChildAndParent)
{
    EXPECT_EQ(NormalizePcFolder(""), "");
    EXPECT_EQ(NormalizePcFolder("/"), "/");
    EXPECT_EQ(NormalizePcFolder("/home//u/./x/../y"), "/home/u/y");
    EXPECT_EQ(NormalizePcFolder("/.."), "/");
    EXPECT_EQ(NormalizePcFolder("rel").front(), '/');

    EXPECT_EQ(ChildFolder("/", "etc"), "/etc");

    // Parents of folders below the top: the menu's ancestors below.
    EXPECT_EQ(ParentFolder(""), "");
}

TEST(FolderPath, MenuListsAncestorsDownToTheTop)
{
    std::vector<std::tuple<std::string, std::string, bool>> m;
    for (const FolderMenuEntry& e : FolderMenu("/home/u/x"))
        m.emplace_back(e.text, e.folder, e.current);
    EXPECT_EQ(m, (std::vector<std::tuple<std::string, std::string, bool>>{{"        * x", "/home/u/x", true},
                                                                         {"      u", "/home/u", false},
                                                                         {"    home", "/home", false},
                                                                         {"  /", "/", false},
                                                                         {"My Computer", "", false}}));
    std::vector<FolderMenuEntry> top = FolderMenu("");
    ASSERT_EQ(top.size(), 1u);
    EXPECT_EQ(top[0].text, "* My Computer");
}
