#include "tools/ui/CopyFromDevice.h"

#include <memory>

#include <QClipboard>
#include <QGuiApplication>

#include "platform/ui/UiThread.h"
#include "tools/DeviceExchanges.h"
#include "tools/DeviceText.h"

namespace sorvane {

void CopyFromDevice(DeviceToolsPort& port, QObject* receiver, std::function<void(const CopyOutcome&)> done)
{
    // The device's answer: its text, or a length it cannot mean (BadReply).
    struct Reply {
        ExchangeStatus status = ExchangeStatus::NoReply;
        std::string text;
    };
    port.post<Reply>(
        JobKind::ClipboardText,
        [](JobContext& context, std::string& error) -> std::optional<Reply> {
            Reply reply;
            reply.status = ReadDeviceClipboard(context.channel(), reply.text);
            if (reply.status == ExchangeStatus::NoReply) {
                error = ExchangeStatusName(reply.status);
                return std::nullopt;
            }
            return reply;
        },
        OnUiThread(receiver, [done = std::move(done)](JobResult<Reply> result) {
            CopyOutcome outcome;
            if (!result.value) {
                outcome.kind = CopyOutcome::Kind::NoReply;
            } else if (result.value->status == ExchangeStatus::BadReply) {
                outcome.kind = CopyOutcome::Kind::Refused;
            } else if (result.value->text.empty()) {
                outcome.kind = CopyOutcome::Kind::Empty;
            } else {
                outcome.kind = CopyOutcome::Kind::Copied;
                outcome.text = QString::fromStdString(FromDeviceText(result.value->text));
                outcome.text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
                QGuiApplication::clipboard()->setText(outcome.text);
            }
            done(outcome);
        }));
}

} // namespace sorvane
