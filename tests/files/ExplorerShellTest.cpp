// The device window's File Explorer command in the program's shell, against
// sorvane-sim on loopback: the explorer's jobs go through the connection's thread,
// which polls the screen again once a transfer's result is in.

#include <gtest/gtest.h>

#include <fstream>

#include <QPointer>
#include <QTest>
#include <QTreeWidget>

#include "ShellHarness.h"
#include "files/ui/ExplorerWindow.h"

using namespace sorvane;
using namespace sorvane::test;
namespace fs = std::filesystem;

namespace {

template <class F>
bool waitFor(F condition, int ms = 20000)
{
    for (int waited = 0; waited < ms; waited += 10) {
        if (condition())
            return true;
        QTest::qWait(10);
    }
    return condition();
}

} // namespace

TEST(ExplorerShell, OpenedOnceListsCopiesAndGivesTheScreenBack)
{
    ShellHarness h;
    TempDir sandbox, pc;
    std::ofstream(sandbox / "on-device.txt") << "device bytes";
    std::ofstream(pc / "from-pc.txt") << "pc bytes";
    LoopbackSim sim = startLoopbackSim({"--files", sandbox.path().string()});
    const int index = h.addProfile("Files", LinkKind::Wan, sim.address);
    h.connect(index);
    QPointer<DeviceWindow> w = h.windowOf(index);
    ASSERT_TRUE(w);

    w->command(40038);
    QPointer<ExplorerWindow> explorer = w->findChild<ExplorerWindow*>();
    ASSERT_TRUE(explorer);
    EXPECT_TRUE(explorer->isVisible());
    ASSERT_TRUE(waitFor([&] { return !explorer->deviceBusy(); }));
    ASSERT_EQ(explorer->deviceList()->topLevelItemCount(), 1);
    EXPECT_EQ(explorer->deviceList()->topLevelItem(0)->text(0), "on-device.txt");

    w->command(40038); // the same explorer comes to the front
    EXPECT_EQ(w->findChildren<ExplorerWindow*>().size(), 1);

    explorer->showPcFolder(pc.path().string());
    explorer->command(explorer_cmd::PcSelectAll);
    explorer->command(explorer_cmd::CopyToDevice);
    ASSERT_TRUE(waitFor([&] { return !explorer->transferDialog() && !explorer->deviceBusy(); }));
    std::ifstream sent(sandbox / "from-pc.txt");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(sent), {}), "pc bytes");
    EXPECT_EQ(explorer->deviceList()->topLevelItemCount(), 2);
    // The screen is polled again once the explorer has the transfer's result.
    EXPECT_FALSE(nextLine(*sim.process, {"create"}).empty());
    EXPECT_FALSE(nextLine(*sim.process, {"command 82"}).empty());

    // The explorer goes with its device window.
    w->close();
    EXPECT_TRUE(waitFor([&] { return w.isNull() && explorer.isNull(); }));
}
