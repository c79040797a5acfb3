#pragma once
// A bare loopback client for the simulator tests: sends bytes and reads exact counts
// with a time limit, nothing of the protocol beyond the four-byte packet.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace sorvane::test {

using Bytes = std::vector<uint8_t>;

Bytes packet(uint8_t code);
Bytes inputPacket(uint8_t code, uint16_t a, uint16_t b);
Bytes le32(uint32_t v);
Bytes operator+(Bytes a, const Bytes& b);

class RawClient {
public:
    // Connects to 127.0.0.1:port; throws on failure.
    explicit RawClient(int port);
    // Uses an open descriptor (a pseudo-terminal slave, say); takes ownership.
    explicit RawClient(int fd, bool terminal);
    ~RawClient();
    RawClient(const RawClient&) = delete;
    RawClient& operator=(const RawClient&) = delete;

    void send(const Bytes& b);
    // Exactly n bytes; nullopt when the peer closed or the time ran out first.
    std::optional<Bytes> read(size_t n, std::chrono::milliseconds timeout = std::chrono::seconds(20));
    // True when the peer closes the connection (end of stream) within the time.
    bool closedByPeer(std::chrono::milliseconds timeout = std::chrono::seconds(20));
    void close();

    // Shortcuts of the handshake: hello answered with 'a', the 332-byte info block.
    Bytes hello();
    Bytes info();

private:
    int fd_ = -1;
    bool terminal_ = false;
};

// The line the simulator prints next that starts with prefix (others are skipped);
// nullopt when none comes in time.
class SimProcess;
std::optional<std::string> nextLine(SimProcess& sim, const std::string& prefix,
                                    std::chrono::milliseconds timeout = std::chrono::seconds(20));

} // namespace sorvane::test
