#include "capture/ui/CaptureCommands.h"

#include <QApplication>
#include <QClipboard>
#include <QImage>
#include <QMimeData>

#include "capture/ClipboardBitmap.h"
#include "capture/StillCapture.h"
#include "imaging/ImageRecord.h"
#include "program/Device.h"
#include "view/ui/DeviceWindow.h"

namespace sorvane {

namespace {

constexpr const char* kCaption = "Capture";

void report(const CaptureUiContext& c, const std::string& text)
{
    c.messages.show(MessageRequest{text, kCaption, MessageIcon::Error, MessageButtons::Ok});
}

std::string reasonOf(int result)
{
    switch (result) {
    case kImageCannotCreate:
        return "the file cannot be created or written";
    case kImageNoMemory:
        return "there is not enough memory";
    default:
        return "the image library refused the picture (" + std::to_string(result) + ")";
    }
}

// The save dialog's filters, in the order of CaptureFormat.
std::vector<FileFilter> saveFilters()
{
    return {{"Windows BMP", {"*.BMP"}},
            {"Windows BMP 24bpp", {"*.BMP"}},
            {"GIF", {"*.GIF"}},
            {"JPEG JFIF", {"*.JPG"}},
            {"PNG", {"*.PNG"}}};
}

bool captureToFile(const ImageRecord& picture, const CaptureUiContext& c)
{
    FileDialogRequest request;
    request.title = "Capture to File";
    request.filters = saveFilters();
    std::optional<SavedFile> saved = c.files.saveFileAs(request);
    if (!saved || saved->path.empty())
        return false;
    const int filter = std::clamp(saved->filter, 0, 4);
    const CaptureTarget target = ResolveCaptureTarget(saved->path, CaptureFormat(filter + 1));
    // The dialog asked about the name as typed; a name that gained an extension may
    // now be another file that exists.
    std::error_code ec;
    if (target.path != std::filesystem::path(saved->path) && std::filesystem::exists(target.path, ec)) {
        MessageResult answer = c.messages.show(
            MessageRequest{target.path.filename().string() + " already exists.\nDo you want to replace it?", kCaption,
                           MessageIcon::Warning, MessageButtons::YesNo});
        if (answer != MessageResult::Yes)
            return false;
    }
    const int r = WriteCapture(picture, target.path, target.format);
    if (r != kImageOk) {
        report(c, "The screen could not be saved as " + target.path.string() + ": " + reasonOf(r) + ".");
        return false;
    }
    return true;
}

bool captureOneClick(const ImageRecord& picture, const ViewRecord& view, const CaptureUiContext& c)
{
    const std::time_t now = c.utcNow ? c.utcNow() : std::time(nullptr);
    std::filesystem::path written;
    const int r = WriteOneClickCapture(picture, c.programDir, now,
                                       oneClickFormat(view.clickFormat, c.platform.ClickPng == 1), written);
    if (r != kImageOk) {
        report(c, "The screen could not be saved in " + (c.programDir / "RECORDED_DATA").string() + ": " +
                      reasonOf(r) + ".");
        return false;
    }
    return true;
}

} // namespace

bool OfferPictureToClipboard(const ImageRecord& picture)
{
    const std::vector<uint8_t> packed = PackedBitmap(picture);
    const std::vector<uint8_t> file = BmpFileOfPackedBitmap(packed);
    if (file.empty())
        return false;
    const QByteArray bytes(reinterpret_cast<const char*>(file.data()), qsizetype(file.size()));
    QImage image;
    if (!image.loadFromData(bytes, "BMP"))
        return false;
    QClipboard* clipboard = QApplication::clipboard();
    if (!clipboard)
        return false;
    auto* data = new QMimeData;
    data->setData(QStringLiteral("image/bmp"), bytes);
    data->setImageData(image);
    clipboard->setMimeData(data);
    return true;
}

bool CaptureScreen(Device& device, CaptureMode mode, const CaptureUiContext& c)
{
    if (mode != CaptureMode::File && c.playShutter)
        c.playShutter();
    ImageRecord picture;
    if (!CapturePicture(device.view().screen, picture)) {
        report(c, "There is no picture of the device to capture yet.");
        return false;
    }
    switch (mode) {
    case CaptureMode::File:
        return captureToFile(picture, c);
    case CaptureMode::OneClick:
        return captureOneClick(picture, device.view(), c);
    case CaptureMode::Clipboard:
        if (!OfferPictureToClipboard(picture)) {
            report(c, "The screen could not be placed on the clipboard.");
            return false;
        }
        return true;
    }
    return false;
}

void AddCaptureCommands(DeviceWindowServices& services, std::shared_ptr<const CaptureUiContext> context)
{
    auto add = [&](int id, std::optional<CaptureMode> mode) {
        services.commands[id] = [context, mode](DeviceWindow& w) {
            const int own = w.device().view().captureMode;
            CaptureScreen(w.device(), mode ? *mode : CaptureMode(own >= 0 && own <= 2 ? own : 0), *context);
        };
    };
    add(devcmd::CaptureScreendump, std::nullopt);
    add(devcmd::CaptureClipboard, CaptureMode::Clipboard);
    add(devcmd::CaptureFile, CaptureMode::File);
    add(devcmd::CaptureOneClick, CaptureMode::OneClick);
}

} // namespace sorvane
