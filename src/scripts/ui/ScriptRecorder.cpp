#include "scripts/ui/ScriptRecorder.h"

#include <QVariant>

#include <filesystem>

#include "program/Device.h"
#include "scripts/CheckPictures.h"
#include "view/ui/DeviceWindow.h"
#include "view/ViewRecord.h"

namespace sorvane {
namespace {

constexpr char kTitleProperty[] = "sorvaneTitleBeforeRecording";

bool recordsVideo(Device& d) { return d.view().recordingMethod == 1; }

} // namespace

ScriptRecorder::ScriptRecorder(MessageBoxPort& messages, FileDialogPort& files, std::string recordedDataDir)
    : messages_(messages), files_(files), recordedDataDir_(std::move(recordedDataDir))
{
}

ScriptRecorder::Change ScriptRecorder::startRecording(Device& d)
{
    if (recordsVideo(d))
        return Change::None;
    std::atomic<RecordState>& state = d.view().recordState;
    if (state.load() == RecordState::Recording) {
        if (events_.empty())
            return Change::None;
        const MessageResult r = messages_.show(
            {"Restart recording (lose captured events) ?", "Record", MessageIcon::Question, MessageButtons::YesNo});
        if (r == MessageResult::Yes) {
            events_.clear(); // the start tick stays
            checks_.clear();
        }
        return Change::None;
    }
    events_.start(clock_.tickCount());
    checks_.clear();
    // Recording also ends a playback on this connection.
    state = RecordState::Recording;
    return Change::Started;
}

ScriptRecorder::Change ScriptRecorder::stopRecording(Device& d)
{
    // A video device's own recording is the video recorder's; a scenario playing on it
    // ends here as on any other device.
    const RecordState old = d.view().recordState.exchange(RecordState::Stopped);
    if (old == RecordState::Recording && !recordsVideo(d))
        save();
    return old == RecordState::Recording || old == RecordState::Playing ? Change::Ended : Change::None;
}

void ScriptRecorder::inputSent(Device& d, const InputPacket& packet)
{
    if (d.view().recordState.load() != RecordState::Recording || recordsVideo(d))
        return;
    events_.record(std::span<const uint8_t, 8>(packet.data(), 8), clock_.tickCount());
}

void ScriptRecorder::checkpoint(Device& d, const CheckpointRegion& region)
{
    if (d.view().recordState.load() != RecordState::Recording || recordsVideo(d) || region.picture.empty())
        return;
    ScriptCheck check;
    check.kind = region.waits ? CheckKind::WaitScreen : CheckKind::CheckScreen;
    check.hasRegion = true;
    check.x = region.rect.left;
    check.y = region.rect.top;
    check.w = region.picture.width;
    check.h = region.picture.height;
    check.picture = std::make_shared<const RgbPicture>(region.picture);
    if (events_.recordCheck(uint32_t(checks_.size()), clock_.tickCount()))
        checks_.push_back(std::move(check));
}

void ScriptRecorder::closing(Device& d)
{
    if (d.view().recordState.load() != RecordState::Recording || recordsVideo(d))
        return;
    const MessageResult r = messages_.show(
        {"Save the recorded data collected so far?", "K_WX", MessageIcon::Question, MessageButtons::YesNo});
    if (r == MessageResult::Yes)
        save();
}

void ShowRecordingChange(DeviceWindow& w, ScriptRecorder::Change change)
{
    switch (change) {
    case ScriptRecorder::Change::None:
        return;
    case ScriptRecorder::Change::Started:
        if (!w.property(kTitleProperty).isValid())
            w.setProperty(kTitleProperty, w.windowTitle());
        w.setWindowTitle(w.deviceName() + QStringLiteral(" Recording..."));
        return;
    case ScriptRecorder::Change::Ended: {
        const QVariant title = w.property(kTitleProperty);
        if (title.isValid())
            w.setWindowTitle(title.toString());
        w.setProperty(kTitleProperty, QVariant());
        return;
    }
    }
}

void ScriptRecorder::save()
{
    FileDialogRequest request;
    request.initialDirectory = recordedDataDir_;
    request.filters = {FileFilter{"Recorded Files", {"*.TXT"}}};
    const std::optional<std::string> chosen = files_.saveFile(request);
    if (!chosen)
        return; // the events stay until the next Start Recording
    // The dialog asked about the name as typed; one that gains ".txt" may be another
    // file that exists.
    const std::string target = RecordingPath(*chosen);
    std::error_code ec;
    if (target != *chosen && std::filesystem::exists(target, ec) &&
        messages_.show({std::filesystem::path(target).filename().string() +
                            " already exists.\nDo you want to replace it?",
                        "Record", MessageIcon::Warning, MessageButtons::YesNo}) != MessageResult::Yes)
        return;
    std::string written, error;
    // The pictures first, so that the script never names one that is not there.
    const std::filesystem::path folder = std::filesystem::path(target).parent_path();
    size_t saved = 0;
    for (; saved < checks_.size(); ++saved) {
        ScriptCheck& c = checks_[saved];
        c.file = CheckpointFileName(target, int(saved) + 1);
        if (!SaveRgbPicture(folder / c.file, *c.picture, error)) {
            error = (folder / c.file).string() + ": " + error;
            break;
        }
    }
    if (saved < checks_.size() || !SaveRecording(*chosen, events_.events(), written, error, checks_)) {
        // No picture of this save is left without its script.
        for (size_t i = 0; i < saved; ++i)
            std::filesystem::remove(folder / checks_[i].file, ec);
        messages_.show({error, "Record", MessageIcon::Error, MessageButtons::Ok});
        return;
    }
    if (events_.overflowed())
        messages_.show({"The recording was full: only its first 10000 events were saved.", "Record",
                        MessageIcon::Warning, MessageButtons::Ok});
}

std::string CheckpointFileName(const std::string& scriptPath, int n)
{
    // A script line holds at most 127 characters of a name, never "..".
    std::string stem = std::filesystem::path(scriptPath).stem().string().substr(0, 96);
    for (size_t i = 0; i < stem.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(stem[i]);
        const bool safe = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' ||
                          c == '-' || (c == '.' && (i == 0 || stem[i - 1] != '.'));
        if (!safe)
            stem[i] = '_';
    }
    return stem + "-check-" + std::to_string(n) + ".png";
}

} // namespace sorvane
