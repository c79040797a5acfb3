#include "connect/CancelToken.h"

#include <chrono>

namespace sorvane {

void CancelToken::cancel()
{
    std::lock_guard lock(mutex_);
    cancelled_ = true;
    if (watched_)
        watched_->shutdown();
    wake_.notify_all();
}

bool CancelToken::cancelled() const
{
    std::lock_guard lock(mutex_);
    return cancelled_;
}

void CancelToken::watch(Transport* transport)
{
    std::lock_guard lock(mutex_);
    watched_ = transport;
    if (cancelled_ && transport)
        transport->shutdown();
}

void CancelToken::unwatch(Transport* transport)
{
    std::lock_guard lock(mutex_);
    if (watched_ == transport)
        watched_ = nullptr;
}

bool CancelToken::waitFor(uint32_t ms) const
{
    std::unique_lock lock(mutex_);
    return wake_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return cancelled_; });
}

} // namespace sorvane
