// Every link kind through the one Dialer, against simulated devices on loopback and
// pseudo-terminals (a USB channel is a symbolic link to one); each link that passed
// and is dialled again when it drops is dialled again by its relinker once it is gone.

#include <gtest/gtest.h>

#include <filesystem>

#include "ConnectTestSupport.h"
#include "connect/Dialer.h"
#include "support/LoopbackSockets.h"
#include "support/TempDir.h"

using namespace sorvane;
using namespace sorvane::test;

TEST(Dialer, EveryLinkKindAndTheRedialOfWhatItDialled)
{
    TempDir dir;
    SimProcess net({"--port", "0", "--name", "Net"});
    SimProcess locked({"--port", "0", "--name", "Locked", "--password", "Secret"});
    SimProcess line({"--serial", "--name", "Line"});
    SimProcess proxy({"--proxy", "--port", "0", "--proxy-devices", "Free,Busy*"});
    SimProcess shortTable({"--proxy", "--port", "0", "--proxy-count-override", "3"}); // one record behind 3
    std::filesystem::create_symlink(line.serialPath(), dir / "usb3");
    const struct {
        const char* what;
        LinkKind kind;
        SimProcess* sim;   // the device or proxy dialled; null: nobody (at `port`)
        uint32_t port;     // serial, USB: the channel; a proxy nobody runs: its port
        int proxyRow;      // -1: the row is found by `device`
        const char* typed; // the user's answer to a password question
        DialStatus status;
        const char* device;
        ProxyTableStatus table;
    } rows[] = {
        {"WAN", LinkKind::Wan, &net, 0, -1, "", DialStatus::Passed, "Net", ProxyTableStatus::Ok},
        {"LAN", LinkKind::Lan, &net, 0, -1, "", DialStatus::Passed, "Net", ProxyTableStatus::Ok},
        {"WAN, password", LinkKind::Wan, &locked, 0, -1, "sECRET", DialStatus::Passed, "Locked", ProxyTableStatus::Ok},
        {"WAN, wrong password", LinkKind::Wan, &locked, 0, -1, "nope", DialStatus::HandshakeFailed, "", {}},
        {"WAN, nobody there", LinkKind::Wan, nullptr, 0, -1, "", DialStatus::NotConnected, "", {}},
        {"serial", LinkKind::Serial, &line, 1, -1, "", DialStatus::Passed, "Line", ProxyTableStatus::Ok},
        {"USB", LinkKind::Usb, &line, 3, -1, "", DialStatus::Passed, "Line", ProxyTableStatus::Ok},
        {"USB, no such channel", LinkKind::Usb, nullptr, 33, -1, "", DialStatus::NotOpened, "", {}},
        {"proxy row", LinkKind::Proxy, &proxy, 0, 0, "", DialStatus::Passed, "Free", ProxyTableStatus::Ok},
        {"proxy row in use", LinkKind::Proxy, &proxy, 0, 1, "", DialStatus::ProxyRefused, "Busy", {}},
        {"proxy by name", LinkKind::Proxy, &proxy, 0, -1, "", DialStatus::Passed, "Free", ProxyTableStatus::Ok},
        {"proxy, no such name", LinkKind::Proxy, &proxy, 0, -1, "", DialStatus::ProxyNotListed, "Gone", {}},
        {"proxy, table broke off", LinkKind::Proxy, &shortTable, 0, -1, "", DialStatus::ProxyNoTable, "",
         ProxyTableStatus::Short},
        {"proxy, nobody there", LinkKind::Proxy, nullptr, uint32_t(freeLoopbackPort()), -1, "",
         DialStatus::ProxyNoTable, "", ProxyTableStatus::Unreachable},
        {"proxy, port 65536", LinkKind::Proxy, nullptr, 65536, -1, "", DialStatus::ProxyBadPort, "", {}},
    };
    SystemClock clock;
    PosixTransportFactory factory;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        LinkConfig config;
        const bool tcp = row.kind != LinkKind::Serial && row.kind != LinkKind::Usb;
        config.agentPort = uint16_t(row.sim && tcp ? row.sim->tcpPort() : freeLoopbackPort());
        config.comDevicePattern = line.serialPath();
        config.usbDevicePattern = (dir.path() / "usb{n}").string();
        const Dialer dialer(clock, config, factory);
        DialTarget target;
        target.profile.linkKind = uint32_t(row.kind);
        target.profile.ipAddress = 0x7F000001;
        target.profile.port = row.kind == LinkKind::Proxy && row.sim ? uint32_t(row.sim->tcpPort()) : row.port;
        if (row.proxyRow >= 0) {
            const ProxyTable table = dialer.proxyTable(target.profile, nullptr);
            ASSERT_EQ(table.status, ProxyTableStatus::Ok);
            target.proxyRow = ProxyRowPick{table.records.at(size_t(row.proxyRow)), uint32_t(row.proxyRow)};
        }
        target.proxyDevice = row.device;
        ScriptedPrompt prompt(row.typed);
        CancelToken cancel;
        DialOutcome dialled = dialer.dial(target, &cancel, &prompt);
        EXPECT_EQ(dialled.status, row.status);
        EXPECT_EQ(dialled.table, row.table);
        ASSERT_TRUE(dialled.link);
        EXPECT_EQ(dialled.link->hasTransport(), dialled.passed());
        if (!dialled.passed())
            continue;
        EXPECT_EQ(dialled.link->slot().deviceName, row.device);
        EXPECT_EQ(dialled.link->slot().linkKind, uint32_t(row.kind));
        // Dialled again when it drops: WAN, LAN and proxy links, the same device, with the
        // password the user typed the first time.
        std::shared_ptr<Relinker> relinker = dialer.relinker(target, *dialled.link);
        EXPECT_EQ(relinker != nullptr, tcp);
        dialled.link->close();
        ASSERT_TRUE(awaitLine(*row.sim, "disconnected"));
        if (!relinker)
            continue;
        std::string error;
        std::optional<RelinkedLink> again = relinker->attempt(error);
        ASSERT_TRUE(again) << error;
        EXPECT_EQ(again->record.deviceNameView(), row.device);
        ASSERT_TRUE(again->transport);
        again->transport->close();
        ASSERT_TRUE(awaitLine(*row.sim, "disconnected"));
        relinker->cancel();
        EXPECT_FALSE(relinker->attempt(error));
    }
}
