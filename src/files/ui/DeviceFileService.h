#pragma once
// The device side of the file explorer: listings, delete, rename and transfers are
// posted as typed jobs (JobKind ListDirectory, Delete, Rename, ReceiveFiles, SendFiles)
// to the device's connection and run on its thread, never on the user-interface
// thread; each result comes back as one queued call on the user-interface thread.
// Run ('Y') and open ('{') are whole messages that expect no reply, sent in order with
// the connection's input. A finished transfer holds the screen polling until the
// explorer has had its result, as a transfer leaves the connection waiting for the
// explorer.
//
// Thread: user-interface thread; the work runs on the connection thread. `owner` is
// the object the connection lives exactly as long as (its device window): once it has
// gone, jobs end unrun.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QObject>
#include <QPointer>

#include "files/DeviceSide.h"

namespace sorvane {

class Connection;

class JobFileService final : public QObject, public DeviceFileService {
    Q_OBJECT
public:
    JobFileService(Connection& connection, QObject& owner);

    void list(std::string folder, std::function<void(DeviceListing)> done) override;
    void remove(std::string path, std::function<void(DeviceFileStatus)> done) override;
    void rename(std::string from, std::string to, std::function<void(DeviceFileStatus)> done) override;
    void transfer(bool sending, std::vector<TransferFile> files, std::shared_ptr<TransferState> state,
                  std::function<void(TransferReport)> done) override;
    void sendMessage(std::vector<uint8_t> message) override;

private:
    // The connection while its owner is there.
    Connection* connection() const { return owner_ ? &connection_ : nullptr; }

    Connection& connection_;
    QPointer<QObject> owner_;
};

} // namespace sorvane
