#pragma once
// The five operations on a link: open the transport for a profile, connect it
// (ConnectLink in Handshake.h, which runs the handshake too), receive exactly n bytes,
// send n bytes, close it. Everything above moves its bytes through LinkRecv and
// LinkSend and never touches a socket or a serial line itself.
//
// Link kinds 0 (IrDA), 3 (ActiveSync), 4 (WAN), 5 (LAN) and 6 (proxy) run over
// sockets; 1 (COM) and 2 (USB) over serial lines. No operation here shows a message:
// each reports failure by its result.
//
// Each works on one link (a LinkSlot) and pauses on the clock it is given.
//
// Threads: OpenLinkTransport and ConnectLink run for one attempt at a time (they write
// the attempt's TargetAddress). LinkRecv runs on the one thread that reads the
// link; LinkSend on any thread (each call is one whole message under the link's send
// mutex). ShutdownLinkTransport may be called from any thread to make a blocked
// LinkRecv/LinkSend return; CloseLinkTransport only once no other thread uses the link.
// All of them block for at most the waits described with them.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "link/LinkConfig.h"
#include "link/Links.h"
#include "platform/Transport.h"
#include "platform/LinkTarget.h"

namespace sorvane {

inline constexpr uint32_t kConnectWaitMs = 1500;      // TCP connect wait
inline constexpr uint32_t kRecvWouldBlockLimit = 2000; // consecutive, 10 ms apart
inline constexpr uint32_t kSendWouldBlockLimit = 4000; // consecutive, 5 ms apart
inline constexpr uint32_t kSendStallLimit = 20;        // serial writes in a row that move nothing
inline constexpr size_t kSerialChunk = 8192;
inline constexpr const char* kIrdaServiceName = "CEREMOTE";

// Opens the transport for a target by its link kind: an IrDA socket (kind 0), the
// serial line of the target's port (1: COM pattern, full line set-up; 2: USB pattern,
// raw only), or a TCP socket whose destination it writes to `to` (3: the next
// ActiveSync candidate; 4, 5: the target's address; port config.agentPort).
// nullptr on failure and for kind 6 and above. The caller stores the result in the
// link's transport.
std::unique_ptr<Transport> OpenLinkTransport(TargetAddress& to, const LinkConfig& config, const LinkTarget& target,
                                             TransportFactory& factory);

// Receives exactly buffer.size() bytes; returns how many arrived (fewer or 0 on
// failure) and adds that to bytesReceived.
//  Socket: gives up after 2000 would-blocks in a row (10 ms pause each), returning
//  what it has; pauses 1 ms after each progress. An orderly close by the peer marks
//  the link (LinkSlot::closedByPeer, read by its owner) and returns 0; another error
//  returns 0.
//  Serial: 8192-byte reads while 8192 or more are wanted, then one read per pass for
//  the rest; a read that brings nothing ends the call. A failed read clears the line;
//  during the 8192-byte reads the rest passes take over, during those the call ends.
//  No transport: 0 (after a 5 ms pause for serial kinds).
// `limitMs` bounds the whole call on the clock as well (an exchange's own
// time-out): once that much has passed it returns what it has without starting
// another wait (a socket still takes the bytes that are already there).
inline constexpr uint32_t kNoRecvLimit = UINT32_MAX;
size_t LinkRecv(LinkSlot& link, Clock& clock, std::span<uint8_t> buffer, uint32_t limitMs = kNoRecvLimit);

// The wait between sending a request and receiving its reply: at most ms on the clock,
// ended as soon as the transport has something to receive (data, a close, an error),
// so a reply that arrives at once is taken at once. A clock that does not wait counts
// the whole ms either way. No transport: a plain pause of ms.
void LinkAwaitReply(LinkSlot& link, Clock& clock, uint32_t ms);

// Sends all of data as one message; returns data.size(), or 0 on failure (nothing
// is then added to bytesSent). Sending nothing returns 0.
//  Socket: pauses 5 ms on would-block, 1 ms after every pass that leaves bytes to
//  send (none after the last); after 4000 would-blocks
//  in a row (about 24 s with no room in the send buffer) it gives up with 0.
//  Serial: 8192-byte writes while 8192 or more remain, then the rest; 1 ms after
//  every write; a failed write clears the line and returns 0; 20 writes in a row that
//  move nothing (each waited its own time-out of 1 s and more) give up with 0.
size_t LinkSend(LinkSlot& link, Clock& clock, std::span<const uint8_t> data);

// Makes every receive and send on the link fail at once from now on, so a
// thread inside LinkRecv or LinkSend comes back quickly. Any thread.
void ShutdownLinkTransport(LinkSlot& link);

// Closes and releases the link's transport: 0, or 1 when closing a serial line
// failed. Nothing for a link without a transport or of a kind above 6. The link's
// other fields are left as they are.
int CloseLinkTransport(LinkSlot& link);

} // namespace sorvane
