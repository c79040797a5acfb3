#include "capture/ui/AviCommands.h"

#include <QApplication>
#include <QComboBox>
#include <QCursor>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QSpinBox>
#include <QTimer>
#include <QVariant>

#include "program/Device.h"
#include "view/ViewGeometry.h"
#include "view/ViewRecord.h"
#include "view/ui/DeviceWindow.h"

namespace sorvane {

namespace {

constexpr int kPointerPeriodMs = 30;
constexpr char kTitleProperty[] = "sorvaneTitleBeforeAvi";

} // namespace

CompressorDialog::CompressorDialog(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("AVICOMPRESSOR"));
    setWindowTitle(QStringLiteral("Video Compression"));
    auto* form = new QFormLayout(this);
    codec_ = new QComboBox(this);
    codec_->setObjectName(QStringLiteral("codec"));
    codec_->addItems({QStringLiteral("Full Frames (Uncompressed)"), QStringLiteral("Motion JPEG")});
    quality_ = new QSpinBox(this);
    quality_->setObjectName(QStringLiteral("quality"));
    quality_->setRange(1, 100);
    quality_->setValue(75);
    quality_->setEnabled(false);
    form->addRow(QStringLiteral("Compressor:"), codec_);
    form->addRow(QStringLiteral("Compression quality:"), quality_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    form->addRow(buttons);
    connect(codec_, &QComboBox::currentIndexChanged, this, [this](int i) { quality_->setEnabled(i == 1); });
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

AviOptions CompressorDialog::options() const
{
    AviOptions o;
    o.codec = codec_->currentIndex() == 1 ? AviCodec::Mjpeg : AviCodec::Uncompressed;
    o.quality = quality_->value();
    return o;
}

AviCommands::AviCommands(AviUiContext context, QObject* parent) : QObject(parent), context_(std::move(context))
{
    pointerTimer_ = new QTimer(this);
    pointerTimer_->setInterval(kPointerPeriodMs);
    connect(pointerTimer_, &QTimer::timeout, this, &AviCommands::followPointer);
}

AviCommands::~AviCommands() { finish(false); }

bool AviCommands::startAvi(DeviceWindow& window)
{
    Device& device = window.device();
    ViewRecord& view = device.view();
    auto fail = [&] {
        view.recordState = RecordState::Stopped;
        return false;
    };
    FileDialogRequest request;
    request.title = "Record AVI";
    request.initialDirectory = (context_.programDir / "RECORDED_DATA").string();
    request.filters = {{"AVI Files", {"*.AVI"}}};
    std::optional<std::string> typed = context_.files.saveFile(request);
    if (!typed || typed->empty())
        return fail();
    const std::filesystem::path path = aviFileName(*typed);
    // The dialog asked about the name as typed; one that gains ".avi" may be another
    // file that exists.
    std::error_code ec;
    if (path != std::filesystem::path(*typed) && std::filesystem::exists(path, ec) &&
        context_.messages.show({path.filename().string() + " already exists.\nDo you want to replace it?",
                                "Record AVI", MessageIcon::Warning, MessageButtons::YesNo}) != MessageResult::Yes)
        return fail();
    // The compressor is chosen before the file is made, so a cancel leaves no file.
    std::optional<AviOptions> options;
    if (context_.chooseCompressor) {
        options = context_.chooseCompressor(&window);
    } else {
        CompressorDialog dialog(&window);
        if (dialog.exec() == QDialog::Accepted)
            options = dialog.options();
    }
    if (!options)
        return fail();
    switch (context_.recording.start(device.slot(), path, view.screen, *options, window.showsMouseCursor())) {
    case AviRecording::StartResult::Started:
        break;
    case AviRecording::StartResult::Busy:
        context_.messages.show({"Only one AVI file can be recorded at a time", "Error", MessageIcon::Error,
                                MessageButtons::Ok});
        return fail();
    case AviRecording::StartResult::NoPicture:
        context_.messages.show({"There is no picture of the device to record yet.", "Error", MessageIcon::Error,
                                MessageButtons::Ok});
        return fail();
    case AviRecording::StartResult::CannotCreate:
        context_.messages.show({"The AVI file " + path.string() + " cannot be created.", "Error",
                                MessageIcon::Error, MessageButtons::Ok});
        return fail();
    }
    window_ = &window;
    view.recordState = RecordState::Recording;
    window.setProperty(kTitleProperty, window.windowTitle());
    window.setWindowTitle(window.deviceName() + QStringLiteral(" Recording..."));
    // A window that goes while it records closes its file whole.
    windowGone_ = connect(&window, &QObject::destroyed, this, [this] {
        window_ = nullptr; // no longer a device window: only the recording is left to end
        finish(false);
    });
    pointerTimer_->start();
    followPointer();
    return true;
}

void AviCommands::stopAvi() { finish(true); }

void AviCommands::finish(bool report)
{
    pointerTimer_->stop();
    disconnect(windowGone_);
    if (window_) {
        window_->device().view().recordState = RecordState::Stopped;
        const QVariant title = window_->property(kTitleProperty);
        if (title.isValid())
            window_->setWindowTitle(title.toString());
        window_->setProperty(kTitleProperty, QVariant());
    }
    window_ = nullptr;
    const AviRecording::Summary s = context_.recording.stop();
    if (report && s.wasActive && s.problem != AviStatus::Ok)
        context_.messages.show({"The recording in " + s.path.string() + " ended early: " +
                                    aviStatusName(s.problem) + ". The " + std::to_string(s.frames) +
                                    " frames before were kept.",
                                "Error", MessageIcon::Warning, MessageButtons::Ok});
}

void AviCommands::followPointer()
{
    AviPointer p;
    if (DeviceWindow* w = window_; w && w->isVisible()) {
        const QPoint global = QCursor::pos();
        const QPoint local = w->client()->mapFromGlobal(global);
        QWidget* under = QApplication::widgetAt(global);
        if (w->client()->rect().contains(local) && under && (under == w->client() || w->client()->isAncestorOf(under))) {
            const DisplayFacts& f = w->device().view().screen.facts;
            const DevicePoint d = WindowToDevice(w->geometry(), f.width, f.height, local.x(), local.y());
            p = AviPointer{true, d.x, d.y, (QApplication::mouseButtons() & Qt::LeftButton) != 0};
        }
    }
    context_.recording.setPointer(p);
}

void AviCommands::addTo(DeviceWindowServices& services, std::shared_ptr<AviCommands> commands)
{
    auto previous = [&](int id) {
        auto it = services.commands.find(id);
        return it == services.commands.end() ? std::function<void(DeviceWindow&)>() : it->second;
    };
    auto start = previous(devcmd::StartRecording);
    auto stop = previous(devcmd::StopRecording);
    services.commands[devcmd::StartRecording] = [commands, start](DeviceWindow& w) {
        if (w.device().view().recordingMethod != 1) {
            if (start)
                start(w);
            else
                commands->context_.beep.beep();
            return;
        }
        if (w.device().view().recordState.load() == RecordState::Recording)
            return; // this window records already
        if (commands->context_.recording.active()) {
            commands->context_.messages.show({"Only one AVI file can be recorded at a time", "Error",
                                              MessageIcon::Error, MessageButtons::Ok});
            return;
        }
        commands->startAvi(w);
    };
    services.commands[devcmd::StopRecording] = [commands, stop](DeviceWindow& w) {
        if (commands->window_ == &w) {
            commands->stopAvi();
            return;
        }
        if (stop)
            stop(w);
        else
            commands->context_.beep.beep();
    };
}

} // namespace sorvane
