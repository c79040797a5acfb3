#pragma once
// The link of one connection as an exchange sees it: whole receives and sends,
// reply packets, pauses on the link's clock. The screen exchange, the device tools,
// the file transfers and playback all talk to the device through it, so each can be
// tested against a scripted peer.
//
// Thread: the one thread that reads the link (a connection thread, or a
// command-line session).

#include <cstddef>
#include <cstdint>

namespace sorvane {

class LinkChannel {
public:
    virtual ~LinkChannel() = default;
    virtual size_t recv(uint8_t* buffer, size_t n) = 0; // exactly n, or fewer on failure
    virtual void send(const uint8_t* buffer, size_t n) = 0; // one whole message
    virtual uint8_t readReply() = 0; // a reply packet's code, 0 when none was read
    virtual void sleepMs(uint32_t ms) = 0;
    // The wait between a request and its reply: as long as sleepMs(ms) on a clock that
    // does not wait, but over a real link it ends as soon as the reply starts to arrive.
    virtual void awaitReply(uint32_t ms) { sleepMs(ms); }
    // After a malformed reply: drop the bytes of it that are still arriving, so the
    // next exchange starts on a packet boundary.
    virtual void discardPending() = 0;
};

} // namespace sorvane
