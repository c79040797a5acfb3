#pragma once
// The inbound listener: one listening TCP socket on the InboundPort setting, on
// which device agents connect towards the PC. The main window polls it on its timer
// (acceptPending, at most one connection per call); the Default Settings dialog
// moves it to another port through InboundListenerPort.
//
// Thread: user-interface thread only. Nothing here blocks: the listening socket is
// non-blocking and accepting is a poll with a zero time-out.

#include <cstdint>
#include <optional>

namespace sorvane {

// What the settings dialog needs of the listener.
class InboundListenerPort {
public:
    virtual ~InboundListenerPort() = default;
    // The port listened on; 0 when not listening.
    virtual int listeningPort() const = 0;
    // Moves the listener to newPort: closes the listening socket and starts it on
    // newPort. When that fails (port in use, or not a port 1..65535), starts it again
    // on the port it had, so that port stays in force, and returns false.
    virtual bool reopen(int newPort) = 0;
};

// An accepted connection's socket, owned: closed when the object goes unless
// released. The socket is in blocking mode.
class AcceptedSocket {
public:
    AcceptedSocket(int fd, uint32_t peerAddress, uint16_t peerPort)
        : fd_(fd), peerAddress_(peerAddress), peerPort_(peerPort) {}
    AcceptedSocket(AcceptedSocket&& other) noexcept;
    AcceptedSocket& operator=(AcceptedSocket&& other) noexcept;
    AcceptedSocket(const AcceptedSocket&) = delete;
    AcceptedSocket& operator=(const AcceptedSocket&) = delete;
    ~AcceptedSocket();

    int fd() const { return fd_; }
    int release(); // hands the socket over; the object no longer closes it
    // The peer's IPv4 address as the accept call reports it (network byte order).
    uint32_t peerAddressNetworkOrder() const { return peerAddress_; }
    uint16_t peerPort() const { return peerPort_; }

private:
    int fd_ = -1;
    uint32_t peerAddress_ = 0;
    uint16_t peerPort_ = 0;
};

class InboundListener final : public InboundListenerPort {
public:
    enum class StartResult {
        Listening,
        NoSocket,   // no socket could be created at all
        BindFailed, // bind or listen failed (port in use, not allowed, out of range)
    };

    // bindAddress: IPv4 address with the first octet in the most significant byte;
    // 0 = every interface (the program). Tests bind a loopback address.
    explicit InboundListener(uint32_t bindAddress = 0);
    ~InboundListener() override;
    InboundListener(const InboundListener&) = delete;
    InboundListener& operator=(const InboundListener&) = delete;

    // Closes any listening socket, then listens on port (0: a port the system picks).
    StartResult StartInboundListener(int port);
    void close();
    bool isListening() const { return fd_ >= 0; }

    // One pending connection, if any (a zero time-out poll).
    std::optional<AcceptedSocket> acceptPending();

    int listeningPort() const override { return port_; }
    bool reopen(int newPort) override;

private:
    uint32_t bindAddress_;
    int fd_ = -1;
    int port_ = 0; // the bound port while listening
};

} // namespace sorvane
