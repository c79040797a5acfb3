#include "tools/ui/CopyFromDevice.h"

#include <memory>

#include <QClipboard>
#include <QGuiApplication>

#include "tools/DeviceExchanges.h"
#include "tools/DeviceText.h"

namespace sorvane {

void CopyFromDevice(DeviceToolsPort& port, QObject* receiver, std::function<void(const CopyOutcome&)> done)
{
    struct Reply {
        ExchangeStatus status = ExchangeStatus::NoReply;
        std::string text;
    };
    auto reply = std::make_shared<Reply>();
    port.post(
        receiver, ToolsJob::ClipboardText,
        [reply](LinkChannel& channel, std::string& error) {
            reply->status = ReadDeviceClipboard(channel, reply->text);
            if (reply->status != ExchangeStatus::Served)
                error = ExchangeStatusName(reply->status);
            return reply->status == ExchangeStatus::Served;
        },
        [reply, done = std::move(done)](bool served, const std::string&) {
            CopyOutcome outcome;
            if (served && reply->status == ExchangeStatus::Served && reply->text.empty()) {
                outcome.kind = CopyOutcome::Kind::Empty;
            } else if (served && reply->status == ExchangeStatus::Served) {
                outcome.kind = CopyOutcome::Kind::Copied;
                outcome.text = QString::fromStdString(FromDeviceText(reply->text));
                outcome.text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
                QGuiApplication::clipboard()->setText(outcome.text);
            } else if (reply->status == ExchangeStatus::BadReply) {
                outcome.kind = CopyOutcome::Kind::Refused;
            }
            done(outcome);
        });
}

} // namespace sorvane
