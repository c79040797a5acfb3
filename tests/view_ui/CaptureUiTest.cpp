// Capture and AVI commands of a device window connected to sorvane-sim: the
// clipboard gets the packed bitmap of the picture, a typed name and the chosen filter
// decide the file, one-click captures land in RECORDED_DATA (PNG when chosen), a
// failed capture is reported; AVI recording's dialogs, the ".avi" rule and the
// "only one recording" rule.

#include <QClipboard>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QMimeData>
#include <QTest>

#include <fstream>

#include "ShellHarness.h"
#include "ViewUiTests.h"
#include "capture/ClipboardBitmap.h"
#include "capture/StillCapture.h"
#include "support/SimProcess.h"

namespace sorvane::test {

namespace {

// The first n bytes of a file.
std::string head(const std::filesystem::path& p, size_t n) { return readFile(p).substr(0, n); }

// Empty when the AVI reader written from the format's documentation (and ffprobe) accept
// the file: every chunk, size and index whole; else what they said.
std::string aviFaults(const std::filesystem::path& p)
{
    const ProcessResult r = runProcess({programFromEnv("SORVANE_PYTHON"), SORVANE_AVI_ORACLE, "layout", p.string()},
                                       std::chrono::seconds(60));
    return r.exitCode == 0 ? std::string() : r.out + r.err;
}

std::vector<std::filesystem::path> filesIn(const std::filesystem::path& dir)
{
    std::vector<std::filesystem::path> out;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(dir, ec))
        out.push_back(e.path());
    std::sort(out.begin(), out.end());
    return out;
}

// Answers the next compressor dialog: Motion JPEG or full frames, or cancel.
QTimer* answerCompressor(int codec, bool accept)
{
    return whenModal<QDialog>([](QDialog& d) { return d.objectName() == "AVICOMPRESSOR"; }, [=](QDialog& d) {
        d.findChild<QComboBox*>("codec")->setCurrentIndex(codec);
        accept ? d.accept() : d.reject();
    });
}

} // namespace

class CaptureUiTest : public QObject {
    Q_OBJECT
private slots:
    void clipboardFileAndOneClick();
    void aviDialogsAndOneRecordingAtATime();
};

void CaptureUiTest::clipboardFileAndOneClick()
{
    ShellHarness h;
    LoopbackSim sim = startLoopbackSim({"--still-after", "2"});
    DeviceWindow* w = h.connectNew("Cap", LinkKind::Wan, sim.address);
    QVERIFY(w);
    ImageRecord pic;
    QTRY_VERIFY_WITH_TIMEOUT(w->view().screen.updateCounter.load() > 3, 20000);
    QVERIFY(CapturePicture(w->view().screen, pic));

    w->command(40070);
    const QMimeData* data = QApplication::clipboard()->mimeData();
    QVERIFY(data);
    const std::vector<uint8_t> bmp = BmpFileOfPackedBitmap(PackedBitmap(pic));
    QCOMPARE(data->data(QStringLiteral("image/bmp")),
             QByteArray(reinterpret_cast<const char*>(bmp.data()), qsizetype(bmp.size())));
    QCOMPARE(QApplication::clipboard()->image().size(), QSize(240, 320));

    h.ui.files.answers = {(h.dir / "shot").string()};
    h.ui.files.filters = {2}; // GIF
    w->command(40071);
    QCOMPARE(head(h.dir / "shot.GIF", 4), std::string("GIF8"));

    const std::filesystem::path recorded = h.dir / "home" / "RECORDED_DATA";
    w->view().clickFormat = 3;
    w->command(40072);
    h.shell->platformSettings().ClickPng = 1;
    w->command(40072);
    const auto made = filesIn(recorded);
    QCOMPARE(int(made.size()), 2);
    QCOMPARE(head(made[0], 3), std::string("\xFF\xD8\xFF")); // the earlier name, or ".JPG" < ".PNG"
    QCOMPARE(head(made[1], 4), std::string("\x89PNG"));
    const size_t messages = h.ui.messages.shown.size();
    std::filesystem::remove_all(recorded);
    std::ofstream(recorded) << "a file where the folder should be";
    w->command(40072);
    QCOMPARE(h.ui.messages.shown.size(), messages + 1);
    QCOMPARE(h.ui.messages.shown.back().caption, std::string("Capture"));
}

void CaptureUiTest::aviDialogsAndOneRecordingAtATime()
{
    ShellHarness h;
    LoopbackSim one = startLoopbackSim({});
    LoopbackSim two = startLoopbackSim({});
    const int a = h.addProfile("One", LinkKind::Wan, one.address);
    const int b = h.addProfile("Two", LinkKind::Wan, two.address);
    h.connect(a);
    h.connect(b);
    DeviceWindow* wa = h.windowOf(a);
    DeviceWindow* wb = h.windowOf(b);
    QVERIFY(wa && wb);
    QTRY_VERIFY_WITH_TIMEOUT(wa->view().screen.updateCounter.load() > 1, 20000);
    wa->view().recordingMethod = 1;
    wb->view().recordingMethod = 1;
    const std::filesystem::path dir = h.dir / "videos";
    std::filesystem::create_directories(dir);

    // Cancelling the save dialog, then the compressor: no file, not recording.
    h.ui.files.answers = {std::nullopt, (dir / "gone").string()};
    wa->command(40009);
    QCOMPARE(wa->view().recordState.load(), RecordState::Stopped);
    std::unique_ptr<QTimer> answer(answerCompressor(0, false));
    wa->command(40009);
    QCOMPARE(wa->view().recordState.load(), RecordState::Stopped);
    QVERIFY(filesIn(dir).empty());
    QCOMPARE(h.ui.files.requests.back().filters[0].description, std::string("AVI Files"));

    // "clip" is recorded as clip.avi: No to replacing it keeps it.
    std::ofstream(dir / "clip.avi", std::ios::binary) << "kept";
    h.ui.files.answers = {(dir / "clip").string(), (dir / "clip").string()};
    h.ui.messages.answers = {MessageResult::No, MessageResult::Yes};
    wa->command(40009);
    QCOMPARE(h.ui.messages.shown.back().text, std::string("clip.avi already exists.\nDo you want to replace it?"));
    QCOMPARE(head(dir / "clip.avi", 100), std::string("kept"));
    QCOMPARE(wa->view().recordState.load(), RecordState::Stopped);
    const QString title = wa->windowTitle();
    answer.reset(answerCompressor(0, true));
    wa->command(40009);
    QCOMPARE(wa->view().recordState.load(), RecordState::Recording);
    QCOMPARE(wa->windowTitle(), QStringLiteral("Sorvane Sim Recording..."));
    QTRY_VERIFY(wa->statusLine()->toolTip().startsWith(QStringLiteral("recording video 0:")));
    wa->command(devcmd::StatusLine); // hidden, and remembered
    QCOMPARE(h.shell->platformSettings().StatusLine, 0);
    QVERIFY(h.shell->aviRecording().active());
    const size_t asked = h.ui.files.requests.size();
    wb->command(40009);
    QCOMPARE(h.ui.messages.shown.back().text, std::string("Only one AVI file can be recorded at a time"));
    QCOMPARE(h.ui.messages.shown.back().caption, std::string("Error"));
    QCOMPARE(h.ui.files.requests.size(), asked);
    QCOMPARE(wb->view().recordState.load(), RecordState::Idle);
    // The connection hands the recording a frame after every poll.
    QTRY_VERIFY_WITH_TIMEOUT(std::filesystem::file_size(dir / "clip.avi") > 224 + 3 * 240 * 320 * 3, 20000);
    wa->command(40011);
    QCOMPARE(wa->view().recordState.load(), RecordState::Stopped);
    QCOMPARE(wa->windowTitle(), title);
    QVERIFY(!h.shell->aviRecording().active());
    QCOMPARE(aviFaults(dir / "clip.avi"), std::string());

    h.ui.files.answers = {(dir / "CLIP.AVI").string()};
    answer.reset(answerCompressor(1, true));
    wb->command(40009);
    QCOMPARE(h.shell->aviRecording().slot(), wb->slot());
    wb->close(); // the window goes while it records: the file is closed whole
    QTRY_VERIFY_WITH_TIMEOUT(!h.shell->aviRecording().active(), 10000);
    QCOMPARE(filesIn(dir).size(), size_t(2));
    QCOMPARE(aviFaults(dir / "CLIP.AVI"), std::string());
}

QObject* makeCaptureUiTest() { return new CaptureUiTest; }

} // namespace sorvane::test

#include "CaptureUiTest.moc"
