#include <gtest/gtest.h>

#include <array>

#include "settings/Profile.h"

using namespace sorvane;

TEST(Profile, KnownByteImage)
{
    Profile p;
    p.linkKind = 4;
    p.port = 1899;
    p.scale = 2;
    p.ipAddress = 0x0A000001; // 10.0.0.1
    p.refreshRate = 18;
    p.backgroundColor = 0x00336699;
    p.reserved[0] = 0xAB;
    p.reserved[11] = 0xCD;
    p.setName("Warehouse 7");
    std::array<uint8_t, Profile::kSize> bytes{};
    p.encode(bytes);
    // Least significant byte first: port 1899 = 0x076B, 10.0.0.1 = 0x0A000001.
    const std::pair<size_t, std::vector<uint8_t>> expected[] = {
        {0, {4, 0, 0, 0, 0x6B, 0x07, 0, 0}}, {12, {2, 0, 0, 0, 0x01, 0, 0, 0x0A}}, {40, {18, 0, 0, 0}},
        {56, {0x99, 0x66, 0x33, 0, 0xAB}}, {71, {0xCD, 'W', 'a', 'r', 'e'}}, {82, {'7', 0}}};
    for (const auto& [at, want] : expected)
        EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + long(at), bytes.begin() + long(at + want.size())), want) << at;
    EXPECT_EQ(Profile::decode(bytes), p);
}

TEST(Profile, NameIsCutTo63Characters)
{
    Profile p;
    p.setName(std::string(80, 'x'));
    EXPECT_EQ(p.nameView().size(), 63u);
    EXPECT_EQ(p.name[63], 0);
    EXPECT_EQ(linkKindName(6), "Proxy Server");
    EXPECT_EQ(linkKindName(7), "");
}
