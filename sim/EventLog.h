#pragma once
// The simulator's report on standard output: one line per fact or event, in the order
// the threads hand them in. A writer thread of its own does the writing, so a test that
// reads the lines late never stalls a connection. Thread-safe; line() never blocks on
// the output.

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

namespace sorvane::sim {

class EventLog {
public:
    explicit EventLog(int fd); // does not own fd
    // Writes what is still queued (giving up after a short while when nobody reads),
    // then ends the writer thread.
    ~EventLog();
    EventLog(const EventLog&) = delete;
    EventLog& operator=(const EventLog&) = delete;

    void line(std::string text); // text without the newline

private:
    void run();
    bool writeAll(const std::string& s);

    int fd_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::string> queue_;
    std::atomic<bool> closing_{false};
    std::thread writer_;
};

} // namespace sorvane::sim
