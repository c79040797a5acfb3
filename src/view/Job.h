#pragma once
// Typed jobs: the exchanges with a device that expect a reply, posted from any thread
// and run one at a time on the connection's thread, the only reader of its link.
//
// A job carries its kind, the work to do on the connection thread and what to do when
// it ends. The poster keeps the shared Job to wait for it (never on the user-interface
// thread), to read its outcome or to cancel it. A job ends exactly once: Done when its
// work served it, Failed with a reason when the work failed or the connection stopped
// (or the link dropped) before it could run, Cancelled when the poster cancelled it
// before it ran. Jobs still pending when a connection stops are failed, never carried
// over to a later link.
//
// Threads: post, wait, cancel and the getters from any thread; the work and `done` run
// on the connection thread, except that cancelling a pending job runs its `done` on the
// cancelling thread and that a connection which stops fails its pending jobs on the
// thread that stops it.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

namespace sorvane {

class LinkChannel;
struct ScreenState;

enum class JobKind {
    Refresh,       // 'Q': both reference frames start from zero
    Status,        // 'o': device status
    Processes,     // 'x': process list
    Activate,      // 'p'
    Kill,          // 'w'
    ListDirectory, // 'g'
    Delete,        // 'm'
    Rename,        // 'n'
    ReceiveFiles,  // 'h': runs the whole transfer
    SendFiles,     // 'i': runs the whole transfer
    Playback,      // a script or scenario
    ClipboardText, // 'q'
    Custom,
};

const char* JobKindName(JobKind kind);

// How long a job of this kind waits for its device's reply, on the connection's clock,
// before it ends unanswered: 2 s for a listing, a delete or a rename, 5 s for the
// device status and the process list; 0 for the kinds that wait as long as the link
// lets them (transfers and playback pace themselves, a refresh is answered at once).
uint32_t JobReplyLimitMs(JobKind kind);

enum class JobStatus { Pending, Running, Done, Failed, Cancelled };

// What a job sees on the connection thread.
class JobContext {
public:
    virtual ~JobContext() = default;
    virtual LinkChannel& channel() = 0;
    virtual ScreenState& screen() = 0;
    // The poster cancelled the job, or the connection is stopping: end soon.
    virtual bool cancelled() const = 0;
    // One screen exchange, for long jobs that keep the picture alive.
    virtual void pollScreen() = 0;
};

// The work of a job: true when it was served; otherwise `error` says why not.
using JobWork = std::function<bool(JobContext&, std::string& error)>;

class Job : public std::enable_shared_from_this<Job> {
public:
    using Done = std::function<void(const Job&)>;

    Job(JobKind kind, JobWork work, Done done);
    Job(const Job&) = delete;
    Job& operator=(const Job&) = delete;

    JobKind kind() const { return kind_; }
    JobStatus status() const;
    std::string error() const;
    bool finished() const;
    // Waits up to ms milliseconds for the job to end; true once it has. Never call it
    // on the user-interface thread: use the `done` callback there.
    bool wait(uint32_t ms) const;
    // Asks the job to end: a pending job ends Cancelled at once; a running one sees
    // cancelled() in its context and ends as its work decides.
    void cancel();
    bool cancelRequested() const { return cancel_.load(); }

    // For the connection that runs it.
    // Pending -> Running; false when the job has already ended (cancelled).
    bool begin();
    // Runs the work (between begin and finish).
    bool run(JobContext& context, std::string& error) { return work_ ? work_(context, error) : false; }
    // Ends the job once; later calls do nothing. Runs `done` on the calling thread.
    void finish(JobStatus status, std::string error);

private:
    const JobKind kind_;
    JobWork work_;
    Done done_;
    std::atomic<bool> cancel_{false};
    mutable std::mutex mutex_;
    mutable std::condition_variable ended_;
    JobStatus status_ = JobStatus::Pending;
    std::string error_;
};

} // namespace sorvane
