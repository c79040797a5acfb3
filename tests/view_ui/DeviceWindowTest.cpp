// The device window against sorvane-sim: title, picture at every scale and rotation
// compared with the simulator's own dump of its screen, fitting, the toolbar, and the
// ways a window and its connection end.

#include <csignal>
#include <thread>

#include <QAction>
#include <QComboBox>
#include <QScreen>
#include <QTest>

#include "ShellHarness.h"
#include "ViewUiTests.h"
#include "platform/ui/CommandActions.h"
#include "view/CommandTable.h"
#include "app/StatusWindow.h"
#include "screen/ViewBitmaps.h"
#include "view/ui/PicturePainter.h"

namespace sorvane::test {

class DeviceWindowTest : public QObject {
    Q_OBJECT
private slots:
    void windowShowsTheDevicePictureAtEveryScaleAndRotation();
    void secondDisplayAndMinimised();
    void toolbarMenuAndCommands();
    void windowAndLinkEndTogether();
    void windowOpensWhollyOnTheScreen();
    void aViewRepaintsWhatChangedSharplyAtAnyPixelRatio();
};

namespace {

// A view of its own, as any widget can be: it takes the connection's changes through
// ViewDamage, paints by the rule, and records what it painted.
struct RecordingView final : QWidget, ConnectionView {
    RecordingView(ScreenState& s, ViewGeometry g) : screen(s), geometry(g) { setAttribute(Qt::WA_OpaquePaintEvent); }
    void invalidate(const DeviceRect& r) override
    {
        if (damage.add(r))
            QMetaObject::invokeMethod(this, [this] { damage.repaint(*this, geometry, DisplayInUse(screen)); });
    }
    void repaintAll() override {}
    bool hidden() const override { return false; }
    void paintEvent(QPaintEvent* e) override
    {
        painted += e->region();
        QPainter painter(this);
        for (const QRect& r : e->region())
            PaintPicture(painter, r, screen, geometry);
    }
    ScreenState& screen;
    ViewGeometry geometry;
    ViewDamage damage;
    QRegion painted;
};

} // namespace

void DeviceWindowTest::windowShowsTheDevicePictureAtEveryScaleAndRotation()
{
    ShellHarness h;
    TempDir dumps;
    // An 8-bit device: the picture goes through its palette.
    LoopbackSim sim = startLoopbackSim({"--depth", "8", "--width", "200", "--height", "160", "--picture", "synthetic",
                                        "--still-after", "3", "--dump-dir", dumps.path().string()});
    DeviceWindow* w = h.connectNew("Desk handheld", LinkKind::Wan, sim.address, 0, 2);
    QVERIFY(w);
    QVERIFY(w->isVisible());
    QVERIFY(stillPictureSent(*sim.process, 3));

    const auto dump = dumps / "main.ppm";
    QTRY_VERIFY_WITH_TIMEOUT(pictureMatchesDump(*w, dump, 0, 2), 20000);
    QCOMPARE(w->client()->size(), QSize(400, 320 + w->toolbarHeight()));

    w->command(40076); // Rotate 90
    QCOMPARE(w->client()->size(), QSize(320, 400 + w->toolbarHeight()));
    QTRY_VERIFY_WITH_TIMEOUT(pictureMatchesDump(*w, dump, 90, 2), 30000);

    w->command(40078); // Rotate 270
    w->command(40068); // 4X
    QTRY_VERIFY_WITH_TIMEOUT(pictureMatchesDump(*w, dump, 270, 4), 30000);
    // "Rotate 90 degrees" after 270 is 0 again.
    w->command(40033);
    QCOMPARE(w->geometry().rotation, 0);
    w->command(40077); // Rotate 180
    w->command(40067); // 3X
    QTRY_VERIFY_WITH_TIMEOUT(pictureMatchesDump(*w, dump, 180, 3), 30000);
    QVERIFY(w->action(40067)->isChecked());
    QVERIFY(w->action(40077)->isChecked());
    // Low colour mode exists only for 16-bit devices; there is no second display.
    QVERIFY(!w->isCommandEnabled(cmd::ToggleLowColor));
    QVERIFY(!w->isCommandEnabled(40093));
    w->command(40093);
    QCOMPARE(w->view().screen.flipState.load(), 0);
}

// The window fits the picture times the scale plus the toolbar (the sizes themselves:
// tests/view ViewGeometry): flipped to the second display it fits that one; minimised,
// the screen polls slow down.
void DeviceWindowTest::secondDisplayAndMinimised()
{
    ShellHarness h;
    LoopbackSim sim = startLoopbackSim({"--second", "16:320x240:0"});
    DeviceWindow* w = h.connectNew("Fit", LinkKind::Wan, sim.address, 0, 3);
    QVERIFY(w);
    w->command(40067); // the test screen is small: the window opened at a scale that fits it
    const int g = w->toolbarHeight();
    QVERIFY(w->isCommandEnabled(40093));
    w->command(40093);
    QCOMPARE(w->client()->size(), QSize(960, 720 + g));
    w->command(40093);
    QCOMPARE(w->client()->size(), QSize(720, 960 + g));

    w->showMinimized();
    QTRY_VERIFY(w->view().screen.minimized.load());
    w->showNormal();
    QTRY_VERIFY(!w->view().screen.minimized.load());
}

void DeviceWindowTest::toolbarMenuAndCommands()
{
    ShellHarness h;
    LoopbackSim sim = startLoopbackSim({"--name", "Tools"});
    const int index = h.addProfile("Menu", LinkKind::Wan, sim.address);
    h.connect(index);
    DeviceWindow* w = h.windowOf(index);
    QVERIFY(w);

    // Every key of the command table is taken: the window's own by the window, the
    // program's by the main window's accelerators.
    for (const CommandRow& row : command_rows::kDeviceCommands) {
        QWidget* holder = row.reach == KeyReach::Window ? static_cast<QWidget*>(w) : h.shell->mainWindow();
        bool taken = row.key.empty();
        for (QAction* a : holder->findChildren<QAction*>(QString::number(row.id)))
            taken = taken || (a->shortcut() == CommandKeys(row) && a->shortcut() != QKeySequence());
        QVERIFY2(taken, row.key.data());
    }

    // Low colour mode (enabled for a 16-bit device) toggles, asks for a refresh and polls the 16-colour picture.
    QVERIFY(w->isCommandEnabled(cmd::ToggleLowColor));
    w->command(cmd::ToggleLowColor);
    QCOMPARE(w->view().screen.lowColor.load(), 1);
    QVERIFY(!nextLine(*sim.process, {"command 81"}).empty());
    QVERIFY(!nextLine(*sim.process, {"command 83"}).empty());
    w->command(cmd::ToggleLowColor);
    QCOMPARE(w->view().screen.lowColor.load(), 0);

    // Connection Status opens one status window; a second command brings it forward.
    w->command(cmd::ConnectionStatus);
    QPointer<QWidget> status = w->statusWindow();
    QVERIFY(status);
    QCOMPARE(status->windowTitle(), QStringLiteral("Status - Tools"));
    w->command(cmd::ConnectionStatus);
    QCOMPARE(w->statusWindow().data(), status.data());

    // Configure changes this connection only: a new scale refits the window at once,
    // the profile keeps its own.
    std::unique_ptr<QTimer> configure(whenModal<QDialog>([](QDialog& d) { return d.findChild<QComboBox*>("1052"); },
                                                         [](QDialog& d) {
                                                             d.findChild<QComboBox*>("1052")->setCurrentIndex(1);
                                                             d.accept();
                                                         }));
    w->command(cmd::DefaultSettings);
    QCOMPARE(w->geometry().scale, 2);
    QCOMPARE(w->client()->size(), QSize(480, 640 + w->toolbarHeight()));
    QCOMPARE(h.shell->profiles().get(index)->scale, 1);

    // Soft Reset reaches the device; Exit closes this window only, its status window
    // with it.
    w->command(40061);
    QVERIFY(!nextLine(*sim.process, {"command 116"}).empty());
    QPointer<DeviceWindow> guard(w);
    w->command(cmd::Exit);
    QTRY_VERIFY(guard.isNull());
    QTRY_VERIFY(status.isNull());
    QVERIFY(h.shell->mainWindow()->isVisible());
}

// Closing the window frees its slot for the next connection; the device closing the
// link closes the window, and ends its open Configure dialog first.
void DeviceWindowTest::windowAndLinkEndTogether()
{
    ShellHarness h;
    h.shell->mainWindow()->findChild<QAction*>("reconnectOnDrop")->setChecked(false);
    LoopbackSim sim = startLoopbackSim({});
    const int index = h.addProfile("Closer", LinkKind::Wan, sim.address);
    h.connect(index);
    QPointer<DeviceWindow> w = h.windowOf(index);
    QVERIFY(w);
    const int slot = w->slot();
    w->close();
    QTRY_VERIFY(w.isNull());
    QCOMPARE(h.statusOf(index), QStringLiteral("Idle"));
    h.connect(index);
    w = h.windowOf(index);
    QVERIFY(w);
    QCOMPARE(w->slot(), slot); // the freed slot, as the lowest free one (its transport: tests/view Connection)

    sim.process->signal(SIGTERM);
    QTRY_VERIFY_WITH_TIMEOUT(w.isNull(), 20000);
    QVERIFY(!h.shell->links().taken(slot));
    QCOMPARE(h.statusOf(index), QStringLiteral("Idle"));

    LoopbackSim other = startLoopbackSim({});
    const int second = h.addProfile("Configured", LinkKind::Wan, other.address);
    h.connect(second);
    QPointer<DeviceWindow> configured = h.windowOf(second);
    QVERIFY(configured);
    QTimer::singleShot(0, [&] { other.process->signal(SIGTERM); });
    configured->command(cmd::DefaultSettings); // returns when the dialog has been ended
    QTRY_VERIFY_WITH_TIMEOUT(configured.isNull(), 20000);
    QCOMPARE(h.shell->links().liveConnections.load(), 0u);
}

void DeviceWindowTest::windowOpensWhollyOnTheScreen()
{
    // The main window near the screen's right edge leaves less room on its right than
    // a device at 2x needs.
    ShellHarness h;
    LoopbackSim sim = startLoopbackSim({"--width", "200", "--height", "160"});
    QWidget* main = h.shell->mainWindow();
    main->show();
    const QRect area = main->screen()->availableGeometry();
    main->move(area.right() - main->frameGeometry().width() - 20, area.top() + 10);
    DeviceWindow* w = h.connectNew("Wide", LinkKind::Wan, sim.address, 0, 2);
    QVERIFY(w);
    QCOMPARE(w->client()->width(), 400);
    const QRect frame = w->frameGeometry();
    QVERIFY2(area.contains(frame), qPrintable(QStringLiteral("%1,%2 %3x%4").arg(frame.x()).arg(frame.y())
                                                  .arg(frame.width()).arg(frame.height())));
}

// Changes reported on the connection's thread repaint their own areas, scaled and turned,
// each apart from the others. Painted at a pixel ratio, a repaint of any part equals the
// whole painted at once; at a whole number of physical pixels per device pixel the picture
// equals Qt's own turned and pixel-repeated one; at 1.25 no pixel is a blend of two.
void DeviceWindowTest::aViewRepaintsWhatChangedSharplyAtAnyPixelRatio()
{
    ScreenState screen; // 8 bits, 120 x 88, pixel (x, y) of value x + 3y and 256 colours
    screen.facts = DisplayFacts{8, 120, 88, 0};
    QVERIFY(BuildViewBitmaps(screen.bitmaps, screen.facts, screen.palette));
    Picture& p = screen.bitmaps.dib;
    QImage indexed(p.bits.data(), p.width, p.height, int(p.stride), QImage::Format_Indexed8);
    for (int i = 0; i < 256; ++i) {
        std::copy_n(std::array<uint8_t, 3>{uint8_t(i * 7), uint8_t(255 - i), uint8_t(i)}.data(), 3, &p.colours[4 * i]);
        indexed.setColor(i, qRgb(i, 255 - i, uint8_t(i * 7)));
    }
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x)
            p.row(y)[x] = uint8_t(x + 3 * y);
    const struct {
        ViewGeometry g;
        std::vector<DeviceRect> changes;
        QRegion painted;
        double ratio;
    } rows[] = {
        {{2, 0, 0, 0, 0}, {{40, 8, 72, 40}}, QRect(80, 16, 64, 64), 1.5},
        {{2, 90, 0, 0, 10}, {{0, 0, 32, 32}}, QRect(2 * (88 - 32), 10, 64, 64), 2},
        {{1, 180, 0, 0, 0}, {{0, 0, 4, 4}, {100, 80, 120, 88}}, QRegion(116, 84, 4, 4) + QRect(0, 0, 20, 8), 1.25},
        {{3, 270, 0, 0, 0}, {{0, 0, 2, 2}, {1, 1, 3, 3}}, QRect(0, 3 * 117, 9, 9), 1},
    };
    for (const auto& row : rows) {
        RecordingView view(screen, row.g);
        view.resize(400, 400);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QTRY_VERIFY(!view.painted.isEmpty());
        view.painted = {};
        std::thread([&] {
            for (const DeviceRect& c : row.changes)
                view.invalidate(c);
        }).join();
        QTRY_VERIFY(!view.painted.isEmpty());
        QTest::qWait(20);
        QCOMPARE(view.painted, row.painted);

        const int k = int(row.g.scale * row.ratio);
        const QImage turned =
            indexed.transformed(QTransform().rotate(row.g.rotation)).convertToFormat(QImage::Format_RGB32);
        QImage whole(turned.size() * (row.g.scale * row.ratio), QImage::Format_RGB32);
        whole.setDevicePixelRatio(row.ratio);
        view.geometry.toolbarHeight = 0;
        const auto paint = [&](const QRect& part) {
            QPainter painter(&whole);
            painter.setClipRect(part); // as a widget's exposed area clips its painter
            painter.fillRect(part, Qt::red);
            PaintPicture(painter, part, screen, view.geometry);
        };
        paint(QRect(0, 0, 1000, 1000));
        QImage expected = k == row.g.scale * row.ratio ? turned.scaled(turned.size() * k) : whole.copy();
        expected.setDevicePixelRatio(row.ratio);
        const QList<QRgb> colours = indexed.colorTable();
        for (int y = 0; y < whole.height(); ++y)
            for (int x = 0; x < whole.width(); ++x)
                QVERIFY(colours.contains(whole.pixel(x, y)));
        for (const QRect& part : {QRect(7, 5, 13, 9), QRect(33, 1, 1, 31), QRect(1, 1, 5, 5)})
            paint(part);
        QCOMPARE(whole, expected);
    }
}

QObject* makeDeviceWindowTest() { return new DeviceWindowTest; }

} // namespace sorvane::test

#include "DeviceWindowTest.moc"
