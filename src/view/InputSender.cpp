#include "view/InputSender.h"

#include <algorithm>
#include <pthread.h>

namespace sorvane {

InputSender::InputSender(Send send, Clock& clock) : send_(std::move(send)), clock_(clock) {}

InputSender::~InputSender()
{
    stop();
    join();
}

void InputSender::start()
{
    std::lock_guard lock(mutex_);
    if (thread_.joinable() || stopping_)
        return;
    thread_ = std::thread([this] {
        pthread_setname_np(pthread_self(), "input-sender");
        run();
    });
}

void InputSender::stop()
{
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        waiting_.clear();
    }
    wake_.notify_all();
}

void InputSender::join()
{
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id())
        thread_.join();
}

bool InputSender::push(const InputPacket& packet, bool queued)
{
    {
        std::lock_guard lock(mutex_);
        if (stopping_ || waiting_.size() >= kMaxPending) {
            ++dropped_;
            return false;
        }
        Entry& e = waiting_.emplace_back();
        e.packet = packet;
        e.queued = queued;
        e.at = clock_.tickCount();
    }
    wake_.notify_all();
    return true;
}

bool InputSender::pushMessage(std::vector<uint8_t> message)
{
    if (message.empty())
        return true;
    {
        std::lock_guard lock(mutex_);
        if (stopping_ || waiting_.size() >= kMaxPending) {
            ++dropped_;
            return false;
        }
        Entry& e = waiting_.emplace_back();
        e.message = std::move(message);
        e.at = clock_.tickCount();
    }
    wake_.notify_all();
    return true;
}

void InputSender::flushQueued()
{
    {
        std::lock_guard lock(mutex_);
        // Called after every poll: with nothing waiting the thread is left asleep (waking
        // it would only have it clear the flag again).
        if (waiting_.empty())
            return;
        flush_ = true;
    }
    wake_.notify_all();
}

void InputSender::setHoldLimitMs(uint32_t ms)
{
    {
        std::lock_guard lock(mutex_);
        holdLimitMs_ = ms;
    }
    wake_.notify_all();
}

size_t InputSender::pending() const
{
    std::lock_guard lock(mutex_);
    return waiting_.size();
}

uint64_t InputSender::dropped() const
{
    std::lock_guard lock(mutex_);
    return dropped_;
}

bool InputSender::stalled() const
{
    std::lock_guard lock(mutex_);
    if (waiting_.size() >= kStallEntries)
        return true;
    if (!writing_ && waiting_.empty())
        return false;
    const uint32_t since = writing_ ? writingAt_ : waiting_.front().at;
    return clock_.tickCount() - since > holdLimitMs_ + kStallGraceMs;
}

void InputSender::run()
{
    std::unique_lock lock(mutex_);
    while (!stopping_) {
        if (waiting_.empty()) {
            flush_ = false;
            wake_.wait(lock);
            continue;
        }
        Entry& front = waiting_.front();
        writingAt_ = front.at;
        if (!front.queued) {
            if (front.message.empty()) {
                batch_.assign(front.packet.begin(), front.packet.end());
            } else {
                batch_ = std::move(front.message);
            }
            waiting_.pop_front();
        } else {
            // The clock is looked at again at least every 50 ms, so a clock that jumps (a
            // test's) is followed too.
            const uint32_t held = clock_.tickCount() - front.at;
            if (!flush_ && held < holdLimitMs_) {
                wake_.wait_for(lock, std::chrono::milliseconds(std::min<uint32_t>(holdLimitMs_ - held, 50)));
                continue;
            }
            // One 'f' message: the queued packets at the head, at most kBatch of them.
            size_t n = 0;
            while (n < waiting_.size() && n < kBatch && waiting_[n].queued && waiting_[n].message.empty())
                ++n;
            std::vector<InputPacket> packets(n);
            for (size_t i = 0; i < n; ++i)
                packets[i] = waiting_[i].packet;
            batch_ = QueuedInputMessage(packets);
            waiting_.erase(waiting_.begin(), waiting_.begin() + ptrdiff_t(n));
            if (waiting_.empty() || !waiting_.front().queued)
                flush_ = false;
        }
        // The link call is made without the lock, so input keeps being handed in.
        writing_ = true;
        lock.unlock();
        send_(batch_);
        lock.lock();
        writing_ = false;
    }
}

} // namespace sorvane
