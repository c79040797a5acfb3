// Skins in the device window: the case shown when the window opens, its buttons and
// the picture inside it operating the simulated device, and a skin that cannot load.

#include <fstream>

#include <QTest>

#include "ShellHarness.h"
#include "capture/ui/ShutterPlayer.h"
#include "screen/ShownPicture.h"
#include "ViewUiTests.h"

namespace sorvane::test {

class SkinWindowTest : public QObject {
    Q_OBJECT
private slots:
    void buttonsAndPictureInsideTheTurnedCase();
    void missingImageIsReportedAndToggleBeeps();
};

void SkinWindowTest::buttonsAndPictureInsideTheTurnedCase()
{
    ShellHarness h;
    std::filesystem::copy(SORVANE_SKIN_DIR, h.dir / "home", std::filesystem::copy_options::recursive);
    // A small Enter button over the middle of the Calendar button.
    std::string ini = readFile(h.dir / "home" / "SKINS.INI");
    ini.insert(ini.find('\n', ini.find("[hotspots0]")) + 1, "X20=40\r\nY20=428\r\nCX20=8\r\nCY20=8\r\nKEY20=13\r\n");
    writeFile(h.dir / "home" / "SKINS.INI", ini);
    LoopbackSim sim = startLoopbackSim({});
    DeviceWindow* w = h.connectNew("Skin", LinkKind::Wan, sim.address, 0, 2, 10, 1);
    QVERIFY(w);
    QTRY_VERIFY(w->skin().shown);
    const int g = w->toolbarHeight();
    QCOMPARE(w->client()->size(), QSize(600, 960 + g));
    const uint32_t keysBefore = w->connection().counts().keyPresses;

    // The Calendar button (0xC1, centre (42, 432) of the case) and Enter over it: both keys, two clicks.
    const int clicksBefore = h.shell->clickPlayer().played();
    QTest::mouseClick(w->client(), Qt::LeftButton, {}, QPoint(84, 864 + g));
    for (uint8_t key : {0xC1, 0x0D}) {
        QCOMPARE(nextInput(*sim.process), input('V', key, 0));
        QCOMPARE(nextInput(*sim.process), input('W', key, 0));
    }
    QCOMPARE(nextInput(*sim.process), input('V', 0x5B, 0));
    QCOMPARE(w->connection().counts().keyPresses - keysBefore, 1u);
    QCOMPARE(h.shell->clickPlayer().played() - clicksBefore, 2);

    // Turned by 270 the case is 480 x 300; OK (Enter) sits at (432, 299 - 150) and
    // device pixel (17, 5) at (skinY + 5, skinX + 239 - 17) with the picture at (56, 30)
    // (the turned painting itself: tests/view SkinGeometry). The window paints the
    // picture there.
    w->command(40078);
    QCOMPARE(w->client()->size(), QSize(960, 600 + g));
    auto devicePixel = [&](int x, int y) {
        std::lock_guard lock(w->view().screen.pictureMutex);
        const Picture* p = ShownPicture(w->view().screen);
        const Rgb c = p ? p->colourOf(p->pixel(x, y)) : Rgb{};
        return qRgb(c.r, c.g, c.b);
    };
    QTRY_COMPARE(w->client()->grab(QRect(122, 504 + g, 1, 1)).toImage().pixel(0, 0), devicePixel(17, 5));
    QTest::mouseClick(w->client(), Qt::RightButton, {}, QPoint(864, 298 + g));
    QCOMPARE(nextInput(*sim.process), input('V', 0x0D, 0));
    QCOMPARE(nextInput(*sim.process), input('W', 0x0D, 0));
    // A double click there is two presses of OK (press, release, double click, release).
    QTest::mouseClick(w->client(), Qt::LeftButton, {}, QPoint(864, 298 + g));
    QTest::mouseDClick(w->client(), Qt::LeftButton, {}, QPoint(864, 298 + g));
    QTest::mouseRelease(w->client(), Qt::LeftButton, {}, QPoint(864, 298 + g));
    for (int i = 0; i < 4; ++i)
        QCOMPARE(nextInput(*sim.process), input(i % 2 ? 'W' : 'V', 0x0D, 0));
    QTest::mouseClick(w->client(), Qt::LeftButton, {}, QPoint((56 + 5) * 2, (30 + 239 - 17) * 2 + g));
    QCOMPARE(nextInput(*sim.process), input('T', 17, 5));

    // Toggle Skin takes the case away: the window fits the turned picture again.
    w->command(40007);
    QCOMPARE(w->client()->size(), QSize(640, 480 + g));
    QCOMPARE(h.ui.beep.count, 0);
}

void SkinWindowTest::missingImageIsReportedAndToggleBeeps()
{
    ShellHarness h;
    std::filesystem::create_directories(h.dir / "home");
    std::ofstream(h.dir / "home" / "SKINS.INI") << "[SKINS]\nskin0=Gone\n[skin0]\nImage=gone.png\n";
    LoopbackSim sim = startLoopbackSim({});
    DeviceWindow* w = h.connectNew("Skin", LinkKind::Wan, sim.address, 0, 2, 10, 1);
    QVERIFY(w);
    QTRY_COMPARE(h.ui.messages.shown.size(), size_t(1));
    QCOMPARE(h.ui.messages.shown[0].text, "Error loading skin bitmaps\n\n" + (h.dir / "home" / "gone.png").string() +
                                              ": No such file or directory");
    QCOMPARE(h.ui.messages.shown[0].caption, std::string("KWX"));
    QCOMPARE(h.ui.beep.count, 1);
    QCOMPARE(w->client()->size(), QSize(480, 640 + w->toolbarHeight()));
    w->command(40007);
    QCOMPARE(h.ui.beep.count, 2);
    QVERIFY(!w->skin().shown);
}

QObject* makeSkinWindowTest() { return new SkinWindowTest; }

} // namespace sorvane::test

#include "SkinWindowTest.moc"
