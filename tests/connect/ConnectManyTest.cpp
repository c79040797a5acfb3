// Connect on several profiles at once (offscreen), against simulated devices on loopback
// and pseudo-terminals: every link kind to the device it remembers, passwords in turn,
// failures listed once, a stalled device holding up nobody.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include <QTest>
#include <QTreeWidget>

#include "ConnectTestSupport.h"
#include "connect/ConnectMessages.h"
#include "connect/ui/ConnectCommand.h"
#include "connect/ui/ConnectMany.h"
#include "support/LoopbackSim.h"
#include "support/LoopbackSockets.h"
#include "support/TempDir.h"

using namespace sorvane;
using namespace sorvane::test;

namespace {

constexpr int kWaitMs = 30000;

int addProfile(ConnectProgram& program, LinkKind kind, const char* name, uint32_t address, uint32_t port = 0,
               const std::string& remembered = {})
{
    const int i = program.addProfile(uint32_t(kind), name);
    Profile p = *program.profiles.get(i);
    p.ipAddress = address;
    p.port = port;
    program.profiles.EditProfile(i, p);
    program.profiles.setRememberedDevice(i, remembered);
    return i;
}

std::vector<std::string> windowNames(const ConnectProgram& program)
{
    std::vector<std::string> names;
    for (const OpenedWindow& w : program.windows)
        names.push_back(w.name);
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace

TEST(ConnectMany, EveryKindToItsRememberedDeviceAtOnceAndFailuresListedOnce)
{
    TempDir dir;
    ConnectProgram program;
    program.platform.UsbDevicePattern = (dir.path() / "usb{n}").string();
    LoopbackSim alpha = startLoopbackSim({"--name", "Alpha"});
    LoopbackSim beta = startLoopbackSim({"--name", "Beta", "--password", "Secret"});
    LoopbackSim gamma = startLoopbackSim({"--name", "Gamma", "--password", "Secret", "--discovery-port", "0",
                                          "--discovery-bind", "127.255.255.255"});
    program.platform.LanBroadcastAddress = "127.255.255.255";
    program.platform.LanDiscoveryPort = std::stoi(discoveryPort(*gamma.process));
    SimProcess proxy({"--proxy", "--port", "0", "--proxy-devices", "Spare,Busy*127.0.0.9"});
    SimProcess usb({"--serial", "--name", "Usb4"});
    std::filesystem::create_symlink(usb.serialPath(), dir / "usb4");
    const uint32_t proxyPort = uint32_t(proxy.tcpPort());

    addProfile(program, LinkKind::Wan, "alpha", alpha.address);
    addProfile(program, LinkKind::Wan, "beta", beta.address);
    addProfile(program, LinkKind::Wan, "dead", 0x7F030101); // 127.3.1.1: nobody there
    const int lan = addProfile(program, LinkKind::Lan, "lan", 0, 0, "Gamma");
    const int lanGone = addProfile(program, LinkKind::Lan, "lan gone", 0, 0, "Nobody");
    addProfile(program, LinkKind::Proxy, "proxy", 0x7F000001, proxyPort, "Spare");
    addProfile(program, LinkKind::Proxy, "proxy busy", 0x7F000001, proxyPort, "Busy");
    addProfile(program, LinkKind::Usb, "usb", 0, 4);
    const int usbEmpty = addProfile(program, LinkKind::Usb, "usb\nempty", 0, 9);
    addProfile(program, LinkKind::Wan, "alpha again", alpha.address); // the same link as "alpha"
    program.prompt.typed = "secret";

    std::vector<int> fellBack;
    ConnectManyOptions options;
    options.fallback = [&](QWidget*, ConnectContext&, int index) { fellBack.push_back(index); };
    options.lanTiming = LanSearchTiming{300, 2};
    std::vector<int> all(size_t(program.profiles.ConnTypes()));
    for (size_t i = 0; i < all.size(); ++i)
        all[i] = int(i);
    ConnectManyDialog dialog(program.ctx, all, options);
    dialog.show();
    dialog.start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return dialog.showingFailures(); }, kWaitMs));

    EXPECT_EQ(windowNames(program), (std::vector<std::string>{"Alpha", "Beta", "Gamma", "Spare", "Usb4"}));
    EXPECT_EQ(program.prompt.asked, (std::vector<std::string>{"Secret", "Secret"})); // Beta's and Gamma's
    EXPECT_EQ(fellBack, (std::vector<int>{lanGone, usbEmpty}));
    EXPECT_TRUE(program.messages.shown.empty()); // not one message box
    EXPECT_EQ(program.profiles.get(lan)->ipAddress, gamma.address);
    EXPECT_EQ(program.profiles.rememberedDevice(lan), "Gamma");

    std::vector<std::pair<std::string, std::string>> listed;
    for (const ConnectFailure& f : dialog.failures())
        listed.emplace_back(f.profile, f.reason);
    const std::string notFound = "its device was not found, and none was connected in its dialog";
    EXPECT_EQ(listed, (std::vector<std::pair<std::string, std::string>>{
                          {"dead", "no answer from 127.3.1.1 (refused, or no answer within 1.5 s)"},
                          {"lan gone", notFound},
                          {"proxy busy", connect_text::kProxyRefused},
                          {"usb\\nempty", notFound},
                          {"alpha again", kSingleInstanceText}})); // in profile order
    EXPECT_EQ(dialog.list().topLevelItemCount(), 5);
    EXPECT_EQ(dialog.list().topLevelItem(3)->text(0), QStringLiteral("usb\\nempty")); // escaped
    dialog.reject(); // Escape closes the list
    EXPECT_FALSE(dialog.isVisible());
}

TEST(ConnectMany, AStalledDeviceHoldsUpNobodyAndCancelEndsIt)
{
    ConnectProgram program;
    // An agent that has stopped: its port takes the connection, nothing answers the hello.
    std::unique_ptr<Socket> stalled;
    uint32_t stalledAddress = 0;
    for (uint32_t n = 200; n < 254 && !stalled; ++n) {
        auto s = std::make_unique<Socket>(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
        sockaddr_in a = loopbackAddress(1899);
        a.sin_addr.s_addr = htonl(stalledAddress = 0x7F000000 | n);
        if (::bind(s->fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 && ::listen(s->fd, 4) == 0)
            stalled = std::move(s);
    }
    ASSERT_TRUE(stalled);
    LoopbackSim quick = startLoopbackSim({"--name", "Quick"});
    addProfile(program, LinkKind::Wan, "slow", stalledAddress);
    addProfile(program, LinkKind::Wan, "quick", quick.address);
    ConnectManyDialog dialog(program.ctx, {0, 1});
    dialog.show();
    dialog.start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return program.windows.size() == 1; }, kWaitMs));
    EXPECT_EQ(program.windows[0].name, "Quick");
    EXPECT_EQ(dialog.attemptsRunning(), 1);
    dialog.reject();
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_TRUE(dialog.failures().empty());
}
