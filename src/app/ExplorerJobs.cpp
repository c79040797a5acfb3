#include "app/ExplorerJobs.h"

#include "view/Connection.h"
#include "view/ui/DeviceWindow.h"

namespace sorvane {
namespace {

JobKind jobKind(LinkJobRunner::Kind kind)
{
    switch (kind) {
    case LinkJobRunner::Kind::ListDirectory: return JobKind::ListDirectory;
    case LinkJobRunner::Kind::Delete: return JobKind::Delete;
    case LinkJobRunner::Kind::Rename: return JobKind::Rename;
    case LinkJobRunner::Kind::ReceiveFiles: return JobKind::ReceiveFiles;
    case LinkJobRunner::Kind::SendFiles: return JobKind::SendFiles;
    }
    return JobKind::Custom;
}

} // namespace

void ExplorerJobs::post(Kind kind, Work work, std::function<void(bool)> ended)
{
    if (!window_) {
        if (ended)
            ended(false);
        return;
    }
    Connection& connection = window_->connection();
    const bool transfer = kind == Kind::ReceiveFiles || kind == Kind::SendFiles;
    connection.post(
        jobKind(kind),
        [work = std::move(work), transfer, &connection](JobContext& context, std::string&) {
            work(context.channel(), [&context] { return context.cancelled(); });
            if (transfer)
                connection.holdPolling(true); // until the explorer has the result
            return true;
        },
        [ended = std::move(ended)](const Job& job) {
            if (ended)
                ended(job.status() == JobStatus::Done);
        });
}

void ExplorerJobs::sendMessage(std::vector<uint8_t> message)
{
    if (window_)
        window_->connection().sendMessage(std::move(message));
}

bool ExplorerJobs::compresses() const
{
    return !window_ || window_->connection().linkKind() != LinkKind::Usb;
}

bool ExplorerJobs::reconnecting() const { return window_ && window_->connection().reconnecting(); }

void ExplorerJobs::transferSettled()
{
    if (window_)
        window_->connection().holdPolling(false);
}

} // namespace sorvane
