#pragma once
// The link of one slot as an exchange sees it: receives, sends and reply
// packets go through the link layer; waits use the link's clock.
//
// Thread: the one thread that reads the slot's link (its connection thread, or a
// command-line capture).

#include "link/CommandPacket.h"
#include "link/LinkTransport.h"
#include "link/Links.h"
#include "link/LinkChannel.h"

namespace sorvane {

class SlotLinkChannel final : public LinkChannel {
public:
    SlotLinkChannel(Links& links, int slot) : links_(links), slot_(slot) {}

    size_t recv(uint8_t* buffer, size_t n) override { return LinkRecv(links_, slot_, {buffer, n}); }
    void send(const uint8_t* buffer, size_t n) override { LinkSend(links_, slot_, {buffer, n}); }
    uint8_t readReply() override { return ReadReply(links_, slot_); }
    void sleepMs(uint32_t ms) override { links_.clock().sleepMs(ms); }

    void discardPending() override
    {
        LinkSlot* s = links_.find(slot_);
        if (!s || !s->transport)
            return;
        // Read until the link has been quiet for 50 ms (sockets), or one read time-out
        // (serial lines), within a bound of two seconds.
        uint8_t scratch[4096];
        int quiet = 0;
        const uint32_t start = links_.clock().tickCount();
        while (links_.clock().tickCount() - start < 2000) {
            IoResult r = s->transport->receive(scratch);
            if (r.status == IoStatus::Ok && r.bytes > 0) {
                s->bytesReceived += uint32_t(r.bytes);
                quiet = 0;
                continue;
            }
            if (r.status != IoStatus::WouldBlock || ++quiet >= 5)
                return;
            links_.clock().sleepMs(10);
        }
    }

private:
    Links& links_;
    int slot_;
};

} // namespace sorvane
