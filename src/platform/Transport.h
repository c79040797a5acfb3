#pragma once
// The byte pipes a link runs over, as seen by the link layer.
//
// Two families, because the link rules differ between them:
//  - Socket: never blocks. A receive that finds nothing reports WouldBlock; an
//    orderly close by the peer reports PeerClosed.
//  - File (serial lines): a receive blocks until the wanted bytes are there or the
//    line's read time-outs elapse (interval 100 ms between bytes, total 1 ms per byte
//    + 1000 ms) and then reports what arrived, possibly 0 bytes. A send blocks until
//    the bytes are written or its time-out (1 ms per byte + 1000 ms) elapses.
//
// Threads: one thread receives, any thread may send (callers serialise their sends),
// and shutdown() may be called from any thread at any time: from then on every
// receive and send returns Error at once (a blocked one within a few milliseconds).
// close() is called once, when no other thread uses the transport any more.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace sorvane {

enum class IoStatus {
    Ok,         // `bytes` were moved (0 only for a file whose time-out elapsed)
    WouldBlock, // socket: nothing can move now
    PeerClosed, // socket: the peer closed the connection in order
    Error,      // anything else, including a transport that was shut down
};

struct IoResult {
    IoStatus status = IoStatus::Error;
    size_t bytes = 0;
};

class Transport {
public:
    enum class Family { Socket, File };

    virtual ~Transport() = default;
    virtual Family family() const = 0;
    virtual IoResult receive(std::span<uint8_t> buffer) = 0;
    virtual IoResult send(std::span<const uint8_t> data) = 0;
    // Files: clears the line's error state after a failed read or write.
    virtual void clearError() {}
    // Waits up to ms milliseconds for something to receive (data, the peer closing, an
    // error) and returns true; false when this transport cannot wait that way (the
    // caller then just pauses). Only the thread that receives calls it.
    virtual bool waitReadable(uint32_t /*ms*/) { return false; }
    virtual void shutdown() = 0;
    // Releases the system resource; false when that failed. Called at most once.
    virtual bool close() = 0;
};

// An IPv4 endpoint; the address in host order (first octet most significant).
struct Ipv4Endpoint {
    uint32_t address = 0;
    uint16_t port = 0;
    bool operator==(const Ipv4Endpoint&) const = default;
};

enum class ConnectStatus {
    Connected,  // the connection stands
    InProgress, // started; wait for it with waitConnected
    Failed,
};

class SocketTransport : public Transport {
public:
    Family family() const override { return Family::Socket; }
    // Starts a TCP connection without blocking.
    virtual ConnectStatus connect(const Ipv4Endpoint& target) = 0;
    // Waits at most timeoutMs for a connection in progress: Connected, or Failed on
    // time-out, refusal or error. Blocks the caller.
    virtual ConnectStatus waitConnected(uint32_t timeoutMs) = 0;
    // IrDA sockets only: the ids of the devices in range (empty when none or when
    // the enumeration fails), and a connection to one device's named service.
    virtual std::vector<uint32_t> irdaDevices() { return {}; }
    virtual ConnectStatus connectIrda(uint32_t /*deviceId*/, const std::string& /*service*/)
    {
        return ConnectStatus::Failed;
    }
};

// How a serial line is prepared when it is opened.
enum class SerialSetup {
    FullLine, // COM port: 115200 baud, 8N1, raw, no flow control, queues purged
    RawOnly,  // USB serial function: raw byte passing only; speed and framing kept
};

// Makes the system's transports. Tests put a factory of scripted doubles in its place.
class TransportFactory {
public:
    virtual ~TransportFactory() = default;
    // A non-blocking TCP socket; nullptr when none can be made.
    virtual std::unique_ptr<SocketTransport> openTcp() = 0;
    // A non-blocking IrDA stream socket; nullptr where the system has no IrDA.
    virtual std::unique_ptr<SocketTransport> openIrda() = 0;
    // An open serial line; nullptr when the device cannot be opened.
    virtual std::unique_ptr<Transport> openSerial(const std::string& path, SerialSetup setup) = 0;
};

} // namespace sorvane
