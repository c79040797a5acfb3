// The Devices window against sorvane-sim on loopback: which devices live on when their
// window closes, Disconnect, the order, filter and selection of the tiles, and a tile's
// pixels beside the simulator's own dump of its screen.

#include <QAction>
#include <QMenu>
#include <QTest>

#include "AppTests.h"
#include "ShellHarness.h"
#include "app/DeviceTile.h"
#include "app/DevicesWindow.h"
#include "view/CommandIds.h"

namespace sorvane::test {

namespace {

void menuCommand(DevicesWindow& grid, DeviceTile* tile, int id)
{
    std::unique_ptr<QMenu> menu(grid.makeTileMenu(tile));
    menu->findChild<QAction*>(QString::number(id))->trigger();
}

} // namespace

class DevicesWindowTest : public QObject {
    Q_OBJECT
private slots:
    void devicesOutliveTheirWindowsWhileTheGridIsOpen();
    void orderFilterAndSelection();
    void aTileShowsTheDevicePictureAtItsFactor();
};

// Grid closed: closing a device window ends the device. Grid open: the device stays in
// its tile, a double click brings its window back on the same device, Disconnect (tile
// menu or the window's menu) ends it; closing the grid gives kept devices their windows.
void DevicesWindowTest::devicesOutliveTheirWindowsWhileTheGridIsOpen()
{
    ShellHarness h;
    LoopbackSim a = startLoopbackSim({"--name", "Alpha"}), b = startLoopbackSim({"--name", "Bravo"});
    Program& program = h.shell->program();
    QPointer<DeviceWindow> wa = h.connectNew("A", LinkKind::Wan, a.address);
    QVERIFY(wa && h.connectNew("B", LinkKind::Wan, b.address));
    const int slotA = wa->slot();
    wa->close();
    QTRY_VERIFY(!program.device(slotA));
    QCOMPARE(h.statusOf(0), QStringLiteral("Idle"));

    DevicesWindow* grid = h.shell->showDevicesWindow();
    QCOMPARE(h.shell->platformSettings().DevicesWindow, 1);
    h.connect(0);
    wa = h.windowOf(0);
    QVERIFY(wa);
    QTRY_COMPARE(grid->shownSlots().size(), size_t(2));
    Device* kept = &wa->device();
    const uint64_t serial = kept->serial();
    wa->close();
    QTRY_VERIFY(wa.isNull());
    QVERIFY(h.shell->connectionWindows().isWindowless(slotA));
    QCOMPARE(h.statusOf(0), QStringLiteral("In Use"));
    QCOMPARE(program.device(slotA), kept);
    const uint64_t received = kept->connection().figures().bytesReceived;
    QTRY_VERIFY_WITH_TIMEOUT(kept->connection().figures().bytesReceived > received, 20000); // still polled

    DeviceTile* tile = grid->tile(slotA);
    QVERIFY(tile && tile->live());
    QTest::mouseDClick(tile, Qt::LeftButton, {}, tile->rect().center());
    wa = h.shell->deviceWindow(slotA);
    QVERIFY(wa && &wa->device() == kept && kept->serial() == serial);
    QCOMPARE(kept->state(), DeviceState::Live);

    menuCommand(*grid, tile, cmd::DisconnectDevice);
    QTRY_VERIFY(!program.device(slotA));
    QTRY_COMPARE(grid->shownSlots().size(), size_t(1));
    DeviceWindow* wb = h.windowOf(1);
    const int slotB = wb->slot();
    wb->command(cmd::DisconnectDevice);
    QTRY_VERIFY(!program.device(slotB));
    QTRY_VERIFY(grid->shownSlots().empty());

    // Closed with a device kept: its window comes back, the device never ended.
    wa = h.connectNew("A2", LinkKind::Wan, a.address);
    kept = &wa->device();
    wa->close();
    QTRY_VERIFY(wa.isNull());
    grid->close();
    QTRY_VERIFY(h.shell->deviceWindow(kept->slot()));
    QCOMPARE(&h.shell->deviceWindow(kept->slot())->device(), kept);
    QCOMPARE(h.shell->platformSettings().DevicesWindow, 0);
}

// Tiles in profile order whatever order they connected in; a device whose profile is
// deleted goes after them; the filter narrows by device or profile name; click,
// Ctrl+click, Shift+click and Select All select among the tiles shown.
void DevicesWindowTest::orderFilterAndSelection()
{
    ShellHarness h;
    DevicesWindow* grid = h.shell->showDevicesWindow();
    std::vector<LoopbackSim> sims;
    for (const char* name : {"Scanner 1", "Scanner 2", "Till"})
        sims.push_back(startLoopbackSim({"--name", name}));
    for (int i = 0; i < 3; ++i)
        h.addProfile("P" + std::to_string(i), LinkKind::Wan, sims[size_t(i)].address);
    for (int i : {2, 0, 1})
        h.connect(i);
    const auto slotOf = [&](int profile) { return h.windowOf(profile)->slot(); };
    const std::vector<int> byProfile = {slotOf(0), slotOf(1), slotOf(2)};
    QTRY_VERIFY(grid->shownSlots() == byProfile);
    h.shell->profiles().DeleteProfile(0); // as Delete does to a profile in use
    h.shell->connectionWindows().profileDeleted(0);
    QTRY_VERIFY((grid->shownSlots() == std::vector{byProfile[1], byProfile[2], byProfile[0]}));

    grid->setFilter(QStringLiteral("scanner"));
    QVERIFY((grid->shownSlots() == std::vector{byProfile[1], byProfile[0]}));
    grid->setFilter(QStringLiteral("P2")); // a profile's name
    QVERIFY(grid->shownSlots() == std::vector{byProfile[2]});
    grid->setFilter({});

    const std::vector<DeviceTile*> t = grid->shownTiles();
    grid->clickTile(t[0], Qt::NoModifier);
    grid->clickTile(t[2], Qt::ShiftModifier);
    QCOMPARE(grid->selectedSlots().size(), size_t(3));
    grid->clickTile(t[1], Qt::ControlModifier);
    QVERIFY((grid->selectedSlots() == std::vector{t[0]->slot(), t[2]->slot()}));
    grid->clickTile(t[1], Qt::NoModifier);
    QVERIFY(grid->selectedSlots() == std::vector{t[1]->slot()});
    grid->setFilter(QStringLiteral("Scanner 1"));
    grid->selectAll();
    grid->setFilter({});
    QVERIFY((grid->selectedSlots() == std::vector{t[1]->slot(), t[2]->slot()}));
}

// A tile whose room takes the device twice over shows each device pixel as 2 x 2 of its
// own, equal to the simulator's dump scaled by Qt's pixel repetition.
void DevicesWindowTest::aTileShowsTheDevicePictureAtItsFactor()
{
    ShellHarness h;
    TempDir dumps;
    LoopbackSim sim = startLoopbackSim({"--depth", "8", "--width", "200", "--height", "160", "--picture", "synthetic",
                                        "--still-after", "3", "--dump-dir", dumps.path().string()});
    DeviceWindow* w = h.connectNew("Tile", LinkKind::Wan, sim.address);
    QVERIFY(w);
    DevicesWindow* grid = h.shell->showDevicesWindow();
    grid->resize(520, 480);
    QVERIFY(stillPictureSent(*sim.process, 3));
    DeviceTile* tile = grid->tile(w->slot());
    QTRY_COMPARE(tile->fitted().factor, 2);
    QImage expected;
    const auto matches = [&] {
        if (!expected.load(QString::fromStdString((dumps / "main.ppm").string()), "PPM"))
            return false;
        expected = expected.convertToFormat(QImage::Format_RGB32).scaled(400, 320);
        return tile->grab(tile->pictureRect()).toImage().convertToFormat(QImage::Format_RGB32) == expected;
    };
    QTRY_VERIFY_WITH_TIMEOUT(matches(), 20000);
}

QObject* makeDevicesWindowTest() { return new DevicesWindowTest; }

} // namespace sorvane::test

#include "DevicesWindowTest.moc"
