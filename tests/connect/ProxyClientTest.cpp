// The proxy server's exchanges against the simulated proxy on loopback. Opening a
// listed device, granted and refused, is driven through the proxy dialog
// (ConnectDialogsTest) and sorvane-cli (CliConnectTest).

#include <gtest/gtest.h>


#include "ConnectTestSupport.h"
#include "connect/ProxyClient.h"
#include "support/LoopbackSockets.h"

using namespace sorvane;
using namespace sorvane::test;

namespace {

Profile proxyProfile(int port)
{
    Profile p;
    p.linkKind = uint32_t(LinkKind::Proxy);
    p.ipAddress = 0x7F000001;
    p.port = uint32_t(port);
    p.scale = 1;
    return p;
}

} // namespace

TEST(ProxyRows, ListedRecordsAndClientAddresses)
{
    std::vector<LinkRecord> records(3); // a record the proxy does not have: the proxy dialog's test
    records[0].handle = 7;
    records[0].setDeviceName("Free");
    records[1].handle = 8;
    records[1].setDeviceName("Busy");
    records[1].proxyWords[0] = 1;
    // 10.1.2.3 as it travels (first octet first), read as a little-endian word.
    records[1].ipAddress = 0x0302010A;
    records[2].handle = 9; // no name: not listed
    EXPECT_EQ(proxyRows(records), (std::vector<ProxyRow>{{"Free", "Available", 0}, {"Busy", "10.1.2.3", 1}}));
    EXPECT_FALSE(validProxyPort(0));
    EXPECT_TRUE(validProxyPort(65535)); // 65536: sorvane-cli's test
}

TEST(ProxyClient, CountsOutsideOneTo33AndNoServer)
{
    SystemClock clock;
    PosixTransportFactory factory;
    for (const char* count : {"0", "34"}) {
        SimProcess proxy({"--proxy", "--port", "0", "--proxy-count-override", count});
        EXPECT_EQ(FetchProxyTable(clock, proxyProfile(proxy.tcpPort()), factory).status, ProxyTableStatus::BadCount)
            << count;
    }
    EXPECT_EQ(FetchProxyTable(clock, proxyProfile(freeLoopbackPort()), factory).status, ProxyTableStatus::Unreachable);
    EXPECT_EQ(FetchProxyTable(clock, proxyProfile(65536), factory).status, ProxyTableStatus::BadPort);
    // A count of 3 with only one record behind it: the table broke off.
    SimProcess shortTable({"--proxy", "--port", "0", "--proxy-count-override", "3"});
    EXPECT_EQ(FetchProxyTable(clock, proxyProfile(shortTable.tcpPort()), factory).status, ProxyTableStatus::Short);
}
