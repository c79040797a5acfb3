#pragma once
// A scripted device agent for handshake tests: a thread that serves one link, either a
// loopback TCP connection it accepts or the master side of a pseudo-terminal. It
// reads command packets and answers the hello, the device information and the
// palette request as its script says; every code it receives is recorded.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "link/DeviceInfoBlock.h"

namespace sorvane::test {

std::vector<uint8_t> replyPacket(uint8_t code);

struct AgentScript {
    DeviceInfoBlock info;
    std::vector<uint8_t> helloAnswer = replyPacket('a'); // everything sent after 'P'
    uint32_t paletteFlag = 1;
    std::vector<uint8_t> palette;     // sent after a non-zero flag
    std::vector<uint8_t> afterPalette; // sent right after the palette
    bool silent = false;              // reads, never answers
    size_t infoBytes = DeviceInfoBlock::kSize; // fewer: sends that many, then closes
};

// An info block of a device of this depth, 240 x 320, named "Sim <depth>", with a
// second display, and its palette of (4 << depth) bytes for depths below 16.
AgentScript deviceScript(int32_t depth, const std::string& password = "");

class FakeAgent {
public:
    enum class Kind { Tcp, Pty };
    FakeAgent(Kind kind, AgentScript script);
    ~FakeAgent();
    FakeAgent(const FakeAgent&) = delete;
    FakeAgent& operator=(const FakeAgent&) = delete;

    uint16_t port() const { return port_; }       // Tcp: the listening port on 127.0.0.1
    const std::string& path() const { return path_; } // Pty: the terminal the client opens

    // Waits until the client has closed the link (bounded); then returns every
    // command code received, in order.
    std::vector<uint8_t> commandsAfterClose();

private:
    void run();
    void serve(int fd);
    bool writeAll(int fd, const std::vector<uint8_t>& bytes);

    Kind kind_;
    AgentScript script_;
    int listener_ = -1;
    int master_ = -1;
    int slave_ = -1;
    int stop_ = -1;
    uint16_t port_ = 0;
    std::string path_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<uint8_t> commands_;
    bool clientGone_ = false;
    std::thread thread_;
};

} // namespace sorvane::test
