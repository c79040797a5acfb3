// LAN discovery: the datagrams and table records byte for byte, then discovery and a
// LAN link against simulated devices on loopback.

#include <gtest/gtest.h>

#include <cstring>

#include "ConnectTestSupport.h"
#include "connect/LanDiscovery.h"
#include "connect/PendingLink.h"
#include "view/Connection.h"

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

    EXPECT_FALSE(decodeLanReply(reply(287, "x", ""), 1));
    EXPECT_FALSE(decodeLanReply(reply(289, "x", ""), 1));
    EXPECT_FALSE(decodeLanReply(reply(288, "x", "", 'u'), 1));
    EXPECT_EQ(dottedAddress(0xC0000201), "192.0.2.1");
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

// Two devices on addresses of their own hear the same request (the loopback broadcast
// address, shared discovery port); one answers every request twice.
TEST(LanDiscoveryLoopback, TwoDevicesListedOnceEachOneNewPerTick)
{
    const std::string a = ownLoopback(), b = ownLoopback();
    SimProcess first({"--host", a, "--port", "0", "--name", "Alpha", "--discovery-port", "0",
                      "--discovery-bind", "127.255.255.255", "--discovery-repeat", "2"});
    const std::string port = factWord(first, "discovery", 1);
    SimProcess second({"--host", b, "--port", "0", "--name", "Beta", "--password", "Secret",
                       "--discovery-port", port, "--discovery-bind", "127.255.255.255"});

    LanDiscovery discovery;
    std::string error;
    uint32_t broadcast = 0;
    ASSERT_TRUE(parseIpv4("127.255.255.255", broadcast));
    ASSERT_TRUE(discovery.open(broadcast, std::stoi(port), error)) << error;
    PasswordTable table;
    DiscoveredDevices devices(table);
    std::vector<std::string> names;
    for (int tick = 0; tick < 6 && devices.count() < 2; ++tick) {
        auto d = discovery.tick(kLanReplyWaitMs);
        if (d) {
            ASSERT_TRUE(devices.append(*d));
            names.push_back(d->name);
        }
        if (tick == 0) { // one new device per tick, though both answered
            EXPECT_EQ(names.size(), 1u);
        }
    }
    ASSERT_EQ(devices.count(), 2u);
    EXPECT_FALSE(discovery.tick(300)); // the repeats bring nothing new
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"Alpha", "Beta"}));
    for (size_t i = 0; i < 2; ++i) {
        const LanDevice d = devices.device(i);
        uint32_t expected = 0;
        ASSERT_TRUE(parseIpv4(d.name == "Alpha" ? a : b, expected));
        EXPECT_EQ(d.address, expected) << d.name;
        EXPECT_EQ(devices.hasPassword(i), d.name == "Beta");
    }
    EXPECT_FALSE(discovery.lastSendFailed());
}

TEST(LanDiscoveryLoopback, ReplyOf287BytesIsIgnored)
{
    SimProcess sim({"--port", "0", "--discovery-port", "0", "--discovery-reply-size", "287"});
    LanDiscovery discovery;
    std::string error;
    ASSERT_TRUE(discovery.open(0x7F000001, std::stoi(factWord(sim, "discovery", 1)), error)) << error;
    EXPECT_FALSE(discovery.tick(500));
    // The device did hear the request and answer it.
    EXPECT_TRUE(awaitLine(sim, "discovery 127.0.0.1:"));
    EXPECT_FALSE(discovery.tick(300));
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

// The discovered device's agent is reached as a LAN link on its address, port 1899, and
// its screen arrives through a live connection.
TEST(LanDiscoveryLoopback, ChosenDeviceConnectsAndShowsItsScreen)
{
    const std::string host = ownLoopback();
    SimProcess sim({"--host", host, "--port", "1899", "--name", "Gamma", "--discovery-port", "0"});
    ConnectProgram program;
    const int profile = program.addProfile(uint32_t(LinkKind::Lan), "lan", 2, 1);

    LanDiscovery discovery;
    std::string error;
    uint32_t address = 0;
    ASSERT_TRUE(parseIpv4(host, address));
    ASSERT_TRUE(discovery.open(address, std::stoi(factWord(sim, "discovery", 1)), error)) << error;
    auto device = discovery.tick(kLanReplyWaitMs);
    ASSERT_TRUE(device);
    EXPECT_EQ(device->address, address);

    Profile p = *program.profiles.get(profile);
    p.ipAddress = device->address;
    PendingLink link(program.clock);
    ASSERT_TRUE(link.open(program.ctx.linkConfig(), p, program.transports));
    ASSERT_TRUE(link.connect(nullptr).passed());
    auto slot = InstallLink(program.ctx, link, profile, viewStartFor(p));
    ASSERT_TRUE(slot);
    ASSERT_EQ(program.windows.size(), 1u);
    EXPECT_EQ(program.windows[0].name, "Gamma");
    EXPECT_EQ(program.windows[0].scale, 2);
    EXPECT_EQ(program.windows[0].lowColor, 1); // a 16-bit device keeps the profile's mode
    EXPECT_EQ(program.links.find(*slot)->linkKind, uint32_t(LinkKind::Lan));

    struct CountingSink final : ViewSink {
        std::atomic<int> changes{0};
        void invalidate(const WindowRect&) override { ++changes; }
        void repaintAll() override {}
        void linkClosed() override {}
    } sink;
    ASSERT_EQ(program.connections.size(), 1u);
    program.connections[0]->start(sink);
    EXPECT_TRUE(waitUntil([&] { return sink.changes.load() > 0; }));
    program.connections.clear();
    EXPECT_TRUE(program.links.find(*slot)->isFree());
}
