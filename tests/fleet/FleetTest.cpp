// Thirty-three simulated handhelds connected at once, on a real X server (xvfb-run,
// 1920 x 1080): what the screen shows of each device is its simulator's own picture
// scaled by nearest-neighbour sampling, compared by Pillow; closing a device window,
// losing a device and disconnecting one leave the rest live.

#include <QDeadlineTimer>
#include <QProcess>
#include <QScreen>
#include <QTest>

#include "FleetRig.h"
#include "ShellHarness.h"
#include "app/DeviceTile.h"
#include "app/DevicesWindow.h"
#include "support/QtTestClasses.h"

namespace sorvane::test {

class FleetTest : public QObject {
    Q_OBJECT
private slots:
    void thirtyThreeDevicesAtOnce();
};

namespace {

// Pillow's verdict on every shown picture: "" when each equals its dump, else its lines.
QString pillowVerdict(const TempDir& dir, const QString& listing)
{
    writeFile(dir / "tiles.txt", listing.toStdString());
    QProcess python;
    python.start(qEnvironmentVariable("SORVANE_PYTHON"),
                 {SORVANE_TILE_ORACLE, QString::fromStdString((dir / "tiles.txt").string())});
    if (!python.waitForFinished(60000))
        return "the oracle did not finish";
    const QString out = QString::fromUtf8(python.readAllStandardOutput() + python.readAllStandardError());
    return python.exitStatus() == QProcess::NormalExit && python.exitCode() == 0 ? QString() : out + "(failed)";
}

} // namespace

void FleetTest::thirtyThreeDevicesAtOnce()
{
    ShellHarness h;
    std::vector<std::unique_ptr<FleetDevice>> fleet = startFleet(33);
    for (const auto& d : fleet)
        h.addProfile(d->name, LinkKind::Wan, d->address, 0, 1, 5);
    for (int i = 0; i < 33; ++i) {
        h.connect(i);
        QVERIFY2(h.windowOf(i), fleet[size_t(i)]->name.c_str());
    }
    Program& program = h.shell->program();
    QCOMPARE(int(program.liveSlots().size()), 33);
    for (const auto& d : fleet)
        QVERIFY2(stillPictureSent(*d->sim, kFleetStillAfter), d->name.c_str());

    DevicesWindow* grid = h.shell->showDevicesWindow();
    grid->setGeometry(grid->screen()->availableGeometry());
    grid->raise();
    QTRY_COMPARE(int(grid->shownTiles().size()), 33);

    // Every tile's picture as the X server shows it, beside its simulator's dump.
    TempDir shots;
    auto tilesShowTheirDevices = [&](int except) {
        // Until the X server has every last paint, or for 10 s.
        QString verdict = "not compared";
        for (QDeadlineTimer deadline(10000); !verdict.isEmpty() && !deadline.hasExpired();) {
            QTest::qWait(200);
            QString listing;
            for (DeviceTile* tile : grid->shownTiles()) {
                if (tile->slot() == except)
                    continue;
                const FleetDevice& d = *fleet[size_t(h.shell->connectionWindows().profileOf(tile->slot()))];
                const QRect r = tile->pictureRect();
                const QPoint at = tile->mapToGlobal(r.topLeft());
                const QImage shown = grid->screen()->grabWindow(0, at.x(), at.y(), r.width(), r.height()).toImage();
                const std::string png = (shots / (d.name + ".png")).string();
                if (!shown.save(QString::fromStdString(png)))
                    return QString("cannot save ") + png.c_str();
                listing += QString::fromStdString((d.dumps / "main.ppm").string() + "\t" + png + "\t") +
                           QString::number(tile->fitted().factor) + "\n";
            }
            verdict = pillowVerdict(shots, listing);
        }
        return verdict;
    };
    QString verdict = tilesShowTheirDevices(-1);
    QVERIFY2(verdict.isEmpty(), qPrintable(verdict));

    // A device window closed, a device gone, a device disconnected: the rest stay live.
    const int closed = h.windowOf(0)->slot(), lost = h.windowOf(1)->slot(), ended = h.windowOf(2)->slot();
    h.windowOf(0)->close();
    QTRY_VERIFY(!h.shell->deviceWindow(closed));
    QVERIFY(program.device(closed)); // its tile keeps it
    fleet[1]->sim.reset();
    grid->tileCommand(grid->tile(ended), cmd::DisconnectDevice);
    QTRY_VERIFY(!program.device(ended));
    QTRY_COMPARE(program.device(lost)->state(), DeviceState::Reconnecting);
    QTRY_COMPARE(int(grid->shownTiles().size()), 32);
    QCOMPARE(int(program.liveSlots().size()), 32);
    for (int slot : program.liveSlots())
        if (slot != lost)
            QCOMPARE(program.device(slot)->state(), DeviceState::Live);
    QTRY_VERIFY(grid->tile(lost)->statusText().startsWith("reconnecting"));
    verdict = tilesShowTheirDevices(lost);
    QVERIFY2(verdict.isEmpty(), qPrintable(verdict));
}

} // namespace sorvane::test

int main(int argc, char** argv)
{
    return sorvane::test::RunQtTestClasses(argc, argv, {[]() -> QObject* { return new sorvane::test::FleetTest; }});
}

#include "FleetTest.moc"
