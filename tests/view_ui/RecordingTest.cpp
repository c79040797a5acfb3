// Recording a device window's input as a script through the program's shell.

#include <QRegularExpression>
#include <QTest>

#include <fstream>

#include "ShellHarness.h"
#include "ViewUiTests.h"

namespace sorvane::test {

class RecordingTest : public QObject {
    Q_OBJECT
private slots:
    void clicksAreSavedAsAScript();
};

void RecordingTest::clicksAreSavedAsAScript()
{
    ShellHarness h;
    LoopbackSim sim = startLoopbackSim({});
    const int index = h.addProfile("Rec", LinkKind::Wan, sim.address);
    h.connect(index);
    QPointer<DeviceWindow> w = h.windowOf(index);
    QVERIFY(w);
    const QString title = w->windowTitle();
    const int g = w->toolbarHeight();
    auto click = [&](int x, int y) { QTest::mouseClick(w->client(), Qt::LeftButton, {}, QPoint(x, g + y)); };
    auto read = [](const std::filesystem::path& p) {
        std::ifstream f(p, std::ios::binary);
        return QString::fromStdString(std::string(std::istreambuf_iterator<char>(f), {}));
    };
    const QRegularExpression clickAt("^MOUSEDOWN,10,20\r\n(SLEEP,\\d+\r\n)?MOUSEUP,10,20\r\n$");

    click(5, 5); // not recorded
    w->command(devcmd::StartRecording);
    QCOMPARE(w->windowTitle(), QStringLiteral("Sorvane Sim Recording..."));
    click(10, 20);
    h.ui.messages.answers = {MessageResult::No}; // Start again: keep the events
    w->command(devcmd::StartRecording);
    QCOMPARE(h.ui.messages.shown.back().text, std::string("Restart recording (lose captured events) ?"));
    h.ui.files.answers = {(h.dir / "macro").string()};
    w->command(devcmd::StopRecording);
    QVERIFY(clickAt.match(read(h.dir / "macro.txt")).hasMatch());
    QCOMPARE(h.ui.files.requests.back().filters.at(0).patterns.at(0), std::string("*.TXT"));
    QCOMPARE(w->windowTitle(), title);

    // Closing while recording asks to save.
    w->command(devcmd::StartRecording);
    click(10, 20);
    h.ui.messages.answers = {MessageResult::Yes};
    h.ui.files.answers = {(h.dir / "closing.scr").string()};
    w->close();
    QTRY_VERIFY(w.isNull());
    QCOMPARE(h.ui.messages.shown.back().text, std::string("Save the recorded data collected so far?"));
    QVERIFY(clickAt.match(read(h.dir / "closing.scr")).hasMatch());
}

QObject* makeRecordingTest() { return new RecordingTest; }

} // namespace sorvane::test

#include "RecordingTest.moc"
