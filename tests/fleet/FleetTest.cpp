// Thirty-three simulated handhelds connected at once, on a real X server (xvfb-run,
// 1920 x 1080): what the screen shows of each device is its simulator's own picture
// scaled by nearest-neighbour sampling, compared by Pillow; closing a device window,
// losing a device and disconnecting one leave the rest live.

#include <QProcess>
#include <QScreen>
#include <QTest>

#include "FleetRig.h"
#include "ShellHarness.h"
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
    QCOMPARE(int(h.shell->program().liveSlots().size()), 33);
    for (const auto& d : fleet)
        QVERIFY2(stillPictureSent(*d->sim, kFleetStillAfter), d->name.c_str());

    // Every picture as the screen shows it, beside its simulator's dump.
    TempDir shots;
    QString verdict = "not compared";
    for (int round = 0; round < 20 && !verdict.isEmpty(); ++round, QTest::qWait(500)) {
        QString listing;
        for (int i = 0; i < 33; ++i) {
            const FleetDevice& d = *fleet[size_t(i)];
            DeviceWindow* w = h.windowOf(i);
            w->raise();
            QTest::qWait(20);
            const QPoint at = w->client()->mapToGlobal(QPoint(0, w->toolbarHeight()));
            const QSize size = QSize(d.format.width, d.format.height);
            QImage shown = w->screen()->grabWindow(0, at.x(), at.y(), size.width(), size.height()).toImage();
            const std::string png = (shots / (d.name + ".png")).string();
            QVERIFY(shown.save(QString::fromStdString(png)));
            listing += QString::fromStdString((d.dumps / "main.ppm").string() + "\t" + png + "\t1\n");
        }
        verdict = pillowVerdict(shots, listing);
    }
    QVERIFY2(verdict.isEmpty(), qPrintable(verdict));
}

} // namespace sorvane::test

int main(int argc, char** argv)
{
    return sorvane::test::RunQtTestClasses(argc, argv, {[]() -> QObject* { return new sorvane::test::FleetTest; }});
}

#include "FleetTest.moc"
