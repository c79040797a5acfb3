#include "tools/ui/DeviceRequest.h"

#include "platform/ui/UiThread.h"

namespace sorvane {

DeviceRequest::DeviceRequest(QObject* parent) : QObject(parent)
{
    limit_.setSingleShot(true);
    connect(&limit_, &QTimer::timeout, this, [this] {
        if (cancel_)
            cancel_();
        finish(false, tr("The device did not answer within 5 seconds."));
    });
}

DeviceRequest::~DeviceRequest()
{
    if (busy_ && cancel_)
        cancel_();
}

void DeviceRequest::start(DeviceToolsPort& port, JobKind kind, Work work)
{
    busy_ = true;
    port_ = &port;
    const unsigned generation = ++generation_;
    limit_.start(kLimitMs);
    std::shared_ptr<Job> job = port.post<bool>(
        kind,
        [work = std::move(work)](JobContext& context, std::string& error) -> std::optional<bool> {
            if (!work(context.channel(), error))
                return std::nullopt;
            return true;
        },
        OnUiThread(this, [this, generation](JobResult<bool> result) {
            if (generation == generation_ && busy_)
                finish(result.value.has_value(), QString::fromStdString(result.error));
        }));
    cancel_ = [job] { job->cancel(); };
}

void DeviceRequest::finish(bool served, const QString& error)
{
    busy_ = false;
    reconnecting_ = !served && port_ && port_->reconnecting();
    limit_.stop();
    cancel_ = nullptr;
    emit ended(served, error);
}

} // namespace sorvane
