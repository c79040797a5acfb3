#include "app/LinkCounters.h"

#include "link/Links.h"

namespace sorvane {

LinkCounterSnapshot LinksCounterSource::counters(int slot) const
{
    LinkCounterSnapshot c;
    if (const LinkSlot* s = links_.find(slot)) {
        c.bytesSent = s->bytesSent.load(std::memory_order_relaxed);
        c.bytesReceived = s->bytesReceived.load(std::memory_order_relaxed);
        c.keyPresses = s->keyPresses.load(std::memory_order_relaxed);
        c.mouseClicks = s->mouseClicks.load(std::memory_order_relaxed);
    }
    return c;
}

} // namespace sorvane
