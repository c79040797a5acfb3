#include "app/DeviceToolsServices.h"

#include <memory>

#include <QClipboard>
#include <QDropEvent>
#include <QGuiApplication>
#include <QMimeData>
#include <QPointer>

#include "link/LinkChannel.h"
#include "program/Device.h"
#include "tools/ui/CopyFromDevice.h"
#include "tools/ui/DeviceCommands.h"
#include "tools/ui/DeviceInfoDialog.h"
#include "tools/ui/DeviceToolsPort.h"
#include "tools/ui/ProcessInfoDialog.h"
#include "tools/ui/TypeTextDialog.h"
#include "view/CommandIds.h"
#include "view/Connection.h"

namespace sorvane {
namespace {

// While the link is being made again a message would be lost without a word: the
// command is refused and the user told why.
bool RefusedWhileReconnecting(DeviceWindow& w, MessageBoxPort& messages, const std::string& what, const char* caption)
{
    if (!w.device().connection().reconnecting())
        return false;
    messages.show(MessageRequest{ReconnectingRefusal(what), caption, MessageIcon::Warning, MessageButtons::Ok});
    return true;
}

// The port over a device's connection, hung on the device (it ends with it): exchanges
// are its jobs, run on its thread in place of screen polls; messages go through its
// input sender, in order with input. Keys a tool typed are the window's to record.
class ConnectionToolsPort final : public DeviceAdapter, public DeviceToolsPort {
public:
    ConnectionToolsPort(Device& device, DeviceWindow& window, InputMessageTap tap = {})
        : window_(window), connection_(device.connection()), memory_(device.toolsMemory()), tap_(std::move(tap))
    {
    }

    void submit(const std::shared_ptr<Job>& job) override { connection_.submit(job); }

    void sendMessage(std::vector<uint8_t> bytes) override { connection_.sendMessage(std::move(bytes)); }
    void sendInputMessage(std::vector<uint8_t> bytes) override
    {
        if (!tap_) {
            connection_.sendMessage(std::move(bytes));
            return;
        }
        connection_.sendMessage(bytes);
        tap_(window_, bytes);
    }
    std::shared_ptr<DeviceToolsMemory> memory() override { return memory_; }
    bool reconnecting() const override { return connection_.reconnecting(); }
    void keysTyped(const std::vector<InputPacket>& packets) override { window_.noteTypedKeys(packets); }

private:
    DeviceWindow& window_; // closes the device as it goes, so outlives the port
    Connection& connection_;
    std::shared_ptr<DeviceToolsMemory> memory_;
    InputMessageTap tap_;
};

// Text dropped onto a device window's picture is typed on the device.
class TextDrop final : public QObject {
public:
    TextDrop(DeviceWindow& window, MessageBoxPort& messages) : QObject(&window), window_(window), messages_(messages)
    {
    }

protected:
    bool eventFilter(QObject*, QEvent* e) override
    {
        if (e->type() == QEvent::DragEnter || e->type() == QEvent::DragMove) {
            auto* d = static_cast<QDropEvent*>(e);
            if (d->mimeData()->hasText()) {
                d->acceptProposedAction();
                return true;
            }
            return false;
        }
        if (e->type() != QEvent::Drop)
            return false;
        auto* d = static_cast<QDropEvent*>(e);
        if (!d->mimeData()->hasText())
            return false;
        d->acceptProposedAction();
        if (RefusedWhileReconnecting(window_, messages_, "Nothing was typed", "Type text"))
            return true;
        const QString missing = TypeOnDevice(DeviceToolsPortOf(window_), d->mimeData()->text());
        if (!missing.isEmpty())
            messages_.show(MessageRequest{
                "No key of the device's keyboard types these characters, so nothing was sent: " + missing.toStdString(),
                "Type text", MessageIcon::Warning, MessageButtons::Ok});
        return true;
    }

private:
    DeviceWindow& window_;
    MessageBoxPort& messages_;
};

DeviceFacts factsOf(DeviceWindow& window)
{
    const Connection& c = window.device().connection();
    const DisplayGeometry d = c.display();
    return DeviceFacts{c.deviceName(), d.width, d.height, d.depth};
}

} // namespace

DeviceToolsPort& DeviceToolsPortOf(DeviceWindow& window)
{
    Device& device = window.device();
    if (auto* port = device.adapter<ConnectionToolsPort>())
        return *port;
    return device.hang(std::make_unique<ConnectionToolsPort>(device, window));
}

void AddDeviceToolsServices(DeviceWindowServices& services, MessageBoxPort& messages, TypeTextChoice* typeChoice)
{
    services.commands[devcmd::DeviceInfo] = [](DeviceWindow& w) {
        DeviceInfoDialog dialog(DeviceToolsPortOf(w), factsOf(w), &w);
        dialog.exec();
    };
    services.commands[devcmd::ProcessInfo] = [](DeviceWindow& w) {
        ProcessInfoDialog dialog(DeviceToolsPortOf(w), &w);
        dialog.exec();
    };
    services.commands[devcmd::PasteToDevice] = [&messages](DeviceWindow& w) {
        if (RefusedWhileReconnecting(w, messages, "Nothing was pasted", "Paste to device"))
            return;
        const PasteOutcome outcome = PasteToDevice(DeviceToolsPortOf(w), QGuiApplication::clipboard()->mimeData());
        const QString note = PasteNote(outcome);
        if (outcome.kind == PasteOutcome::Kind::TooLong)
            messages.show(MessageRequest{note.toStdString(), "Paste to device", MessageIcon::Warning, MessageButtons::Ok});
        else
            ShowDeviceNote(&w, note);
    };
    services.commands[devcmd::CopyFromDevice] = [&messages](DeviceWindow& w) {
        QPointer<DeviceWindow> window(&w);
        CopyFromDevice(DeviceToolsPortOf(w), &w, [window, &messages](const CopyOutcome& outcome) {
            if (!window)
                return;
            switch (outcome.kind) {
            case CopyOutcome::Kind::Copied: break;
            case CopyOutcome::Kind::Empty:
                ShowDeviceNote(window, QObject::tr("The device's clipboard is empty; the PC's clipboard is unchanged."));
                break;
            case CopyOutcome::Kind::NoReply:
                ShowDeviceNote(window, window->device().connection().reconnecting()
                                           ? QObject::tr("The device is reconnecting; nothing was copied.")
                                           : QObject::tr("The device did not answer."));
                break;
            case CopyOutcome::Kind::Refused:
                // A length the device cannot mean: what followed it was read past, and the
                // picture starts again from a refresh in case the link was out of step.
                messages.show(MessageRequest{"The device announced more than 1 MiB of clipboard text, which is "
                                             "not a length it can mean. Nothing was copied; the display is "
                                             "refreshed.",
                                             "Copy from device", MessageIcon::Error, MessageButtons::Ok});
                if (window)
                    window->device().connection().requestRefresh();
                break;
            }
        });
    };
    services.commands[devcmd::TypeText] = [&messages, typeChoice](DeviceWindow& w) {
        if (RefusedWhileReconnecting(w, messages, "Nothing was typed", "Type text"))
            return;
        TypeTextDialog dialog(DeviceToolsPortOf(w), &w, typeChoice);
        dialog.exec();
    };
    services.commands[devcmd::SoftReset] = [&messages](DeviceWindow& w) {
        if (!RefusedWhileReconnecting(w, messages, "The soft reset was not sent", "Soft Reset"))
            SoftResetDevice(DeviceToolsPortOf(w));
    };
    services.commands[devcmd::Suspend] = [](DeviceWindow& w) {
        w.device().connection().endReconnects(); // the device goes away on purpose
        QPointer<DeviceWindow> window(&w);
        SuspendDevice(DeviceToolsPortOf(w), &w, [window] {
            if (window)
                window->close();
        });
    };
}

void AddDeviceToolsToWindow(DeviceWindow& window, MessageBoxPort& messages, InputMessageTap tap)
{
    Device& device = window.device();
    device.hang(std::make_unique<ConnectionToolsPort>(device, window, std::move(tap)));
    if (QWidget* client = window.client()) {
        client->setAcceptDrops(true);
        client->installEventFilter(new TextDrop(window, messages));
    }
}

} // namespace sorvane
