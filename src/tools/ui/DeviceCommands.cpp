#include "tools/ui/DeviceCommands.h"

#include <memory>

#include <QMimeData>
#include <QStatusBar>
#include <QTimer>
#include <QToolTip>
#include <QWidget>

#include "link/LinkChannel.h"
#include "platform/ui/UiThread.h"
#include "tools/DeviceExchanges.h"
#include "tools/DeviceText.h"

namespace sorvane {

PasteOutcome PasteToDevice(DeviceToolsPort& port, const QMimeData* clipboard)
{
    PasteOutcome outcome;
    if (!clipboard || !clipboard->hasText())
        return outcome;
    const QByteArray utf8 = clipboard->text().toUtf8();
    const DeviceTextResult text = ToDeviceText(std::string_view(utf8.constData(), size_t(utf8.size())));
    outcome.bytes = text.bytes.size();
    outcome.unmappable = text.unmappable;
    if (text.bytes.size() > kPasteTextLimit) {
        outcome.kind = PasteOutcome::Kind::TooLong;
        return outcome;
    }
    port.sendInputMessage(PasteMessage(text.bytes));
    outcome.kind = PasteOutcome::Kind::Sent;
    return outcome;
}

QString PasteNote(const PasteOutcome& o)
{
    switch (o.kind) {
    case PasteOutcome::Kind::NoText: return {};
    case PasteOutcome::Kind::TooLong:
        return QObject::tr("The clipboard text is too long to paste to the device (%1 bytes; at most %2).")
            .arg(qulonglong(o.bytes))
            .arg(kPasteTextLimit);
    case PasteOutcome::Kind::Sent:
        if (o.unmappable == 0)
            return {};
        return o.unmappable == 1
                   ? QObject::tr("Pasted; 1 character the device cannot show was sent as '?'.")
                   : QObject::tr("Pasted; %1 characters the device cannot show were sent as '?'.").arg(o.unmappable);
    }
    return {};
}

std::string ReconnectingRefusal(const std::string& what)
{
    return what + ": the device is reconnecting. Try again once its picture is back.";
}

void SoftResetDevice(DeviceToolsPort& port) { port.sendMessage(SoftResetMessage()); }

void SuspendDevice(DeviceToolsPort& port, QObject* receiver, std::function<void()> close)
{
    // The window closes once 'u' has gone out: closing first could end the link
    // before the message leaves.
    auto once = std::make_shared<std::function<void()>>(std::move(close));
    auto run = [once] {
        if (*once) {
            auto f = std::move(*once);
            *once = nullptr;
            f();
        }
    };
    port.post<bool>(
        JobKind::Custom,
        [](JobContext& context, std::string&) {
            const std::vector<uint8_t> m = SuspendMessage();
            context.channel().send(m.data(), m.size());
            return std::optional<bool>(true);
        },
        OnUiThread(receiver, [run](JobResult<bool>) { run(); }));
    QTimer::singleShot(5000, receiver, run);
}

void ShowDeviceNote(QWidget* window, const QString& text)
{
    if (!window || text.isEmpty())
        return;
    if (auto* bar = window->findChild<QStatusBar*>()) {
        bar->showMessage(text, 8000);
        return;
    }
    QToolTip::showText(window->mapToGlobal(QPoint(8, window->height() - 8)), text, window, QRect(), 8000);
}

} // namespace sorvane
