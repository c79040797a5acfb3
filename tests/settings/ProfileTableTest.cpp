#include <gtest/gtest.h>

#include "settings/Settings.h"

using namespace sorvane;

namespace {

Profile numbered(int i)
{
    Profile p;
    p.linkKind = uint32_t(i % 7);
    p.port = uint32_t(1000 + i);
    p.reserved.fill(uint8_t(0xA0 + i));
    p.setName("Profile " + std::to_string(i));
    return p;
}

} // namespace

TEST(ProfileTable, AddCloneAndDeleteKeepSlotsInOrderUpToThirtyThree)
{
    ProfileTable t;
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(t.AddProfile(numbered(i)));
    ASSERT_TRUE(t.CloneProfile(1));
    EXPECT_EQ(*t.get(3), numbered(1)); // name and reserved bytes included

    ASSERT_TRUE(t.DeleteProfile(0));
    EXPECT_EQ(t.ConnTypes(), 3);
    EXPECT_EQ(*t.get(0), numbered(1));
    EXPECT_EQ(*t.get(1), numbered(2));
    EXPECT_EQ(*t.get(2), numbered(1));
    EXPECT_EQ(t.get(3), nullptr);

    EXPECT_FALSE(t.DeleteProfile(3));
    EXPECT_FALSE(t.DeleteProfile(-1));
    EXPECT_FALSE(t.CloneProfile(3));
    EXPECT_FALSE(t.EditProfile(3, numbered(9)));
    ASSERT_TRUE(t.EditProfile(2, numbered(9)));
    EXPECT_EQ(*t.get(2), numbered(9));

    // A vacated slot is zero again, so a later image of the table carries no stale bytes.
    ASSERT_TRUE(t.DeleteProfile(2));
    ASSERT_TRUE(t.AddProfile(Profile{}));
    EXPECT_EQ(*t.get(2), Profile{});

    // Thirty-three slots at most.
    while (t.ConnTypes() < ProfileTable::kSlots)
        ASSERT_TRUE(t.AddProfile(numbered(t.ConnTypes())));
    const ProfileTable full = t;
    EXPECT_FALSE(t.AddProfile(numbered(40)));
    EXPECT_FALSE(t.CloneProfile(0));
    EXPECT_EQ(t, full);
}

// The device a profile remembers moves with it and never passes to another profile.
TEST(ProfileTable, RememberedDeviceMovesWithItsProfile)
{
    ProfileTable t;
    for (int i = 0; i < 3; ++i)
        t.AddProfile(numbered(i));
    t.setRememberedDevice(0, "Zero");
    t.setRememberedDevice(1, std::string(70, 'x'));
    EXPECT_EQ(t.rememberedDevice(1), std::string(63, 'x'));
    ASSERT_TRUE(t.CloneProfile(1));
    EXPECT_EQ(t.rememberedDevice(3), t.rememberedDevice(1));
    ASSERT_TRUE(t.DeleteProfile(0));
    EXPECT_EQ(t.rememberedDevice(0), std::string(63, 'x'));
    EXPECT_EQ(t.rememberedDevice(1), "");
    EXPECT_EQ(t.rememberedDevice(3), ""); // the vacated slot
    ASSERT_TRUE(t.AddProfile(numbered(5)));
    EXPECT_EQ(t.rememberedDevice(3), "");
    Profile other = *t.get(2);
    ASSERT_TRUE(t.EditProfile(0, *t.get(0))); // the same kind: kept
    EXPECT_NE(t.rememberedDevice(0), "");
    other.linkKind = (t.get(0)->linkKind + 1) % 7;
    ASSERT_TRUE(t.EditProfile(0, other)); // another kind: forgotten
    EXPECT_EQ(t.rememberedDevice(0), "");
    EXPECT_FALSE(t.setRememberedDevice(4, "beyond the table"));
}

// A gateway moves with its profile like the remembered device; only WAN and proxy
// profiles have one, and one too long for its stored form is refused, not cut.
TEST(ProfileTable, SshGatewayMovesWithItsProfileAndStaysWithWanAndProxy)
{
    ProfileTable t;
    for (LinkKind kind : {LinkKind::Wan, LinkKind::Proxy, LinkKind::Lan}) {
        Profile p = numbered(int(kind));
        p.linkKind = uint32_t(kind);
        t.AddProfile(p);
    }
    const SshGateway gate{"ann", "gate", 2222, "/home/ann/.ssh/id_ed25519"};
    ASSERT_TRUE(t.setSshGateway(0, gate));
    ASSERT_TRUE(t.setSshGateway(1, SshGateway{"bob", "10.0.0.1", 22, ""}));
    EXPECT_FALSE(t.setSshGateway(2, gate)); // LAN
    EXPECT_FALSE(t.setSshGateway(0, SshGateway{"ann", std::string(252, 'h'), 22, ""}));
    EXPECT_FALSE(t.setSshGateway(3, gate));
    EXPECT_EQ(t.sshGateway(0), gate);

    ASSERT_TRUE(t.CloneProfile(0));
    EXPECT_EQ(t.sshGateway(3), gate);
    ASSERT_TRUE(t.DeleteProfile(0));
    EXPECT_EQ(t.sshGateway(0)->user, "bob");
    EXPECT_EQ(t.sshGateway(1), std::nullopt);
    EXPECT_EQ(t.sshGateway(2), gate);
    EXPECT_EQ(t.sshGateway(3), std::nullopt); // the vacated slot
    ASSERT_TRUE(t.AddProfile(*t.get(0)));
    EXPECT_EQ(t.sshGateway(3), std::nullopt); // a new profile has none

    Profile p = *t.get(0);
    p.linkKind = uint32_t(LinkKind::Wan); // proxy to WAN: kept
    ASSERT_TRUE(t.EditProfile(0, p));
    EXPECT_TRUE(t.sshGateway(0));
    p.linkKind = uint32_t(LinkKind::Serial);
    ASSERT_TRUE(t.EditProfile(0, p));
    EXPECT_EQ(t.sshGateway(0), std::nullopt);
    ASSERT_TRUE(t.setSshGateway(2, std::nullopt));
    EXPECT_EQ(t.sshGateway(2), std::nullopt);
}

TEST(PlatformSettings, AddressAndNameLists)
{
    std::vector<uint32_t> out;
    std::string error;
    ASSERT_TRUE(parseAddressList(" 127.0.0.1,127.1.2.250 ,10.0.0.1", out, error)) << error;
    EXPECT_EQ(out, (std::vector<uint32_t>{0x7F000001, 0x7F0102FA, 0x0A000001}));

    const std::pair<const char*, const char*> bad[] = {
        {"127.0.0.1,127.0.0", "\"127.0.0\" (entry 2"}, {"256.0.0.1", "\"256.0.0.1\" (entry 1"},
        {"127.0.0.1.5", "\"127.0.0.1.5\""},           {"1.2.3.4x", "\"1.2.3.4x\""},
        {"127.0.0.1,", "entry 2 of the address list is empty"}, {"", "entry 1 of"},
        {"0127.0.0.1", "\"0127.0.0.1\""},            {"1..2.3", "\"1..2.3\""},
    };
    for (const auto& [text, expected] : bad) {
        out = {1};
        EXPECT_FALSE(parseAddressList(text, out, error)) << text;
        EXPECT_NE(error.find(expected), std::string::npos) << error;
        EXPECT_EQ(out, std::vector<uint32_t>{1});
    }

    EXPECT_EQ(splitList(" odccm, ,WCESMgr.exe,"), (std::vector<std::string>{"odccm", "WCESMgr.exe"}));
}
