#pragma once
// Input broadcast: every tap, drag, key, typed text and paste made on one device (the
// leader: its window or its tile) goes to each other member as well, each through its
// own connection's input sender (a member that stalls never delays the others).
// Pointer positions are mapped proportionally from the leader's display in use (size
// and orientation) to each member's. A member whose display geometry differs from the
// leader's is marked (it can be left out with one click); a member that is
// reconnecting, closed, playing a scenario, or whose sender is stalled
// (InputSender::stalled) is skipped for that input and marked; a member whose device
// has gone from its slot leaves the broadcast. The leader's device going ends it.
//
// Mapping: a pointer position x of a W-pixel-wide display in use becomes
// x' = round((x + 0.5) * W' / W - 0.5) on a W'-wide one, clamped to 0..W'-1 (y alike):
// the same place of the picture, whatever the sizes, and a turned device (its width and
// height swapped) gets the same place of its picture as it shows it. Key packets and
// whole messages (typed text, paste) go unchanged.
//
// Threads: start, stop, leaveOut on the user-interface thread; leaderSent on the thread
// that sends the leader's input (the UI thread); members() from any thread; `changed`
// is called on any thread and must only queue work.

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "view/InputPackets.h"

namespace sorvane {

class Program;

enum class BroadcastMark : uint8_t {
    None,
    OtherGeometry, // display size or orientation differs from the leader's: mapped proportionally
    LeftOut,       // the user left it out: it receives nothing
    Skipped,       // reconnecting, closed or stalled: the last input did not reach it
};

struct BroadcastMember {
    int slot = -1;
    uint64_t serial = 0; // the device the member is (a later one in the slot is not)
    BroadcastMark mark = BroadcastMark::None;
    bool otherGeometry = false; // kept while another mark shows
    uint32_t missed = 0;        // inputs it did not get since the broadcast started
};

// A leader's packet for a member: pointer packets (taps, moves, releases, double
// clicks, either button) mapped from a W x H display in use to a W2 x H2 one as above;
// every other packet as it is.
InputPacket MapInputPacket(const InputPacket& packet, int W, int H, int W2, int H2);

class InputBroadcast {
public:
    explicit InputBroadcast(Program& program);
    ~InputBroadcast();
    InputBroadcast(const InputBroadcast&) = delete;
    InputBroadcast& operator=(const InputBroadcast&) = delete;

    // Starts broadcasting from `leaderSlot` to `memberSlots` (the leader is never sent
    // its own input twice); replaces a broadcast that runs.
    void start(int leaderSlot, const std::vector<int>& memberSlots);
    void stop();
    bool active() const;
    int leader() const; // -1 while off
    std::vector<BroadcastMember> members() const;
    void leaveOut(int slot);

    // The leader sent `packet` (pointer positions in its display's device pixels).
    void leaderSent(const InputPacket& packet, bool queueEvents);
    // The leader sent a whole message of input (typed text, a paste): each member gets
    // the same bytes.
    void leaderSentMessage(const std::vector<uint8_t>& message);

    // Called after start, stop, a member's mark changing or a member leaving.
    void setChanged(std::function<void()> changed);
    // One more such listener, beside the one setChanged sets (the leader's window title
    // and the Devices window both follow the broadcast). Owner thread, before start.
    void addChanged(std::function<void()> changed);

private:
    struct State;
    template <class Deliver> void deliver(Deliver send);
    void notify();
    std::unique_ptr<State> state_;
};

} // namespace sorvane
