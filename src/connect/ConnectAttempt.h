#pragma once
// One connect attempt of a timed connect dialog, run off the user-interface thread:
// open the profile's transport into the slot, connect it (socket kinds) and run the
// handshake (ConnectLink), or run the handshake at once (serial kinds).
//
// The dialog prepares the slot (link kind, port, address, scale, low colour) and
// starts an attempt; the attempt's thread calls onFinished when it is over (on that
// thread: post to the dialog). cancel() may come at any moment from the
// user-interface thread: it shuts the transport down, so a waiting receive returns at
// once and the attempt ends as Cancelled. Whatever the outcome but Passed, the slot
// is left free and without a transport. A Passed slot holds its transport, device
// facts and frame buffers; the dialog then opens the device window, or, when it was
// cancelled meanwhile, calls abandon() to free the slot again.
//
// A password asked for by the handshake is asked through the context's prompt from
// the attempt's thread (the prompt hands the dialog to the user-interface thread).
//
// Threads: start, cancel, join, abandon and the destructor on the user-interface
// thread; at most one attempt runs at a time per object, and the program runs one
// connect attempt at a time (OpenLinkTransport writes the shared target address).
// The destructor cancels and joins.

#include <atomic>
#include <functional>
#include <mutex>
#include <thread>

#include "connect/ConnectContext.h"
#include "link/LinkConfig.h"
#include "settings/Profile.h"

namespace sorvane {

enum class AttemptOutcome {
    None,        // not started, or still running
    Passed,      // the slot is named and holds its transport and buffers
    NoTransport, // the transport could not be opened
    Failed,      // connect or handshake failed; the transport is closed
    Cancelled,   // cancel() came first; the transport is closed
};

// The destructor of an attempt that passed and was neither handed over nor
// abandoned gives the slot back.
class ConnectAttempt {
public:
    explicit ConnectAttempt(ConnectContext& context) : context_(context) {}
    ~ConnectAttempt();
    ConnectAttempt(const ConnectAttempt&) = delete;
    ConnectAttempt& operator=(const ConnectAttempt&) = delete;

    // Starts an attempt for `profile` on `slot` (the previous one must be over and
    // joined). The link kinds without a timed attempt (USB, proxy) end at once as
    // NoTransport.
    void start(const Profile& profile, int slot, const LinkConfig& config, std::function<void()> onFinished);
    // True from start() until the attempt's thread has finished.
    bool running() const { return running_.load(); }
    // Shuts the attempt's transport down; the attempt ends soon as Cancelled.
    void cancel();
    // Waits for the attempt's thread (it returns soon once running() is false).
    void join();
    // The outcome once the attempt is over and joined.
    AttemptOutcome outcome() const { return outcome_; }
    HandshakeStatus handshake() const { return handshake_; }
    // A Passed attempt whose window will not open: frees its buffers, closes the
    // transport and empties the device name, so the slot is free again.
    void abandon();
    // A Passed attempt whose slot now belongs to its device window: the attempt
    // forgets it (neither abandon() nor the destructor touch it any more).
    void handOver();

private:
    void run(Profile profile, int slot, LinkConfig config);
    AttemptOutcome attempt(const Profile& profile, int slot, const LinkConfig& config);

    ConnectContext& context_;
    std::thread thread_;
    std::atomic<bool> running_{false};
    std::function<void()> onFinished_;
    AttemptOutcome outcome_ = AttemptOutcome::None;
    HandshakeStatus handshake_ = HandshakeStatus::NoLink;
    int slot_ = -1;

    std::mutex mutex_;        // guards the two fields below
    bool cancelled_ = false;
    Transport* live_ = nullptr; // the transport the attempt uses, while it uses it
};

// Gives up a slot that a flow prepared or half connected: frees its view buffers,
// closes its transport and empties its device name. For slots without a connection
// thread only.
void ReleasePreparedSlot(ConnectContext& context, int slot);

} // namespace sorvane
