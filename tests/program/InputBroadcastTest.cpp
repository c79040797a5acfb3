// Input broadcast end to end: simulated devices, each on a loopback address of its own,
// log every packet they receive; the leader's input must reach each member once, mapped
// onto its display, and nobody else; a member that hangs or is reconnecting is skipped
// and marked without holding up the rest.

#include <gtest/gtest.h>

#include <cmath>
#include <csignal>
#include <sstream>
#include <thread>

#include "connect/Dialer.h"
#include "platform/PosixTransports.h"
#include "program/InputBroadcast.h"
#include "program/Program.h"
#include "support/LoopbackSim.h"
#include "support/TempDir.h"
#include "tools/DeviceExchanges.h"
#include "tools/TypeText.h"

namespace sorvane {
namespace {

using namespace std::chrono_literals;
using test::TempDir;

std::string Hex(const InputPacket& p)
{
    char s[17];
    for (int i = 0; i < 8; ++i)
        std::snprintf(s + 2 * i, 3, "%02x", p[i]);
    return s;
}

// The oracle of the mapping: the same place of the picture, by floating point.
int Mapped(int v, int from, int to) { return std::clamp(int(std::lround((v + 0.5) * to / from - 0.5)), 0, to - 1); }

template <class Done>
bool WaitFor(Done done)
{
    for (int i = 0; i < 300 && !done(); ++i)
        std::this_thread::sleep_for(100ms);
    return done();
}

struct Fleet {
    TempDir dir;
    PosixTransportFactory factory; // outlives the program, whose redialling threads use it
    Program program{ProgramSetup{}};
    std::vector<test::LoopbackSim> sims;
    std::vector<Device*> devices;

    // A live device of a simulator started with `args`; `relink`: dialled again if it drops.
    Device* open(std::vector<std::string> args, bool relink = false)
    {
        const size_t n = sims.size();
        args.insert(args.end(), {"--packet-log", (dir / ("d" + std::to_string(n) + ".log")).string()});
        sims.push_back(test::startLoopbackSim(args));
        LinkConfig config;
        config.agentPort = 1899;
        const Dialer dialer(program.clock(), config, factory);
        DialTarget target;
        target.profile.linkKind = uint32_t(LinkKind::Wan);
        target.profile.ipAddress = sims.back().address;
        DialOutcome dialled = dialer.dial(target, nullptr, nullptr);
        EXPECT_TRUE(dialled.passed());
        std::shared_ptr<Relinker> relinker = relink ? dialer.relinker(target, *dialled.link) : nullptr;
        const int slot = program.links().allocSlot();
        program.links().take(slot, SlotUse{uint32_t(LinkKind::Wan)});
        std::string error;
        Device* d = program.openDevice(slot, dialled.link->take(), Profile{}, -1, ViewStart{}, error);
        EXPECT_TRUE(d) << error;
        if (relinker)
            d->connection().setRelinker(relinker);
        d->start();
        devices.push_back(d);
        return d;
    }
    // What simulator i logged, "input" and paste lines only: once it has `atLeast`, it is
    // ended (what it had yet to log is then in too).
    std::vector<std::string> log(size_t i, size_t atLeast = 0)
    {
        auto read = [&] {
            std::istringstream text(test::readFile(dir / ("d" + std::to_string(i) + ".log")));
            std::vector<std::string> lines;
            for (std::string line; std::getline(text, line);)
                if (line.rfind("input ", 0) == 0 || line == "command 64ff6411")
                    lines.push_back(line);
            return lines;
        };
        WaitFor([&] { return read().size() >= atLeast; });
        if (sims[i].process) {
            sims[i].process->signal(SIGTERM);
            sims[i].process->wait(10s);
        }
        return read();
    }
};

TEST(InputBroadcast, KeysPassAndADragOffThePictureLandsOnTheEdge)
{
    const InputPacket key = MakeKeyPacket(input::kKeyDown, 0x41, 1);
    EXPECT_EQ(MapInputPacket(key, 240, 320, 480, 640), key);
    EXPECT_EQ(MapInputPacket(MakeMousePacket(input::kMove, -5, 400), 240, 320, 480, 640),
              MakeMousePacket(input::kMove, 0, 639));
}

TEST(InputBroadcast, ReachesEveryMemberOnceAndSkipsTheStalledAndTheReconnecting)
{
    Fleet f;
    Device* leader = f.open({"--name", "Lead"});
    Device* same = f.open({"--name", "Same"});
    Device* turned = f.open({"--name", "Turned", "--width", "320", "--height", "240", "--orientation", "90"});
    Device* outsider = f.open({"--name", "Outsider"});
    Device* dropping = f.open({"--name", "Dropping"}, true);
    Device* hanging = f.open({"--name", "Hanging", "--stall-after-input", "3"});
    for (Device* d : f.devices)
        ASSERT_TRUE(WaitFor([d] { return d->state() == DeviceState::Live; }));

    InputBroadcast broadcast(f.program);
    int changes = 0;
    broadcast.addChanged([&changes] { ++changes; });
    broadcast.start(leader->slot(), {leader->slot(), same->slot(), turned->slot(), dropping->slot(), hanging->slot()});
    EXPECT_EQ(broadcast.leader(), leader->slot());
    auto markOf = [&](Device* d) {
        for (const BroadcastMember& m : broadcast.members())
            if (m.slot == d->slot())
                return m.mark;
        return BroadcastMark::LeftOut;
    };
    ASSERT_EQ(broadcast.members().size(), 4u); // the leader is not its own member
    EXPECT_EQ(markOf(same), BroadcastMark::None);
    EXPECT_EQ(markOf(turned), BroadcastMark::OtherGeometry);

    f.sims[4].process.reset(); // Dropping's simulator ends: it is dialled again, in vain
    ASSERT_TRUE(WaitFor([&] { return dropping->state() == DeviceState::Reconnecting; }));

    // A tap, a drag to the far corner, a typed word.
    const std::vector<InputPacket> pointer = {MakeMousePacket(input::kLeftDown, 10, 20),
                                              MakeMousePacket(input::kMove, 239, 319),
                                              MakeMousePacket(input::kLeftUp, 239, 319)};
    for (const InputPacket& p : pointer)
        broadcast.leaderSent(p, false);
    const TypedText word = TypeTextPackets("Word");
    broadcast.leaderSentMessage(TypedTextMessage(word.packets));
    EXPECT_EQ(markOf(dropping), BroadcastMark::Skipped);

    // Hanging reads nothing after its third packet: pastes fill its link until its
    // sender cannot write, while the others take every one.
    const std::vector<uint8_t> paste = PasteMessage(std::string(kPasteTextLimit, 'x'));
    int pastes = 0;
    while (pastes < 64 && hanging->connection().sender().pending() < 2) {
        broadcast.leaderSentMessage(paste);
        ++pastes;
        std::this_thread::sleep_for(50ms);
    }
    ASSERT_LT(pastes, 64);
    const InputPacket key = MakeKeyPacket(input::kKeyDown, 0x74, 1);
    int keys = 0;
    ASSERT_TRUE(WaitFor([&] {
        broadcast.leaderSent(key, false);
        ++keys;
        return markOf(hanging) == BroadcastMark::Skipped;
    }));
    EXPECT_EQ(hanging->state(), DeviceState::Live); // skipped for its sender, long before the link gives up
    EXPECT_EQ(markOf(same), BroadcastMark::None);
    EXPECT_EQ(markOf(turned), BroadcastMark::OtherGeometry);
    EXPECT_GT(changes, 2);
    // Everything reached the others while Hanging still held up its own sender.
    EXPECT_GE(hanging->connection().sender().pending(), 1u);

    auto expected = [&](int W, int H) {
        std::vector<std::string> lines;
        for (const InputPacket& p : pointer)
            lines.push_back("input " + Hex(MakeMousePacket(p[0], Mapped(int16_t(p[4] | p[5] << 8), 240, W),
                                                           Mapped(int16_t(p[6] | p[7] << 8), 320, H))));
        for (const InputPacket& p : word.packets)
            lines.push_back("input " + Hex(p));
        lines.insert(lines.end(), size_t(pastes), "command 64ff6411");
        lines.insert(lines.end(), size_t(keys), "input " + Hex(key));
        return lines;
    };
    broadcast.stop();
    EXPECT_EQ(broadcast.leader(), -1);
    EXPECT_EQ(f.log(1, expected(240, 320).size()), expected(240, 320));
    EXPECT_EQ(f.log(2, expected(320, 240).size()), expected(320, 240));
    EXPECT_EQ(outsider->state(), DeviceState::Live);
    EXPECT_TRUE(f.log(3).empty()); // not a member
    EXPECT_TRUE(f.log(0).empty()); // the leader's own input is its window's to send
    const std::vector<std::string> all = expected(240, 320);
    EXPECT_EQ(f.log(5), std::vector<std::string>(all.begin(), all.begin() + 3)); // then it hung
}

} // namespace
} // namespace sorvane
