// LAN discovery: the datagrams and table records byte for byte, then discovery against
// simulated devices on loopback.

#include <gtest/gtest.h>

#include <cstring>

#include "ConnectTestSupport.h"
#include "connect/LanDiscovery.h"
#include "support/LoopbackSim.h"

using namespace sorvane;
using namespace sorvane::test;

namespace {

std::vector<uint8_t> reply(size_t size, const char* name, const char* password, uint8_t first = 'U')
{
    std::vector<uint8_t> d(size, 0xEE);
    d[0] = first;
    std::fill(d.begin() + 4, d.begin() + std::min<size_t>(size, 288), 0);
    if (size >= 288) {
        std::memcpy(d.data() + 4, name, std::strlen(name));
        std::memcpy(d.data() + 256, password, std::strlen(password));
    }
    return d;
}

} // namespace

TEST(LanRecords, RequestAndReplyImages)
{
    EXPECT_EQ(encodeLanRequest(), (std::array<uint8_t, 4>{0x55, 0, 0, 0}));

    auto d = decodeLanReply(reply(288, "Pocket One", "pw"), 0x7F000005);
    ASSERT_TRUE(d);
    EXPECT_EQ(d->address, 0x7F000005u);
    EXPECT_EQ(d->name, "Pocket One");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(d->password.data()), 2), "pw");
    EXPECT_EQ(d->password[2], 0);

    // One byte short or over, or another first byte: not a reply.
    EXPECT_FALSE(decodeLanReply(reply(287, "x", ""), 1));
    EXPECT_FALSE(decodeLanReply(reply(289, "x", ""), 1));
    EXPECT_FALSE(decodeLanReply(reply(288, "x", "", 'u'), 1));
}

TEST(LanRecords, DiscoveredDeviceTableLayoutAndLimit)
{
    PasswordTable table;
    DiscoveredDevices devices(table);
    LanDevice a{0x7F010203, "Alpha", {}};
    a.password[0] = 'p';
    a.password[1] = 'w';
    ASSERT_EQ(devices.append(a), std::optional<size_t>(0));
    auto r = table.record(0);
    EXPECT_EQ((std::vector<uint8_t>(r.begin(), r.begin() + 10)),
              (std::vector<uint8_t>{0x7F, 0x01, 0x02, 0x03, 'A', 'l', 'p', 'h', 'a', 0}));
    EXPECT_EQ(table.password(0), "pw");
    EXPECT_TRUE(devices.hasPassword(0));
    EXPECT_EQ(devices.device(0), a);

    // The same address again is not a new device, whatever it calls itself.
    EXPECT_FALSE(devices.append(LanDevice{0x7F010203, "Alpha again", {}}));

    for (uint32_t i = 1; i < 100; ++i)
        ASSERT_EQ(devices.append(LanDevice{0x7F100000 + i, "D" + std::to_string(i), {}}), std::optional<size_t>(i));
    // The table holds 100: the 101st distinct device is not taken, and nothing spills.
    EXPECT_FALSE(devices.append(LanDevice{0x7F200000, "One too many", {}}));
    EXPECT_EQ(devices.count(), 100u);
    EXPECT_EQ(devices.device(99).name, "D99");
    EXPECT_FALSE(devices.hasPassword(99));
}

// A device that answers every request twice is reported once. The connect dialog's
// test (ConnectDialogsTest) lists two devices this way and goes on to the link.
TEST(LanDiscoveryLoopback, ARepeatedAnswerIsReportedOnce)
{
    LoopbackSim sim = startLoopbackSim(
        {"--name", "Alpha", "--discovery-port", "0", "--discovery-bind", "127.255.255.255", "--discovery-repeat", "2"});
    LanDiscovery discovery;
    std::string error;
    ASSERT_TRUE(discovery.open(0x7FFFFFFF, std::stoi(discoveryPort(*sim.process)), error)) << error;
    std::optional<LanDevice> found = discovery.tick(kLanReplyWaitMs);
    ASSERT_TRUE(found);
    EXPECT_EQ(found->address, sim.address);
    EXPECT_FALSE(discovery.tick(300)); // the repeats bring nothing new
    EXPECT_FALSE(discovery.lastSendFailed());
}

TEST(LanDiscoveryLoopback, BadPortAndCancel)
{
    LanDiscovery discovery;
    std::string error;
    EXPECT_FALSE(discovery.open(0x7F000001, 65536, error));
    EXPECT_NE(error.find("65536"), std::string::npos);
    ASSERT_TRUE(discovery.open(0x7F000001, 9, error)); // nobody answers there
    CancelToken cancel;
    cancel.cancel();
    EXPECT_FALSE(discovery.tick(60000, &cancel)); // returns at once, not after a minute
}
