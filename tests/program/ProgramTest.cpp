// The device table of a Program: its events, whatever thread reports them, and the 33
// slots. (That built-in settings leave the user's files alone is sorvane-cli's test.)

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "platform/PosixTransports.h"
#include "program/Program.h"

namespace sorvane {
namespace {

// Every event as "added 3", "state 3 Live", "removed 3", in the order they came.
class Recorder final : public ProgramEvents {
public:
    void deviceAdded(int slot, uint64_t) override { note("added " + std::to_string(slot)); }
    void deviceStateChanged(int slot, uint64_t, DeviceState state) override
    {
        static const char* const names[] = {"Connecting", "Live", "Reconnecting", "Closed"};
        note("state " + std::to_string(slot) + " " + names[int(state)]);
    }
    void deviceRemoved(int slot, uint64_t) override { note("removed " + std::to_string(slot)); }

    bool waitFor(const std::string& line)
    {
        std::unique_lock lock(mutex_);
        return wake_.wait_for(lock, std::chrono::seconds(20), [&] {
            for (const std::string& l : lines_)
                if (l == line)
                    return true;
            return false;
        });
    }
    std::vector<std::string> lines()
    {
        std::lock_guard lock(mutex_);
        return lines_;
    }

private:
    void note(std::string line)
    {
        std::lock_guard lock(mutex_);
        lines_.push_back(std::move(line));
        wake_.notify_all();
    }
    std::mutex mutex_;
    std::condition_variable wake_;
    std::vector<std::string> lines_;
};

// A link that passed its handshake, its number `slot` taken: a 16 x 8 16-bit device at
// the far end of a socket pair (`far`).
std::unique_ptr<LinkSlot> liveLink(Program& program, int slot, int& far)
{
    int fds[2];
    EXPECT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
    auto link = std::make_unique<LinkSlot>();
    LinkSlot& s = *link;
    program.links().take(slot, SlotUse{uint32_t(LinkKind::Wan)});
    s.transport = PosixSocket::adopt(fds[0]);
    s.linkKind = uint32_t(LinkKind::Wan);
    s.depth = 16;
    s.width = 16;
    s.height = 8;
    s.deviceName = "Fake";
    far = fds[1];
    return link;
}

TEST(ProgramTest, DeviceLifetimeReportsEachStepOnce)
{
    // Closed comes once, whether the device hangs up (on its connection thread) or the
    // program closes it; the slot is free again afterwards.
    const struct {
        const char* name;
        bool deviceHangsUp;
    } cases[] = {{"the device hangs up", true}, {"the program closes it", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Program program(ProgramSetup{});
        Recorder events;
        program.setEvents(&events);
        int far = -1;
        std::unique_ptr<LinkSlot> link = liveLink(program, 5, far);
        std::string error;
        Device* device = program.openDevice(5, std::move(link), Profile{}, 2, ViewStart{}, error);
        ASSERT_TRUE(device) << error;
        EXPECT_EQ(program.device(5), device);
        EXPECT_TRUE(program.profileInUse(2));
        device->start();
        if (c.deviceHangsUp) {
            ::close(far);
            ASSERT_TRUE(events.waitFor("state 5 Closed"));
            EXPECT_EQ(device->state(), DeviceState::Closed);
        }
        program.closeDevice(5);
        EXPECT_EQ(events.lines(), (std::vector<std::string>{"added 5", "state 5 Live", "state 5 Closed", "removed 5"}));
        EXPECT_EQ(program.device(5), nullptr);
        EXPECT_FALSE(program.profileInUse(2));
        EXPECT_FALSE(program.links().taken(5));
        if (!c.deviceHangsUp)
            ::close(far);
    }
}

TEST(ProgramTest, TableHoldsOneDevicePerSlotOfThirtyThree)
{
    std::vector<LinkSlot> links(Program::kMaxDevices + 1); // the callers' links outlive the devices
    Program program(ProgramSetup{});
    std::string error;
    for (int slot = 0; slot < Program::kMaxDevices; ++slot) {
        links[size_t(slot)].deviceName = "D" + std::to_string(slot);
        ASSERT_TRUE(program.openLinkDevice(slot, links[size_t(slot)], error)) << slot << ": " << error;
    }
    EXPECT_EQ(program.liveSlots().size(), 33u);
    const struct {
        int slot;
        const char* why;
    } refused[] = {{-1, "below the table"}, {33, "past the last slot"}, {0, "taken"}, {32, "taken"}};
    for (const auto& r : refused)
        EXPECT_EQ(program.openLinkDevice(r.slot, links.back(), error), nullptr) << r.why;
    // Serials tell a later device in a slot from the one before.
    const uint64_t first = program.device(7)->serial();
    program.closeDevice(7);
    EXPECT_EQ(program.openLinkDevice(7, links[7], error), nullptr) << "a closed link is no device";
    links[7].deviceName = "again";
    ASSERT_TRUE(program.openLinkDevice(7, links[7], error));
    EXPECT_NE(program.device(7)->serial(), first);
}

} // namespace
} // namespace sorvane
