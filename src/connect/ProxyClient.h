#pragma once
// The proxy server's two exchanges, over TCP to the profile's address and port:
//
//   device table:  PC sends the byte 92; the proxy answers a 32-bit count n (1..33,
//                  anything else is refused) and n records of 384 bytes in the
//                  LinkRecord layout. Of a record the list uses handle (non-zero: the
//                  proxy has this device), deviceName, the first word after port
//                  (proxyWords[0], non-zero: in use) and ipAddress (the client using
//                  it, network byte order).
//   open a device: PC sends 80 'P' and the record's 32-bit index (5 bytes); the proxy
//                  answers one byte, 97 'a' = granted, anything else = refused. After
//                  a grant the same connection carries the device protocol, starting
//                  with the handshake.
// Each exchange uses a connection of its own (the table's is closed after it).
//
// The Dialer (Dialer.h) is what uses these; a connect flow dials through it.
//
// Threads: every function here blocks (up to 3 × 1.5 s to connect, the link's receive
// waits after) and runs on a worker thread or the command line's thread.

#include <cstdint>
#include <string>
#include <vector>

#include "connect/CancelToken.h"
#include "connect/PendingLink.h"
#include "link/LinkRecord.h"
#include "platform/Clock.h"
#include "platform/Transport.h"
#include "settings/Profile.h"

namespace sorvane {

inline constexpr int kProxyConnectAttempts = 3;
inline constexpr uint32_t kProxyConnectWaitMs = 1500;
inline constexpr uint8_t kProxyTableRequest = 92;
inline constexpr uint8_t kProxyOpenRequest = 80; // 'P'
inline constexpr uint8_t kProxyGranted = 97;     // 'a'
inline constexpr uint32_t kProxyMaxRecords = 33;

// A proxy port the profile may hold but TCP cannot use (0, or above 65535).
bool validProxyPort(uint32_t port);

// ProxyConnect without the table: the link takes the profile's kind, port and address,
// and a socket connected to the proxy (up to 3 attempts, each waiting up to 1.5 s for
// the connection). False when every attempt failed, the port is not 1..65535, or the
// attempt was cancelled.
bool ProxyConnect(PendingLink& link, const Profile& profile, TransportFactory& factory);

enum class ProxyTableStatus {
    Ok,
    BadPort,     // the profile's port is not 1..65535
    Unreachable, // no connection in 3 attempts
    BadCount,    // the count was not 1..33 (or did not arrive)
    Short,       // fewer record bytes arrived than the count announced
};

struct ProxyTable {
    ProxyTableStatus status = ProxyTableStatus::Unreachable;
    std::vector<LinkRecord> records; // `count` records when Ok
};

// ProxyConnect with the table: connects, asks for the table, reads it and closes the
// connection again.
ProxyTable FetchProxyTable(Clock& clock, const Profile& profile, TransportFactory& factory,
                           CancelToken* cancel = nullptr);

// One row of the proxy dialog's list.
struct ProxyRow {
    std::string name;
    std::string connection; // "Available", or the address of the client using it
    uint32_t index = 0;     // the record's index in the table
    bool operator==(const ProxyRow&) const = default;
};

// The rows for a table: every record whose handle is not 0 and whose name is not
// empty, in table order.
std::vector<ProxyRow> proxyRows(const std::vector<LinkRecord>& records);
// A client address word as the proxy sends it (network byte order): "%d.%d.%d.%d",
// the first octet first.
std::string proxyClientAddress(uint32_t wireWord);

enum class ProxyOpenStatus {
    Passed,          // granted, and the handshake passed: the link is ready to install
    BadPort,         // the profile's port is not 1..65535
    Unreachable,     // no connection to the proxy
    Refused,         // the proxy did not grant the open request
    HandshakeFailed, // granted, but the device's handshake failed
};

// Why an open failed, for callers that name the cause.
struct ProxyOpenDetail {
    bool answered = false;   // the proxy answered the open request (with any byte)
    bool peerClosed = false; // unanswered because the proxy closed the connection
    HandshakeStatus handshake = HandshakeStatus::NoLink; // of a granted open
};

// Connects to the proxy for record `index` of its table: the link takes the record's
// screen facts and name, then ProxyConnect, the open request and the handshake on the
// same socket. Anything but Passed leaves the link closed. Refused covers an open
// request that got no answer too; detail (may be null) tells them apart.
ProxyOpenStatus OpenProxyDevice(PendingLink& link, const Profile& profile, const LinkRecord& record, uint32_t index,
                                TransportFactory& factory, ProxyOpenDetail* detail = nullptr);

} // namespace sorvane
