#include "app/ExplorerMailbox.h"

#include <QCoreApplication>
#include <QTimer>

#include "link/LinkTransport.h"
#include "link/SlotLinkChannel.h"

namespace sorvane {
namespace {

uint32_t codeOf(LinkJobRunner::Kind kind)
{
    switch (kind) {
    case LinkJobRunner::Kind::ListDirectory: return request::kListDirectory;
    case LinkJobRunner::Kind::Delete: return request::kDelete;
    case LinkJobRunner::Kind::Rename: return request::kRename;
    case LinkJobRunner::Kind::ReceiveFiles: return request::kReceiveFiles;
    case LinkJobRunner::Kind::SendFiles: return request::kSendFiles;
    }
    return request::kPoll;
}

bool isTransfer(uint32_t code) { return code == request::kReceiveFiles || code == request::kSendFiles; }

} // namespace

ExplorerMailbox::~ExplorerMailbox()
{
    for (Job& j : queue_)
        if (j.ended)
            j.ended(false);
}

void ExplorerMailbox::later(int ms, std::function<void(ExplorerMailbox&)> f)
{
    std::weak_ptr<ExplorerMailbox> weak = weak_from_this();
    QTimer::singleShot(ms, qApp, [weak, f = std::move(f)] {
        if (auto self = weak.lock())
            f(*self);
    });
}

void ExplorerMailbox::post(Kind kind, Work work, std::function<void(bool)> ended)
{
    {
        std::lock_guard lock(mutex_);
        queue_.push_back(Job{kind, std::move(work), std::move(ended)});
    }
    pump();
}

void ExplorerMailbox::pump()
{
    std::unique_lock lock(mutex_);
    if (active_ || queue_.empty())
        return;
    if (!view_.running.load()) {
        // No connection to run it: every waiting job ends unrun.
        std::deque<Job> dropped;
        dropped.swap(queue_);
        lock.unlock();
        for (Job& j : dropped)
            if (j.ended)
                j.ended(false);
        return;
    }
    const uint32_t now = view_.request.load();
    if (now != request::kPoll && now != request::kTransferDone) {
        // Another request (or a transfer still leaving) holds the mailbox.
        lock.unlock();
        later(20, [](ExplorerMailbox& m) { m.pump(); });
        return;
    }
    current_ = std::move(queue_.front());
    queue_.pop_front();
    active_ = true;
    const uint32_t code = codeOf(current_->kind);
    lock.unlock();
    // serveRequest is set before the request is raised, and read by the connection
    // thread only after it sees the request. It keeps the runner alive, so a raised
    // request is always served, even when the explorer has gone meanwhile.
    view_.serveRequest = [self = shared_from_this()](uint32_t) { self->serve(); };
    view_.requestDone = 0;
    view_.request = code;
}

void ExplorerMailbox::serve()
{
    std::optional<Job> job;
    {
        std::lock_guard lock(mutex_);
        job.swap(current_);
    }
    if (!job)
        return;
    SlotLinkChannel channel(links_, slot_);
    const std::function<bool()> stopping = [this] { return !view_.running.load(); };
    job->work(channel, stopping);
    const uint32_t code = codeOf(job->kind);
    if (!isTransfer(code))
        view_.request = request::kPoll; // screen polling resumes with this reply
    if (job->ended)
        job->ended(true);
    std::weak_ptr<ExplorerMailbox> weak = weak_from_this();
    QMetaObject::invokeMethod(
        qApp,
        [weak] {
            if (auto self = weak.lock()) {
                {
                    std::lock_guard lock(self->mutex_);
                    self->active_ = false;
                }
                self->pump();
            }
        },
        Qt::QueuedConnection);
}

void ExplorerMailbox::transferSettled()
{
    // The connection leaves 'e' once it is back from the transfer; with no job of the
    // explorer's waiting, polling resumes.
    const uint32_t now = view_.request.load();
    if (isTransfer(now)) {
        later(20, [](ExplorerMailbox& m) { m.transferSettled(); });
        return;
    }
    std::lock_guard lock(mutex_);
    uint32_t expected = request::kTransferDone;
    if (queue_.empty() && !active_)
        view_.request.compare_exchange_strong(expected, request::kPoll);
}

void ExplorerMailbox::sendMessage(std::vector<uint8_t> message)
{
    // Sent by the connection thread too, so the user-interface thread never touches
    // the link; the mailbox code only chooses the connection's branch.
    post(Kind::Delete, [message = std::move(message)](LinkChannel& c, const std::function<bool()>&) {
        c.send(message.data(), message.size());
    }, {});
}

bool ExplorerMailbox::compresses() const
{
    const LinkSlot* s = links_.find(slot_);
    return !s || s->linkKind != 2;
}

} // namespace sorvane
