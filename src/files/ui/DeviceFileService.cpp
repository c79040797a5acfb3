#include "files/ui/DeviceFileService.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QPointer>

namespace sorvane {
namespace {

// A job that never ran because the link is being made again says so.
void markReconnecting(DeviceListing& r) { r.status = DeviceFileStatus::Reconnecting; }
void markReconnecting(DeviceFileStatus& r) { r = DeviceFileStatus::Reconnecting; }
void markReconnecting(TransferReport&) {}

} // namespace

JobFileService::JobFileService(std::shared_ptr<LinkJobRunner> runner, QObject* parent)
    : QObject(parent), runner_(std::move(runner))
{
}

template <class Result>
void JobFileService::run(LinkJobRunner::Kind kind, Result failed,
                         std::function<Result(LinkChannel&, const std::function<bool()>&)> work,
                         std::function<void(Result)> done, std::function<void()> afterDone)
{
    auto result = std::make_shared<Result>(std::move(failed));
    QPointer<JobFileService> self(this);
    std::weak_ptr<LinkJobRunner> runner = runner_;
    runner_->post(
        kind, [result, work = std::move(work)](LinkChannel& c, const std::function<bool()>& stopping) { *result = work(c, stopping); },
        [self, result, runner, done = std::move(done), afterDone = std::move(afterDone)](bool ran) {
            // Called on the link's thread: the result goes to the user-interface thread,
            // where a service already gone drops it (the application object outlives both).
            QMetaObject::invokeMethod(
                qApp,
                [self, result, runner, ran, done, afterDone] {
                    if (auto r = runner.lock(); !ran && r && r->reconnecting())
                        markReconnecting(*result);
                    if (self && done)
                        done(std::move(*result));
                    if (afterDone)
                        afterDone();
                },
                Qt::QueuedConnection);
        });
}

void JobFileService::list(std::string folder, std::function<void(DeviceListing)> done)
{
    DeviceListing failed;
    failed.status = DeviceFileStatus::NoReply;
    run<DeviceListing>(LinkJobRunner::Kind::ListDirectory, failed,
                       [folder](LinkChannel& c, const std::function<bool()>&) { return ListDeviceFolder(c, folder); },
                       std::move(done));
}

void JobFileService::remove(std::string path, std::function<void(DeviceFileStatus)> done)
{
    run<DeviceFileStatus>(LinkJobRunner::Kind::Delete, DeviceFileStatus::NoReply,
                          [path](LinkChannel& c, const std::function<bool()>&) { return DeleteDeviceFile(c, path); },
                          std::move(done));
}

void JobFileService::rename(std::string from, std::string to, std::function<void(DeviceFileStatus)> done)
{
    run<DeviceFileStatus>(
        LinkJobRunner::Kind::Rename, DeviceFileStatus::NoReply,
        [from, to](LinkChannel& c, const std::function<bool()>&) { return RenameDeviceFile(c, from, to); },
        std::move(done));
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
    const bool compress = runner_->compresses();
    auto runner = runner_;
    run<TransferReport>(
        sending ? LinkJobRunner::Kind::SendFiles : LinkJobRunner::Kind::ReceiveFiles, failed,
        [sending, files = std::move(files), state, compress](LinkChannel& c, const std::function<bool()>& stopping) mutable {
            StoppableProgress progress(*state, stopping);
            return sending ? SendFiles(c, files, TransferOptions{compress}, progress)
                           : ReceiveFiles(c, files, TransferOptions{compress}, progress);
        },
        std::move(done), [runner] { runner->transferSettled(); });
}

} // namespace sorvane
