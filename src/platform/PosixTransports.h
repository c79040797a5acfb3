#pragma once
// The system's transports: non-blocking TCP and IrDA sockets, serial lines through
// termios. See Transport.h for the contract every one of them keeps.

#include <atomic>
#include <cstddef>
#include <memory>
#include <string>

#include "platform/Transport.h"

namespace sorvane {

class PosixTransportFactory final : public TransportFactory {
public:
    std::unique_ptr<SocketTransport> openTcp() override;
    // AF_IRDA where the kernel still offers it; nullptr everywhere else.
    std::unique_ptr<SocketTransport> openIrda() override;
    std::unique_ptr<Transport> openSerial(const std::string& path, SerialSetup setup) override;
};

// A connected or connecting stream socket; owns the descriptor.
//
// A receive of fewer than kReadAhead bytes asks the system for up to kReadAhead and
// keeps what it did not want for the next receives, which take those bytes first and
// in order: a reply's 2-byte length, its header and the start of its payload come in
// one system call. A wait for data wakes once as many bytes as the last receive still
// wanted are there (or the system's buffer is full), not at every arriving piece.
class PosixSocket : public SocketTransport {
public:
    explicit PosixSocket(int fd) : fd_(fd) {}
    ~PosixSocket() override;
    IoResult receive(std::span<uint8_t> buffer) override;
    IoResult send(std::span<const uint8_t> data) override;
    bool waitReadable(uint32_t ms) override;
    void shutdown() override;
    bool close() override;
    ConnectStatus connect(const Ipv4Endpoint& target) override;
    ConnectStatus waitConnected(uint32_t timeoutMs) override;

    // Takes an already connected descriptor (an accepted connection, a listener's
    // peer), switching it to non-blocking mode.
    static std::unique_ptr<PosixSocket> adopt(int fd);

    static constexpr size_t kReadAhead = 4096;

protected:
    int fd_;
    std::atomic<bool> shut_{false};

private:
    IoResult receiveFromSystem(std::span<uint8_t> buffer);

    std::unique_ptr<uint8_t[]> ahead_; // made by the first small receive
    size_t aheadFirst_ = 0, aheadEnd_ = 0;
    bool failed_ = false; // the system reported an error while read-ahead bytes were handed out
    // What the last receive left wanted; a send starts a new exchange and clears it.
    std::atomic<size_t> stillWanted_{0};
    int lowWater_ = 1; // the socket's receive low-water mark as last set
};

// Opens and prepares a serial line; nullptr when the path cannot be opened, is not a
// terminal, is held by another program, or refuses the settings.
std::unique_ptr<Transport> openSerialLine(const std::string& path, SerialSetup setup);

} // namespace sorvane
