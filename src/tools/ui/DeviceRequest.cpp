#include "tools/ui/DeviceRequest.h"

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

void DeviceRequest::start(DeviceToolsPort& port, ToolsJob kind, DeviceToolsPort::Work work)
{
    busy_ = true;
    port_ = &port;
    const unsigned generation = ++generation_;
    limit_.start(kLimitMs);
    cancel_ = port.post(this, kind, std::move(work), [this, generation](bool served, const std::string& error) {
        if (generation == generation_ && busy_)
            finish(served, QString::fromStdString(error));
    });
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
