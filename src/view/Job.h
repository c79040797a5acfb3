#pragma once
// Jobs: the exchanges with a device that expect a reply, posted from any thread to a
// JobPort (a live Connection) and run one at a time on the connection's thread, the
// only reader of its link.
//
// A job carries its kind, the work to do on the connection thread and what to do when
// it ends. A typed job's work gives a value (or a reason why there is none) and its
// poster gets a JobResult<T>: the value when it ended Done, else the reason. The poster
// keeps the shared Job to wait for it (never on the user-interface thread), to read its
// outcome or to cancel it; a window has the result delivered on its own thread
// (platform/ui/UiThread.h). A job ends exactly once: Done when its
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
#include <optional>
#include <string>
#include <utility>

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
    Custom,        // anything else (a message that must leave before its poster goes on)
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
    // One screen exchange for a script's check, made even while every view is hidden;
    // true when the picture is then the device's (an update applied, or nothing changed).
    virtual bool pollScreenForCheck() = 0;
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

// How a typed job ended: `value` is set exactly when `status` is Done; otherwise
// `error` says why there is none (Failed or Cancelled).
template <class T>
struct JobResult {
    JobStatus status = JobStatus::Failed;
    std::optional<T> value;
    std::string error;
};

// A job whose work gives a value: a value means served (Done), none means Failed with
// the reason the work put in `error`. `done` gets the result once, on the thread that
// ended the job (see Job).
template <class T>
class TypedJob final : public Job {
public:
    using Work = std::function<std::optional<T>(JobContext&, std::string& error)>;
    using Deliver = std::function<void(JobResult<T>)>;

    TypedJob(JobKind kind, Work work, Deliver done)
        : Job(kind,
              [this, work = std::move(work)](JobContext& context, std::string& error) {
                  value_ = work(context, error);
                  return value_.has_value();
              },
              [this, done = std::move(done)](const Job&) {
                  JobResult<T> result{status(), std::nullopt, error()};
                  if (result.status == JobStatus::Done)
                      result.value = std::move(value_);
                  if (done)
                      done(std::move(result));
              })
    {
    }

private:
    std::optional<T> value_; // written by the work, read once when the job ends
};

// Where jobs are posted: a live connection. A port that is not running (or whose link
// is down) fails a job at once.
class JobPort {
public:
    virtual ~JobPort() = default;
    // Queues a made job.
    virtual void submit(const std::shared_ptr<Job>& job) = 0;

    std::shared_ptr<Job> post(JobKind kind, JobWork work, Job::Done done = {})
    {
        auto job = std::make_shared<Job>(kind, std::move(work), std::move(done));
        submit(job);
        return job;
    }
    template <class T>
    std::shared_ptr<TypedJob<T>> post(JobKind kind, typename TypedJob<T>::Work work,
                                      typename TypedJob<T>::Deliver done)
    {
        auto job = std::make_shared<TypedJob<T>>(kind, std::move(work), std::move(done));
        submit(job);
        return job;
    }
};

} // namespace sorvane
