#pragma once
// One link as an exchange sees it: receives, sends and reply packets go through
// the link layer; waits use the clock it is given. An exchange may be
// given a time-out of its own: its receives then end when it has passed.
//
// Thread: the one thread that reads the link (its connection thread, or a
// command-line capture).

#include "link/CommandPacket.h"
#include "link/LinkTransport.h"
#include "link/Links.h"
#include "link/LinkChannel.h"

namespace sorvane {

class SlotLinkChannel final : public LinkChannel {
public:
    SlotLinkChannel(LinkSlot& link, Clock& clock) : link_(link), clock_(clock) {}

    size_t recv(uint8_t* buffer, size_t n) override
    {
        if (!limited_)
            return LinkRecv(link_, clock_, {buffer, n});
        const uint32_t spent = clock_.tickCount() - startMs_;
        return LinkRecv(link_, clock_, {buffer, n}, spent >= limitMs_ ? 0 : limitMs_ - spent);
    }
    void send(const uint8_t* buffer, size_t n) override { LinkSend(link_, clock_, {buffer, n}); }
    uint8_t readReply() override { return ReadReply(link_, clock_); }
    void sleepMs(uint32_t ms) override { clock_.sleepMs(ms); }
    void awaitReply(uint32_t ms) override { LinkAwaitReply(link_, clock_, ms); }

    // From now on receives end once `ms` have passed since this call (the exchange's
    // time-out), until unlimit().
    void limit(uint32_t ms)
    {
        limited_ = true;
        limitMs_ = ms;
        startMs_ = clock_.tickCount();
    }
    void unlimit() { limited_ = false; }

    // How long a discard may go on, and how much one serial read of it asks for: a
    // serial read waits up to 1 ms per byte asked for plus one second when nothing
    // comes, so small reads keep each one, and the whole discard, inside the bound.
    static constexpr uint32_t kDiscardBoundMs = 2000;
    static constexpr size_t kSerialDiscardChunk = 64;

    void discardPending() override
    {
        LinkSlot* s = &link_;
        if (!s->transport)
            return;
        uint8_t scratch[4096];
        Clock& clock = clock_;
        const uint32_t start = clock.tickCount();
        if (s->transport->family() == Transport::Family::File) {
            // Serial lines: read until a read comes back short (the line went quiet for
            // its interval time-out), starting a read only while its longest wait fits.
            constexpr uint32_t readWorstMs = uint32_t(kSerialDiscardChunk) + 1000;
            while (clock.tickCount() - start + readWorstMs <= kDiscardBoundMs) {
                IoResult r = s->transport->receive({scratch, kSerialDiscardChunk});
                if (r.status != IoStatus::Ok) {
                    s->transport->clearError();
                    return;
                }
                s->bytesReceived += uint32_t(r.bytes);
                if (r.bytes < kSerialDiscardChunk)
                    return;
            }
            return;
        }
        // Sockets: read until the link has been quiet for 50 ms.
        int quiet = 0;
        while (clock.tickCount() - start < kDiscardBoundMs) {
            IoResult r = s->transport->receive(scratch);
            if (r.status == IoStatus::Ok && r.bytes > 0) {
                s->bytesReceived += uint32_t(r.bytes);
                quiet = 0;
                continue;
            }
            if (r.status != IoStatus::WouldBlock || ++quiet >= 5)
                return;
            clock.sleepMs(10);
        }
    }

private:
    LinkSlot& link_;
    Clock& clock_;
    bool limited_ = false;
    uint32_t limitMs_ = 0, startMs_ = 0;
};

} // namespace sorvane
