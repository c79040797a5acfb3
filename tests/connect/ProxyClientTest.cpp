// The proxy dialog's rows. The proxy server's exchanges (its table, opening a row)
// are the dialer's test (DialerTest), the proxy dialog's (ConnectDialogsTest) and
// sorvane-cli's (CliConnectTest).

#include <gtest/gtest.h>

#include "ConnectTestSupport.h"
#include "connect/ProxyClient.h"

using namespace sorvane;
using namespace sorvane::test;

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
