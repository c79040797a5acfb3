#pragma once
// The sender of one connection's input: mouse and key packets and the device commands
// that expect no reply, written to the link in the order they were handed in, by a
// thread of its own, so that the thread that hands them in (the window's) never waits
// on the network, and input keeps flowing while the connection thread is busy with a
// long exchange.
//
// A packet handed in as queued waits for the next flush (the connection thread asks
// for one after each screen poll) and goes out with the packets queued beside it as
// 102 'f' messages of at most 512 packets: the code, a 32-bit count, the packets. When
// no flush comes for a while (the connection thread is inside a long job), queued
// packets go out by themselves once they have waited the hold limit on the sender's
// clock. Every other packet or message goes out at once as one message of its own.
// Order is kept across both kinds.
//
// Memory is bounded: past kMaxPending waiting entries new input is dropped and counted.
//
// Threads: push, pushMessage, flushQueued, stop from any thread; `send` runs on the
// sender's own thread.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <span>
#include <thread>
#include <vector>

#include "platform/Clock.h"
#include "view/InputPackets.h"

namespace sorvane {

class InputSender {
public:
    static constexpr size_t kBatch = 512;          // packets in one 'f' message at most
    static constexpr size_t kMaxPending = 1 << 20; // entries waiting at most (8 MB of input)
    // Sends one whole message; false when the link failed.
    using Send = std::function<bool(std::span<const uint8_t>)>;

    InputSender(Send send, Clock& clock);
    ~InputSender(); // stops and joins
    InputSender(const InputSender&) = delete;
    InputSender& operator=(const InputSender&) = delete;

    void start();
    // No further sends: the thread ends after the message it is writing (whose link call
    // the owner makes return by shutting the link down); what waits is dropped.
    void stop();
    void join();

    // Hands in one packet; false when it was dropped (stopped, or too much waiting).
    bool push(const InputPacket& packet, bool queued);
    // Hands in a whole message that expects no reply; never queued.
    bool pushMessage(std::vector<uint8_t> message);
    // Queued packets go out now.
    void flushQueued();
    // How long queued packets may wait for a flush before they go out by themselves.
    void setHoldLimitMs(uint32_t ms);

    size_t pending() const;
    uint64_t dropped() const;
    // Stalled: what was handed in longest ago and is not yet written out (the message
    // being written, else the first waiting one) has waited past the hold limit plus
    // kStallGraceMs on the sender's clock (the link takes nothing), or kStallEntries
    // wait. Input broadcast skips a device whose sender is stalled.
    static constexpr uint32_t kStallGraceMs = 2000;
    static constexpr size_t kStallEntries = 4096;
    bool stalled() const;

private:
    struct Entry {
        InputPacket packet{};
        std::vector<uint8_t> message; // non-empty: a whole message instead of a packet
        bool queued = false;
        uint32_t at = 0; // clock tick when it was handed in
    };
    void run();

    Send send_;
    Clock& clock_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Entry> waiting_;
    bool flush_ = false;
    bool stopping_ = false;
    uint32_t holdLimitMs_ = 1000;
    uint64_t dropped_ = 0;
    bool writing_ = false;  // a send is in progress
    uint32_t writingAt_ = 0; // when what it writes was handed in
    std::vector<uint8_t> batch_;
    std::thread thread_;
};

} // namespace sorvane
