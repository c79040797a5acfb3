#include "program/InputBroadcast.h"

#include <algorithm>

#include "platform/ByteOrder.h"
#include "program/Program.h"

namespace sorvane {
namespace {

bool IsPointerCode(uint8_t code)
{
    switch (code) {
    case input::kLeftDown:
    case input::kLeftUp:
    case input::kMove:
    case input::kLeftDouble:
    case input::kRightDown:
    case input::kRightUp:
    case input::kRightDouble: return true;
    default: return false;
    }
}

// round((v + 0.5) * to / from - 0.5) = floor((2v + 1) * to / (2 * from)), clamped.
int MapProportional(int v, int from, int to)
{
    if (from <= 0 || to <= 0)
        return 0;
    const int64_t num = (2 * int64_t(v) + 1) * to;
    const int64_t den = 2 * int64_t(from);
    int64_t q = num / den;
    if (num % den != 0 && num < 0)
        --q; // floor, not truncation, for points left of or above the picture
    return int(std::clamp<int64_t>(q, 0, to - 1));
}

// The display in use of a device: its size and orientation.
struct InUse {
    int width = 0, height = 0, orientation = 0;
    bool operator==(const InUse&) const = default;
};

InUse DisplayInUseOf(Connection& c)
{
    const DisplayGeometry g = c.display();
    if (c.screen().flipState.load() != 0 && g.altDepth != 0)
        return {g.altWidth, g.altHeight, g.altOrientation};
    return {g.width, g.height, g.orientation};
}

// The device of a member, when it is still the one the broadcast started with.
Device* DeviceOf(Program& program, int slot, uint64_t serial)
{
    Device* d = program.device(slot);
    return d && d->serial() == serial && d->hasConnection() ? d : nullptr;
}

} // namespace

InputPacket MapInputPacket(const InputPacket& packet, int W, int H, int W2, int H2)
{
    if (!IsPointerCode(packet[0]) || (W == W2 && H == H2))
        return packet;
    // Carried as 16 bits; a point left of or above the picture (a drag off it) is negative.
    const int x = int16_t(loadLe16(packet.data() + 4));
    const int y = int16_t(loadLe16(packet.data() + 6));
    return MakeMousePacket(packet[0], MapProportional(x, W, W2), MapProportional(y, H, H2));
}

struct InputBroadcast::State {
    explicit State(Program& p) : program(p) {}
    Program& program;
    mutable std::mutex mutex;
    int leader = -1;
    uint64_t leaderSerial = 0;
    std::vector<BroadcastMember> members;
    std::function<void()> changed;
    std::vector<std::function<void()>> more; // addChanged
};

InputBroadcast::InputBroadcast(Program& program) : state_(std::make_unique<State>(program)) {}

InputBroadcast::~InputBroadcast() = default;

void InputBroadcast::start(int leaderSlot, const std::vector<int>& memberSlots)
{
    Program& program = state_->program;
    Device* leader = program.device(leaderSlot);
    if (!leader || !leader->hasConnection()) {
        stop();
        return;
    }
    const InUse shape = DisplayInUseOf(leader->connection());
    std::vector<BroadcastMember> members;
    for (int slot : memberSlots) {
        if (slot == leaderSlot)
            continue; // the leader's own window sends its input
        if (std::any_of(members.begin(), members.end(), [&](const BroadcastMember& m) { return m.slot == slot; }))
            continue;
        Device* d = program.device(slot);
        if (!d || !d->hasConnection())
            continue;
        BroadcastMember m{slot, d->serial()};
        m.otherGeometry = !(DisplayInUseOf(d->connection()) == shape);
        m.mark = m.otherGeometry ? BroadcastMark::OtherGeometry : BroadcastMark::None;
        members.push_back(m);
    }
    {
        std::lock_guard lock(state_->mutex);
        state_->leader = leaderSlot;
        state_->leaderSerial = leader->serial();
        state_->members = std::move(members);
    }
    notify();
}

void InputBroadcast::stop()
{
    {
        std::lock_guard lock(state_->mutex);
        if (state_->leader < 0)
            return;
        state_->leader = -1;
        state_->leaderSerial = 0;
        state_->members.clear();
    }
    notify();
}

bool InputBroadcast::active() const { return leader() >= 0; }

int InputBroadcast::leader() const
{
    std::lock_guard lock(state_->mutex);
    return state_->leader;
}

std::vector<BroadcastMember> InputBroadcast::members() const
{
    std::lock_guard lock(state_->mutex);
    return state_->members;
}

void InputBroadcast::leaveOut(int slot)
{
    bool found = false;
    {
        std::lock_guard lock(state_->mutex);
        for (BroadcastMember& m : state_->members)
            if (m.slot == slot && m.mark != BroadcastMark::LeftOut) {
                m.mark = BroadcastMark::LeftOut;
                found = true;
            }
    }
    if (found)
        notify();
}

void InputBroadcast::setChanged(std::function<void()> changed)
{
    std::lock_guard lock(state_->mutex);
    state_->changed = std::move(changed);
}

void InputBroadcast::addChanged(std::function<void()> changed)
{
    std::lock_guard lock(state_->mutex);
    state_->more.push_back(std::move(changed));
}

void InputBroadcast::notify()
{
    std::vector<std::function<void()>> listeners;
    {
        std::lock_guard lock(state_->mutex);
        listeners = state_->more;
        listeners.insert(listeners.begin(), state_->changed);
    }
    for (const auto& f : listeners)
        if (f)
            f();
}

// Hands one input to every member that can take it now: `send(connection, leaderShape,
// memberShape)` queues it on the member's own sender and never waits on its link.
// Members that cannot are marked Skipped; those whose device has gone leave. Runs on
// the thread that sends the leader's input, which is the one that closes devices, so
// a device found in the table stays while it is used here.
template <class Deliver>
void InputBroadcast::deliver(Deliver send)
{
    Program& program = state_->program;
    std::vector<BroadcastMember> members;
    int leaderSlot = -1;
    uint64_t leaderSerial = 0;
    {
        std::lock_guard lock(state_->mutex);
        leaderSlot = state_->leader;
        leaderSerial = state_->leaderSerial;
        members = state_->members;
    }
    if (leaderSlot < 0)
        return;
    Device* leader = DeviceOf(program, leaderSlot, leaderSerial);
    if (!leader) {
        stop(); // the leader has gone: nobody leads
        return;
    }
    if (leader->view().recordState.load() == RecordState::Playing)
        return; // a scenario drives the leader; its window's input went nowhere
    const InUse shape = DisplayInUseOf(leader->connection());
    bool changed = false;
    std::vector<BroadcastMember> kept;
    for (BroadcastMember m : members) {
        const BroadcastMember before = m;
        Device* d = DeviceOf(program, m.slot, m.serial);
        if (!d) {
            changed = true; // it has gone: it leaves the broadcast
            continue;
        }
        if (m.mark != BroadcastMark::LeftOut) {
            Connection& c = d->connection();
            const InUse to = DisplayInUseOf(c);
            m.otherGeometry = !(to == shape);
            const bool reachable = d->state() == DeviceState::Live && c.running() && !c.reconnecting() &&
                                   c.view().recordState.load() != RecordState::Playing && !c.sender().stalled();
            if (reachable) {
                send(c, shape, to);
                m.mark = m.otherGeometry ? BroadcastMark::OtherGeometry : BroadcastMark::None;
            } else {
                m.mark = BroadcastMark::Skipped;
                ++m.missed;
            }
        }
        changed = changed || m.mark != before.mark || m.otherGeometry != before.otherGeometry;
        kept.push_back(m);
    }
    {
        std::lock_guard lock(state_->mutex);
        if (state_->leader != leaderSlot || state_->leaderSerial != leaderSerial)
            return; // started again or stopped meanwhile (from inside a send)
        // Marks set meanwhile by leaveOut stay.
        for (BroadcastMember& m : kept)
            for (const BroadcastMember& now : state_->members)
                if (now.slot == m.slot && now.mark == BroadcastMark::LeftOut)
                    m.mark = BroadcastMark::LeftOut;
        state_->members = std::move(kept);
    }
    if (changed)
        notify();
}

void InputBroadcast::leaderSent(const InputPacket& packet, bool queueEvents)
{
    deliver([&](Connection& c, const InUse& from, const InUse& to) {
        c.sendInput(MapInputPacket(packet, from.width, from.height, to.width, to.height), queueEvents);
    });
}

void InputBroadcast::leaderSentMessage(const std::vector<uint8_t>& message)
{
    if (message.empty())
        return;
    deliver([&](Connection& c, const InUse&, const InUse&) { c.sendMessage(message); });
}

} // namespace sorvane
