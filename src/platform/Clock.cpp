#include "platform/Clock.h"

#include <chrono>
#include <thread>

#include "platform/Transport.h"

namespace sorvane {

uint32_t SystemClock::tickCount() const
{
    auto now = std::chrono::steady_clock::now().time_since_epoch();
    return uint32_t(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

void SystemClock::sleepMs(uint32_t ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void SystemClock::pauseForData(Transport& transport, uint32_t ms)
{
    if (!transport.waitReadable(ms))
        sleepMs(ms);
}

} // namespace sorvane
