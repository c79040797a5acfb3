// What the simulator reports of the input it receives, and how it copes with garbage,
// half packets and several clients at once.

#include "RawClient.h"
#include "support/SimProcess.h"

#include <gtest/gtest.h>

#include <random>
#include <thread>

using namespace sorvane::test;
using namespace std::chrono_literals;

TEST(SimInput, ReportsEveryInputPacketAndBatch)
{
    SimProcess sim({"--port", "0"});
    RawClient c(sim.tcpPort());
    c.hello();
    c.send(inputPacket(84, 50, 60) + inputPacket(88, 51, 61) + inputPacket(85, 52, 62) + inputPacket(91, 1, 2) +
           inputPacket(94, 3, 4) + inputPacket(95, 5, 6) + inputPacket(96, 7, 8) + inputPacket(84, 0xFFFB, 400));
    // Key packets: key code, the repeat byte, two zero bytes.
    c.send(packet(86) + Bytes{0x35, 1, 0, 0} + packet(87) + Bytes{0x5B, 0, 0, 0});
    c.send(packet(102) + le32(3) + inputPacket(84, 10, 11) + packet(86) + Bytes{0x70, 2, 0, 0} +
           Bytes{1, 2, 3, 4, 5, 6, 7, 8});
    c.send(packet(102) + le32(0));
    c.send(packet(116));
    std::vector<std::string> expected = {"input 84 50 60", "input 88 51 61", "input 85 52 62", "input 91 1 2",
        "input 94 3 4", "input 95 5 6", "input 96 7 8", "input 84 65531 400", "input 86 53 1", "input 87 91 0",
        "batch 3", "input 84 10 11", "input 86 112 2", "badinput 0102030405060708", "batch 0", "command 116"};
    std::vector<std::string> got;
    while (got.empty() || got.back() != "command 116") {
        auto line = sim.readLine(20s);
        ASSERT_TRUE(line) << "after " << got.size() << " lines";
        if (line->rfind("input", 0) == 0 || line->rfind("batch", 0) == 0 || line->rfind("badinput", 0) == 0 ||
            *line == "command 116")
            got.push_back(*line);
    }
    EXPECT_EQ(got, expected);
}

TEST(SimInput, GarbageAndHalfPacketsNeverStopTheAgent)
{
    SimProcess sim({"--port", "0"});
    {
        RawClient c(sim.tcpPort());
        c.send(Bytes{0x00, 0x11, 0xFF, 0x42, 0x11} + packet(80));
        EXPECT_EQ(c.read(4), packet(97)); // found the hello behind the garbage
        ASSERT_TRUE(nextLine(sim, "garbage 5"));
        // A batch count no client sends is not believed: what follows is read as commands.
        c.send(packet(102) + le32(0x7FFFFFFF) + packet(92));
        EXPECT_EQ(c.read(332).value_or(Bytes{}).size(), 332u);
        ASSERT_TRUE(nextLine(sim, "badbatch 2147483647"));
        // Half an input packet, then the connection goes.
        c.send(packet(84) + Bytes{1});
    }
    ASSERT_TRUE(nextLine(sim, "disconnected 1"));
    {
        RawClient c(sim.tcpPort());
        c.send(packet(102) + le32(2) + inputPacket(84, 1, 1)); // a batch cut short
    }
    ASSERT_TRUE(nextLine(sim, "disconnected 2"));
    {
        RawClient c(sim.tcpPort());
        c.send(packet(82) + Bytes{0xFF}); // leaves in the middle of a screen update
        c.close();
    }
    ASSERT_TRUE(nextLine(sim, "disconnected 3"));
    RawClient c(sim.tcpPort());
    c.hello();
}

TEST(SimInput, ServesClientsAtTheSameTime)
{
    SimProcess sim({"--port", "0"});
    RawClient a(sim.tcpPort());
    RawClient b(sim.tcpPort());
    b.hello(); // the second is served while the first stays silent
    a.hello();
    std::thread other([&] {
        for (int i = 0; i < 20; ++i)
            EXPECT_EQ(b.info().size(), 332u);
    });
    for (int i = 0; i < 20; ++i)
        EXPECT_EQ(a.info().size(), 332u);
    other.join();
}

TEST(SimInput, RandomBytesNeverBringItDown)
{
    SimProcess sim({"--port", "0", "--second", "2:64x64:270", "--depth", "8"});
    std::mt19937 gen(11);
    for (int round = 0; round < 2; ++round) {
        RawClient c(sim.tcpPort());
        Bytes noise;
        // Random bytes, sprinkled with packets of every code so that the agent also
        // starts exchanges and reads payloads in the middle of the noise.
        while (noise.size() < 40000) {
            if (gen() % 4 == 0)
                noise = noise + packet(uint8_t(gen()));
            else
                noise.push_back(uint8_t(gen()));
        }
        c.send(noise);
        c.close();
        ASSERT_TRUE(nextLine(sim, "disconnected " + std::to_string(round + 1)));
    }
    RawClient c(sim.tcpPort());
    c.hello();
    EXPECT_EQ(c.info().size(), 332u);
}
