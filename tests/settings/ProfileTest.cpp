#include <gtest/gtest.h>

#include <array>
#include <numeric>

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
    EXPECT_EQ(bytes[0], 4);
    EXPECT_EQ(bytes[4], 0x6B); // 1899 = 0x076B
    EXPECT_EQ(bytes[5], 0x07);
    EXPECT_EQ(bytes[12], 2);
    EXPECT_EQ(bytes[16], 0x01); // least significant byte first
    EXPECT_EQ(bytes[19], 0x0A);
    EXPECT_EQ(bytes[40], 18);
    EXPECT_EQ(bytes[56], 0x99);
    EXPECT_EQ(bytes[60], 0xAB);
    EXPECT_EQ(bytes[71], 0xCD);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&bytes[72])), "Warehouse 7");
    EXPECT_EQ(Profile::decode(bytes), p);
}

TEST(Profile, EveryByteRoundTrips)
{
    std::array<uint8_t, Profile::kSize> bytes{};
    std::iota(bytes.begin(), bytes.end(), uint8_t(1));
    std::array<uint8_t, Profile::kSize> again{};
    Profile::decode(bytes).encode(again);
    EXPECT_EQ(bytes, again);
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
