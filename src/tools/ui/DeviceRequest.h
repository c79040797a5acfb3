#pragma once
// One request of a device tools dialog through the connection's thread, bounded as the
// dialogs wait: the answer, or 5 seconds (500 polls of 10 ms) without one, whichever
// comes first. The window thread never blocks meanwhile.
//
// Thread: user-interface thread.

#include <functional>

#include <QObject>
#include <QTimer>

#include "tools/ui/DeviceToolsPort.h"

namespace sorvane {

class LinkChannel;

class DeviceRequest final : public QObject {
    Q_OBJECT
public:
    static constexpr int kLimitMs = 500 * 10;

    explicit DeviceRequest(QObject* parent = nullptr);
    ~DeviceRequest() override;

    bool busy() const { return busy_; }
    // The last request failed because the link is being made again.
    bool reconnecting() const { return reconnecting_; }
    // Runs on the connection's thread; true when served, else a reason in `error`.
    using Work = std::function<bool(LinkChannel& channel, std::string& error)>;

    // Posts the work as a job of `kind`; ended() follows once, with served = false
    // after the limit.
    void start(DeviceToolsPort& port, JobKind kind, Work work);

signals:
    void ended(bool served, const QString& error);

private:
    void finish(bool served, const QString& error);

    QTimer limit_;
    DeviceToolsPort* port_ = nullptr;
    bool reconnecting_ = false;
    std::function<void()> cancel_;
    bool busy_ = false;
    unsigned generation_ = 0;
};

} // namespace sorvane
