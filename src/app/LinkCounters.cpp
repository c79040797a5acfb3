#include "app/LinkCounters.h"

#include "view/Connection.h"

namespace sorvane {

LinkCounterSnapshot LinksCounterSource::counters(int slot) const
{
    LinkCounterSnapshot c;
    if (const Connection* connection = find_ ? find_(slot) : nullptr) {
        const Connection::Counts n = connection->counts();
        c.bytesSent = n.bytesSent;
        c.bytesReceived = n.bytesReceived;
        c.keyPresses = n.keyPresses;
        c.mouseClicks = n.mouseClicks;
    }
    return c;
}

} // namespace sorvane
