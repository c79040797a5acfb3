#pragma once
// What the device tools last heard from one device: its status record and its process
// list. A reply that arrives after a dialog stopped waiting still lands here, and a
// dialog whose request got no answer shows what is here (zeros before the first reply).
//
// Threads: written by the connection's thread (inside a job), read by the window
// thread; a mutex guards both values.

#include <mutex>

#include "tools/DeviceExchanges.h"

namespace sorvane {

class DeviceToolsMemory {
public:
    DeviceStatusRecord status() const
    {
        std::lock_guard lock(mutex_);
        return status_;
    }
    ProcessList processes() const
    {
        std::lock_guard lock(mutex_);
        return processes_;
    }
    void setStatus(const DeviceStatusRecord& s)
    {
        std::lock_guard lock(mutex_);
        status_ = s;
    }
    void setProcesses(ProcessList list)
    {
        std::lock_guard lock(mutex_);
        processes_ = std::move(list);
    }

private:
    mutable std::mutex mutex_;
    DeviceStatusRecord status_;
    ProcessList processes_;
};

} // namespace sorvane
