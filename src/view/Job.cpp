#include "view/Job.h"

#include <chrono>

namespace sorvane {

const char* JobKindName(JobKind kind)
{
    switch (kind) {
    case JobKind::Refresh: return "refresh";
    case JobKind::Status: return "device status";
    case JobKind::Processes: return "process list";
    case JobKind::Activate: return "activate process";
    case JobKind::Kill: return "kill process";
    case JobKind::ListDirectory: return "directory listing";
    case JobKind::Delete: return "delete";
    case JobKind::Rename: return "rename";
    case JobKind::ReceiveFiles: return "receive files";
    case JobKind::SendFiles: return "send files";
    case JobKind::Playback: return "playback";
    case JobKind::ClipboardText: return "device clipboard";
    case JobKind::Custom: return "request";
    }
    return "request";
}

uint32_t JobReplyLimitMs(JobKind kind)
{
    switch (kind) {
    case JobKind::ListDirectory:
    case JobKind::Delete:
    case JobKind::Rename: return 2000;
    case JobKind::Status:
    case JobKind::Processes: return 5000;
    default: return 0;
    }
}

Job::Job(JobKind kind, JobWork work, Done done) : kind_(kind), work_(std::move(work)), done_(std::move(done)) {}

JobStatus Job::status() const
{
    std::lock_guard lock(mutex_);
    return status_;
}

std::string Job::error() const
{
    std::lock_guard lock(mutex_);
    return error_;
}

bool Job::finished() const
{
    std::lock_guard lock(mutex_);
    return status_ != JobStatus::Pending && status_ != JobStatus::Running;
}

bool Job::wait(uint32_t ms) const
{
    std::unique_lock lock(mutex_);
    return ended_.wait_for(lock, std::chrono::milliseconds(ms), [this] {
        return status_ != JobStatus::Pending && status_ != JobStatus::Running;
    });
}

void Job::cancel()
{
    cancel_ = true;
    Done done;
    {
        std::lock_guard lock(mutex_);
        if (status_ != JobStatus::Pending)
            return; // running: its work sees cancelled(); ended: nothing to do
        status_ = JobStatus::Cancelled;
        error_ = "cancelled";
        done = std::move(done_);
        done_ = nullptr;
        work_ = nullptr;
    }
    ended_.notify_all();
    if (done)
        done(*this);
}

bool Job::begin()
{
    std::lock_guard lock(mutex_);
    if (status_ != JobStatus::Pending)
        return false;
    status_ = JobStatus::Running;
    return true;
}

void Job::finish(JobStatus status, std::string error)
{
    Done done;
    {
        std::lock_guard lock(mutex_);
        if (status_ != JobStatus::Pending && status_ != JobStatus::Running)
            return;
        status_ = status;
        error_ = std::move(error);
        done = std::move(done_);
        done_ = nullptr;
        work_ = nullptr; // what the work captured goes with it
    }
    ended_.notify_all();
    if (done)
        done(*this);
}

} // namespace sorvane
