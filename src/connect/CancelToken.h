#pragma once
// Cancelling a connect attempt that runs off the user-interface thread.
//
// The attempt registers the transport it is using (watch); cancel() marks the attempt
// cancelled and shuts that transport down, so a receive or send inside it returns at
// once. An attempt checks cancelled() between its steps, and waits with waitFor()
// instead of sleeping.
//
// Threads: cancel() from any thread; the attempt's thread calls watch/unwatch and the
// waits. The watched transport must stay alive until unwatch() (the mutex orders the
// shutdown against it).

#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "platform/Transport.h"

namespace sorvane {

class CancelToken {
public:
    void cancel();
    bool cancelled() const;

    // Registers the transport in use; shuts it down at once when the attempt was
    // cancelled already.
    void watch(Transport* transport);
    void unwatch(Transport* transport);

    // Waits up to ms milliseconds; true when the attempt is (or becomes) cancelled.
    bool waitFor(uint32_t ms) const;

private:
    mutable std::mutex mutex_;
    mutable std::condition_variable wake_;
    bool cancelled_ = false;
    Transport* watched_ = nullptr;
};

} // namespace sorvane
