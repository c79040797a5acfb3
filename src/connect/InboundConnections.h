#pragma once
// Accepting the connections that device agents open towards the PC.
//
// The main window calls PollInbound on its 3-second timer while the AcceptInbound
// setting is on. Each call accepts at most one pending connection from the listener
// and runs its handshake as a WAN link (kind 4: a device with a password makes the
// program ask for it) on a worker thread, so a device that connects and then says
// nothing never holds the user-interface thread. When the handshake has ended, the
// connection is installed on the user-interface thread (finishPending: by the wake
// callback's queued call, or at the latest by the next poll): the lowest free slot, the
// peer's address (network byte order) in ipAddress, the view at scale 1 with no low
// colour mode, and a device window with the settings of profile 0.
//
// Decisions:
//  - The accepted socket is made non-blocking like every other link socket, so the
//    receive give-up (2000 would-blocks) applies and a silent device is let go.
//  - While one accepted connection is still in its handshake, no other is accepted;
//    the rest wait in the listener's queue for the following ticks.
//  - With every slot live the device is turned away: its socket is closed.
//  - With no profile defined the window gets profile index -1; the shell then uses
//    windowProfile(), a profile of the default settings (its refresh rate is never 0).
//
// Threads: poll, finishPending and the destructor on the user-interface thread; the
// wake callback is called from the worker thread and must only post. The destructor
// cancels a handshake in progress and joins the worker (a worker waiting in the
// password prompt must be answered first).

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "connect/CancelToken.h"
#include "connect/ConnectContext.h"
#include "connect/InboundListener.h"
#include "connect/PendingLink.h"

namespace sorvane {

// Makes an accepted connection the transport of link: non-blocking, link kind 4, the
// peer's address (network byte order, as accepted) in ipAddress. False when the socket
// cannot be switched to non-blocking (it is closed then).
bool AdoptInbound(PendingLink& link, AcceptedSocket socket);

// The settings a device window of profile index uses: that profile, or with -1 (no
// profile defined) a profile of the default settings for new connections.
Profile windowProfile(const ProfileTable& profiles, const Settings& settings, int profileIndex);

class InboundAcceptor {
public:
    InboundAcceptor(ConnectContext& ctx, InboundListener& listener);
    ~InboundAcceptor();
    InboundAcceptor(const InboundAcceptor&) = delete;
    InboundAcceptor& operator=(const InboundAcceptor&) = delete;

    // Called from the worker when a handshake ended; should post finishPending() to the
    // user-interface thread. May be empty (the next poll finishes it then).
    void setWake(std::function<void()> wake) { wake_ = std::move(wake); }

    // One timer tick: finishes an ended attempt, then accepts at most one connection
    // and starts its handshake. Returns at once.
    void poll();
    // Installs the attempt whose handshake has ended, if any: the slot of the new
    // connection, or nullopt (nothing ended, the handshake failed, no slot free).
    std::optional<int> finishPending();
    // True while an accepted connection is in its handshake or waits to be installed.
    bool busy() const { return worker_.joinable(); }
    // True once the attempt in hand has ended (finishPending will not block).
    bool attemptEnded() const;

private:
    ConnectContext& ctx_;
    InboundListener& listener_;
    std::function<void()> wake_;

    CancelToken cancel_;
    std::unique_ptr<PendingLink> link_;
    std::thread worker_;
    mutable std::mutex mutex_;
    bool ended_ = false;
};

// The timer's entry point: acceptor.poll().
inline void PollInbound(InboundAcceptor& acceptor) { acceptor.poll(); }

} // namespace sorvane
