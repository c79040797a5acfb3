#include "EventLog.h"

#include <cerrno>

#include <poll.h>
#include <pthread.h>
#include <unistd.h>

namespace sorvane::sim {

EventLog::EventLog(int fd) : fd_(fd)
{
    writer_ = std::thread([this] { run(); });
}

EventLog::~EventLog()
{
    {
        std::lock_guard lock(mutex_);
        closing_.store(true);
    }
    wake_.notify_all();
    writer_.join();
}

void EventLog::line(std::string text)
{
    text.push_back('\n');
    {
        std::lock_guard lock(mutex_);
        queue_.push_back(std::move(text));
    }
    wake_.notify_one();
}

bool EventLog::writeAll(const std::string& s)
{
    size_t done = 0;
    int waitedWhileClosing = 0;
    while (done < s.size()) {
        // Once the log is closing, a reader that no longer reads must not keep the
        // program alive: give up after about a second.
        pollfd p{fd_, POLLOUT, 0};
        int n = ::poll(&p, 1, 200);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0) {
            if (closing_.load() && (waitedWhileClosing += 200) >= 1000)
                return false;
            continue;
        }
        ssize_t w = ::write(fd_, s.data() + done, s.size() - done);
        if (w < 0) {
            if (errno == EINTR || errno == EAGAIN)
                continue;
            return false;
        }
        done += size_t(w);
    }
    return true;
}

void EventLog::run()
{
    pthread_setname_np(pthread_self(), "sim-log");
    bool broken = false;
    for (;;) {
        std::string text;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return closing_ || !queue_.empty(); });
            if (queue_.empty())
                return;
            text = std::move(queue_.front());
            queue_.pop_front();
        }
        if (!broken && !writeAll(text))
            broken = true; // keep draining the queue, drop the text
    }
}

} // namespace sorvane::sim
