// The USB, LAN and proxy connect dialogs (offscreen), against simulated devices on
// loopback and pseudo-terminals.

#include <gtest/gtest.h>

#include <filesystem>

#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

#include "ConnectTestSupport.h"
#include "connect/ui/LanConnectDialog.h"
#include "connect/ui/ProxyConnectDialog.h"
#include "connect/ui/UsbConnectDialog.h"
#include "support/LoopbackSim.h"
#include "support/TempDir.h"

using namespace sorvane;
using namespace sorvane::test;

namespace {

constexpr int kWaitMs = 20000;

QStringList rowTexts(QTreeWidget& list)
{
    QStringList rows;
    for (int i = 0; i < list.topLevelItemCount(); ++i)
        rows << list.topLevelItem(i)->text(0) + "|" + list.topLevelItem(i)->text(1);
    return rows;
}

QTreeWidgetItem* rowNamed(QTreeWidget& list, const QString& name)
{
    for (int i = 0; i < list.topLevelItemCount(); ++i)
        if (list.topLevelItem(i)->text(0) == name)
            return list.topLevelItem(i);
    return nullptr;
}

void clickConnect(QDialog& dialog)
{
    auto* button = dialog.findChild<QPushButton*>(QStringLiteral("1"));
    ASSERT_NE(button, nullptr);
    QTest::mouseClick(button, Qt::LeftButton);
}

bool closes(QDialog& dialog) { return QTest::qWaitFor([&] { return !dialog.isVisible(); }, kWaitMs); }

MessageRequest lastMessage(const ConnectProgram& p)
{
    return p.messages.shown.empty() ? MessageRequest{} : p.messages.shown.back();
}

struct UsbBench {
    TempDir dir;
    ConnectProgram program;
    int profile = program.addProfile(uint32_t(LinkKind::Usb), "usb", 2);
    std::vector<std::unique_ptr<SimProcess>> sims;

    UsbBench() { program.platform.UsbDevicePattern = (dir.path() / "usb{n}").string(); }
    void plug(int port, const std::string& name)
    {
        sims.push_back(std::make_unique<SimProcess>(std::vector<std::string>{"--serial", "--name", name}));
        std::filesystem::create_symlink(sims.back()->serialPath(), dir / ("usb" + std::to_string(port)));
    }
};

} // namespace

TEST(UsbConnectDialog, TwoDevicesAreListedAndOneIsChosen)
{
    UsbBench bench;
    bench.plug(4, "Four");
    bench.plug(12, "Twelve");
    UsbConnectDialog dialog(nullptr, bench.program.ctx, bench.profile);
    dialog.show();
    QTreeWidget& list = dialog.list();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !dialog.probing(); }, kWaitMs));
    EXPECT_EQ(rowTexts(list), (QStringList{"Four|4", "Twelve|12"}));
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_TRUE(bench.program.windows.empty());

    clickConnect(dialog);
    EXPECT_EQ(lastMessage(bench.program).text, "Please select a device to connect to");
    EXPECT_EQ(lastMessage(bench.program).caption, "USB Connection");
    EXPECT_EQ(lastMessage(bench.program).icon, MessageIcon::None);
    EXPECT_TRUE(dialog.isVisible());

    // Twelve is unplugged before it is chosen (its device node goes): its connect fails
    // and the dialog stays. The simulator lives on: ending it would free its terminal's
    // number for a test running beside this one, and the link would reach that device.
    std::filesystem::remove(bench.dir / "usb12");
    rowNamed(list, "Twelve")->setSelected(true);
    clickConnect(dialog);
    ASSERT_TRUE(QTest::qWaitFor([&] { return bench.program.messages.shown.size() == 2; }, kWaitMs));
    EXPECT_EQ(lastMessage(bench.program).text, "Unable to connect to device");
    EXPECT_EQ(lastMessage(bench.program).caption, "Connection Failed");
    EXPECT_TRUE(dialog.isVisible());

    rowNamed(list, "Twelve")->setSelected(false);
    rowNamed(list, "Four")->setSelected(true);
    QTest::keyClick(&list, Qt::Key_Return); // Enter in the list acts like Connect
    ASSERT_TRUE(closes(dialog));
    ASSERT_EQ(bench.program.windows.size(), 1u);
    EXPECT_EQ(bench.program.windows[0].name, "Four");
    EXPECT_EQ(bench.program.profiles.get(bench.profile)->port, 4u);
}

TEST(UsbConnectDialog, NoDeviceCancelDuringTheProbeOneConnectsWithoutAClickAndNoFreeSlot)
{
    UsbBench bench;
    {
        UsbConnectDialog dialog(nullptr, bench.program.ctx, bench.profile);
        dialog.show();
        ASSERT_TRUE(closes(dialog));
    }
    EXPECT_EQ(lastMessage(bench.program).text, "No available USB devices found");
    EXPECT_EQ(lastMessage(bench.program).caption, "USB Auto Discovery");
    EXPECT_EQ(lastMessage(bench.program).icon, MessageIcon::Stop);
    bench.program.messages.shown.clear();
    bench.plug(30, "Late");
    {
        UsbConnectDialog dialog(nullptr, bench.program.ctx, bench.profile);
        dialog.show();
        dialog.reject();
        EXPECT_FALSE(dialog.isVisible());
    }
    {
        UsbConnectDialog dialog(nullptr, bench.program.ctx, bench.profile);
        dialog.show();
        ASSERT_TRUE(closes(dialog)); // the only device: connected without a click
    }
    ASSERT_EQ(bench.program.windows.size(), 1u); // none from the cancelled probe
    EXPECT_EQ(bench.program.windows[0].name, "Late");
    EXPECT_EQ(bench.program.windows[0].profileIndex, bench.profile); // its scale and colours: the proxy's test
    EXPECT_EQ(bench.program.profiles.get(bench.profile)->port, 30u); // remembered
    EXPECT_EQ(bench.program.windows[0].link.port, 30u);
    EXPECT_EQ(bench.program.windows[0].link.linkKind, uint32_t(LinkKind::Usb));
    EXPECT_TRUE(bench.program.messages.shown.empty()); // nor a message

    for (int s = 0; s < Links::kSlotCount; ++s)
        bench.program.links.take(s, SlotUse{});
    RunUsbConnectDialog(nullptr, bench.program.ctx, bench.profile); // refused with a beep, no dialog
    EXPECT_EQ(bench.program.beep.count, 1);
    RunUsbConnectDialog(nullptr, bench.program.ctx, 7); // no such profile
    EXPECT_EQ(bench.program.beep.count, 2);
}

namespace {

struct LanBench {
    ConnectProgram program;
    int profile = program.addProfile(uint32_t(LinkKind::Lan), "lan", 1);
    LanDialogTiming timing{40, 200};

    void discoverOn(const std::string& broadcast, const std::string& port)
    {
        program.platform.LanBroadcastAddress = broadcast;
        program.platform.LanDiscoveryPort = std::stoi(port);
    }
};

} // namespace

TEST(LanConnectDialog, DevicesListedAndPasswordAsked)
{
    LanBench bench;
    LoopbackSim alpha = startLoopbackSim(
        {"--name", "Alpha", "--discovery-port", "0", "--discovery-bind", "127.255.255.255"});
    const std::string port = discoveryPort(*alpha.process);
    LoopbackSim beta = startLoopbackSim({"--name", "Beta", "--password", "Secret", "--discovery-port", port,
                                         "--discovery-bind", "127.255.255.255"});
    const std::string a = alpha.host, b = beta.host;
    bench.discoverOn("127.255.255.255", port);

    LanConnectDialog dialog(nullptr, bench.program.ctx, bench.profile, bench.timing);
    dialog.show();
    QTreeWidget& list = dialog.list();
    ASSERT_TRUE(QTest::qWaitFor([&] { return list.topLevelItemCount() == 2; }, kWaitMs));
    QStringList rows = rowTexts(list);
    rows.sort();
    EXPECT_EQ(rows, (QStringList{QString::fromStdString("Alpha|" + a), QString::fromStdString("Beta|" + b)}));

    clickConnect(dialog);
    EXPECT_EQ(lastMessage(bench.program).text, "Please select a device to connect to");
    EXPECT_EQ(lastMessage(bench.program).caption, "LAN Connection");

    bench.program.prompt.typed = "nope";
    rowNamed(list, "Beta")->setSelected(true);
    clickConnect(dialog);
    EXPECT_EQ(bench.program.prompt.asked, (std::vector<std::string>{"Secret"}));
    EXPECT_TRUE(dialog.isVisible()); // a cancelled password leaves the dialog open
    EXPECT_TRUE(bench.program.windows.empty());

    bench.program.prompt.typed = "SECRET";
    clickConnect(dialog);
    ASSERT_TRUE(closes(dialog));
    ASSERT_EQ(bench.program.windows.size(), 1u);
    EXPECT_EQ(bench.program.windows[0].name, "Beta");
    uint32_t address = 0;
    ASSERT_TRUE(parseIpv4(b, address));
    EXPECT_EQ(bench.program.profiles.get(bench.profile)->ipAddress, address); // remembered
    EXPECT_EQ(bench.program.windows[0].link.linkKind, uint32_t(LinkKind::Lan));
}

namespace {

struct ProxyBench {
    ConnectProgram program;
    int profile;
    std::unique_ptr<SimProcess> proxy;

    explicit ProxyBench(std::vector<std::string> simArgs)
    {
        simArgs.insert(simArgs.begin(), {"--proxy", "--port", "0"});
        proxy = std::make_unique<SimProcess>(simArgs);
        profile = program.addProfile(uint32_t(LinkKind::Proxy), "proxy", 2, 1);
        Profile p = *program.profiles.get(profile);
        p.ipAddress = 0x7F000001;
        p.port = uint32_t(proxy->tcpPort());
        program.profiles.EditProfile(profile, p);
    }
};

} // namespace

TEST(ProxyConnectDialog, ListRefusalAndGrant)
{
    ProxyBench bench({"--proxy-devices", "Free,Busy*127.0.0.9,Gone!,Spare"}); // Gone: not present, not listed
    ProxyConnectDialog dialog(nullptr, bench.program.ctx, bench.profile);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return dialog.tableArrived(); }, kWaitMs));
    QTreeWidget& list = dialog.list();
    EXPECT_EQ(rowTexts(list), (QStringList{"Free|Available", "Busy|127.0.0.9", "Spare|Available"}));
    EXPECT_TRUE(list.topLevelItem(0)->isSelected());

    list.topLevelItem(0)->setSelected(false);
    rowNamed(list, "Busy")->setSelected(true);
    clickConnect(dialog);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !bench.program.messages.shown.empty(); }, kWaitMs));
    EXPECT_EQ(lastMessage(bench.program).text, "The connection attempt failed; the device may be in use");
    EXPECT_EQ(lastMessage(bench.program).caption, "Error");
    EXPECT_EQ(lastMessage(bench.program).icon, MessageIcon::Stop);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_TRUE(bench.program.windows.empty());

    // A double click on a row connects it.
    rowNamed(list, "Busy")->setSelected(false);
    QTreeWidgetItem* spare = rowNamed(list, "Spare");
    spare->setSelected(true);
    const QPoint at = list.visualItemRect(spare).center();
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, at);
    ASSERT_TRUE(closes(dialog));
    ASSERT_EQ(bench.program.windows.size(), 1u);
    EXPECT_EQ(bench.program.windows[0].name, "Spare");
    EXPECT_EQ(bench.program.windows[0].scale, 2);
    EXPECT_EQ(bench.program.windows[0].lowColor, 1);
    const SlotUse& s = bench.program.windows[0].link;
    EXPECT_EQ(s.linkKind, uint32_t(LinkKind::Proxy));
    EXPECT_EQ(s.port, uint32_t(bench.proxy->tcpPort()));
    EXPECT_EQ(s.ipAddress, 0x7F000001u);
    EXPECT_TRUE(awaitLine(*bench.proxy, "connected 1 proxy Spare"));
}

// A table the proxy cannot give (a count above 33 here) closes the dialog with a message.
TEST(ProxyConnectDialog, BadCountClosesTheDialog)
{
    ProxyBench bench({"--proxy-count-override", "34"});
    ProxyConnectDialog dialog(nullptr, bench.program.ctx, bench.profile);
    dialog.show();
    ASSERT_TRUE(closes(dialog));
    EXPECT_EQ(lastMessage(bench.program).text, "Unable to connect to the proxy server");
    EXPECT_EQ(lastMessage(bench.program).caption, "Error");
    EXPECT_EQ(bench.program.messages.shown.size(), 1u);
}
