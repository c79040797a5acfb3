#pragma once
// The system's transports: non-blocking TCP and IrDA sockets, serial lines through
// termios. See Transport.h for the contract every one of them keeps.

#include <atomic>
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

protected:
    int fd_;
    std::atomic<bool> shut_{false};
};

// Opens and prepares a serial line; nullptr when the path cannot be opened, is not a
// terminal, is held by another program, or refuses the settings.
std::unique_ptr<Transport> openSerialLine(const std::string& path, SerialSetup setup);

} // namespace sorvane
