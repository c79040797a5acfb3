#pragma once
// The file explorer's jobs on its device window's connection: listings, delete,
// rename and transfers are posted as typed jobs (JobKind ListDirectory, Delete,
// Rename, ReceiveFiles, SendFiles) and run on the connection's thread; run and open
// messages go out with the connection's input. A finished transfer holds the screen
// polling until the explorer has had its result (transferSettled), as a transfer
// leaves the connection waiting for the explorer.
//
// Thread: user-interface thread; the work runs on the connection thread. The window
// is watched: once it has gone, jobs end unrun.

#include <QPointer>

#include "files/ui/DeviceFileService.h"

namespace sorvane {

class DeviceWindow;

class ExplorerJobs final : public LinkJobRunner {
public:
    explicit ExplorerJobs(DeviceWindow& window) : window_(&window) {}

    void post(Kind kind, Work work, std::function<void(bool ran)> ended) override;
    void sendMessage(std::vector<uint8_t> message) override;
    bool compresses() const override;
    void transferSettled() override;
    bool reconnecting() const override;

private:
    QPointer<DeviceWindow> window_;
};

} // namespace sorvane
