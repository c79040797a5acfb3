#include "files/ui/DeviceFileService.h"

#include <QCoreApplication>

#include "platform/ui/UiThread.h"
#include "view/Connection.h"

namespace sorvane {
namespace {

// A job that never ran because the link is being made again says so.
void markReconnecting(DeviceListing& r) { r.status = DeviceFileStatus::Reconnecting; }
void markReconnecting(DeviceFileStatus& r) { r = DeviceFileStatus::Reconnecting; }
void markReconnecting(TransferReport&) {}

// Posts the work as a job of `kind`; `done` gets its result on the user-interface
// thread while `receiver` is there: what the work gave, or `failed` when it did not
// run (no connection any more: at once).
template <class Result>
void Post(Connection* connection, const QPointer<QObject>& owner, JobKind kind, QObject* receiver,
          typename TypedJob<Result>::Work work, Result failed, std::function<void(Result)> done)
{
    auto deliver = OnUiThread(receiver, [connection, owner, failed = std::move(failed),
                                         done = std::move(done)](JobResult<Result> r) {
        Result result = r.value ? std::move(*r.value) : failed;
        if (!r.value && owner && connection->reconnecting())
            markReconnecting(result);
        done(std::move(result));
    });
    if (connection)
        connection->post<Result>(kind, std::move(work), std::move(deliver));
    else
        deliver(JobResult<Result>{JobStatus::Failed, std::nullopt, "the connection has ended"});
}

} // namespace

JobFileService::JobFileService(Connection& connection, QObject& owner) : connection_(connection), owner_(&owner) {}

void JobFileService::list(std::string folder, std::function<void(DeviceListing)> done)
{
    DeviceListing failed;
    failed.status = DeviceFileStatus::NoReply;
    Post<DeviceListing>(
        connection(), owner_, JobKind::ListDirectory, this,
        [folder](JobContext& c, std::string&) { return ListDeviceFolder(c.channel(), folder); }, failed,
        std::move(done));
}

void JobFileService::remove(std::string path, std::function<void(DeviceFileStatus)> done)
{
    Post<DeviceFileStatus>(
        connection(), owner_, JobKind::Delete, this,
        [path](JobContext& c, std::string&) { return DeleteDeviceFile(c.channel(), path); },
        DeviceFileStatus::NoReply, std::move(done));
}

void JobFileService::rename(std::string from, std::string to, std::function<void(DeviceFileStatus)> done)
{
    Post<DeviceFileStatus>(
        connection(), owner_, JobKind::Rename, this,
        [from, to](JobContext& c, std::string&) { return RenameDeviceFile(c.channel(), from, to); },
        DeviceFileStatus::NoReply, std::move(done));
}

void JobFileService::sendMessage(std::vector<uint8_t> message)
{
    if (Connection* c = connection())
        c->sendMessage(std::move(message));
}

namespace {

// The dialog's cancel, or the connection ending.
class StoppableProgress final : public TransferProgress {
public:
    StoppableProgress(TransferState& state, const std::function<bool()>& stopping) : state_(state), stopping_(stopping) {}
    void fileStarted(size_t i, std::string_view name, uint64_t size, uint64_t blocks) override
    {
        state_.fileStarted(i, name, size, blocks);
    }
    void blockMoved(uint64_t next, uint64_t done) override { state_.blockMoved(next, done); }
    bool cancelled() override { return state_.cancelled() || (stopping_ && stopping_()); }

private:
    TransferState& state_;
    const std::function<bool()>& stopping_;
};

} // namespace

void JobFileService::transfer(bool sending, std::vector<TransferFile> files, std::shared_ptr<TransferState> state,
                              std::function<void(TransferReport)> done)
{
    TransferReport failed;
    failed.results.assign(files.size(), FileResult::NotStarted);
    Connection* connection = this->connection();
    // USB links carry the blocks raw.
    const bool compress = !connection || connection->linkKind() != LinkKind::Usb;
    QPointer<JobFileService> self(this);
    QPointer<QObject> owner = owner_;
    // Delivered even when the explorer has gone meanwhile: polling goes on again.
    Post<TransferReport>(
        connection, owner_, sending ? JobKind::SendFiles : JobKind::ReceiveFiles, QCoreApplication::instance(),
        [sending, files = std::move(files), state, compress, connection](JobContext& c, std::string&) mutable {
            const std::function<bool()> stopping = [&c] { return c.cancelled(); };
            StoppableProgress progress(*state, stopping);
            TransferReport report = sending ? SendFiles(c.channel(), files, TransferOptions{compress}, progress)
                                            : ReceiveFiles(c.channel(), files, TransferOptions{compress}, progress);
            connection->holdPolling(true); // until the explorer has the result
            return std::optional<TransferReport>(std::move(report));
        },
        std::move(failed), [self, owner, connection, done = std::move(done)](TransferReport report) {
            if (self && done)
                done(std::move(report));
            if (owner)
                connection->holdPolling(false);
        });
}

} // namespace sorvane
