#pragma once
// LAN Auto Discovery: a 4-byte request datagram to the broadcast address and port of
// the platform settings, and the 288-byte replies of the agents that hear it.
//
//   request (4 bytes)        reply (exactly 288 bytes; any other size is ignored)
//     0  'U' (0x55)            0      'U'
//     1  0                     1..3   not read
//     2..3 zero                4..255 device name, NUL-terminated
//                              256..287 device password, NUL-terminated; empty = none
// The device's address is the sender address of its reply.
//
// Discovered devices are kept as records of the password table (100 × 288 bytes):
//   0..3 the address, network byte order (first octet first); 4..255 the name;
//   256..287 the password.
// At most 100 devices are kept; further devices are not listed (DiscoveredDevices
// refuses them, LanDiscovery stops reporting new ones).
//
// Threads: LanDiscovery runs on one thread at a time (a worker of the LAN dialog, or
// the command line's main thread); DiscoveredDevices belongs to the user-interface
// thread. Nothing here shows a message.

#include <array>
#include <cstdint>
#include <optional>
#include <set>
#include <span>
#include <string>

#include "connect/CancelToken.h"
#include "link/PasswordTable.h"

namespace sorvane {

inline constexpr size_t kLanRequestSize = 4;
inline constexpr size_t kLanReplySize = 288;
inline constexpr uint8_t kLanMagic = 0x55; // 'U'
inline constexpr uint32_t kLanTickMs = 3000;
inline constexpr uint32_t kLanReplyWaitMs = 1500;
inline constexpr uint32_t kLimitedBroadcast = 0xFFFFFFFF; // 255.255.255.255

struct LanDevice {
    uint32_t address = 0; // host order: first octet in the most significant byte
    std::string name;
    std::array<uint8_t, PasswordTable::kPasswordSize> password{}; // as received
    bool operator==(const LanDevice&) const = default;
};

std::array<uint8_t, kLanRequestSize> encodeLanRequest();
// A reply datagram of exactly 288 bytes starting with 'U'; nullopt for anything else.
std::optional<LanDevice> decodeLanReply(std::span<const uint8_t> datagram, uint32_t senderAddress);

// "a.b.c.d", first octet first.
std::string dottedAddress(uint32_t hostOrder);

// The discovered-device table over a password table's records.
class DiscoveredDevices {
public:
    explicit DiscoveredDevices(PasswordTable& table) : table_(table) {}

    size_t count() const { return count_; }
    void clear() { count_ = 0; }
    // Appends a record for a device whose address is not listed yet; its index, or
    // nullopt for a known address or a full table.
    std::optional<size_t> append(const LanDevice& device);
    // The device of record i (i < count()).
    LanDevice device(size_t i) const;
    bool hasPassword(size_t i) const { return !table_.password(i).empty(); }
    PasswordTable& table() { return table_; }

private:
    PasswordTable& table_;
    size_t count_ = 0;
};

class LanDiscovery {
public:
    LanDiscovery() = default;
    ~LanDiscovery();
    LanDiscovery(const LanDiscovery&) = delete;
    LanDiscovery& operator=(const LanDiscovery&) = delete;

    // A non-blocking UDP socket that will send to address:port (host order). Broadcast
    // sending is switched on for 255.255.255.255 from the start and for any other
    // address as soon as the system calls it a broadcast address. False with error
    // when no socket can be made or the port is not 1..65535.
    bool open(uint32_t address, int port, std::string& error);
    void close();
    bool isOpen() const { return fd_ >= 0; }

    // One tick: sends the request, waits up to waitMs for replies, then reads what has
    // arrived until a device appears that this object has not reported before: that
    // device, or nullopt. Replies of other sizes and repeated addresses are dropped;
    // later replies stay queued for the next tick. Returns early when cancelled.
    std::optional<LanDevice> tick(uint32_t waitMs, const CancelToken* cancel = nullptr);

    // Whether the last request could be sent (for the command line's reasons).
    bool lastSendFailed() const { return sendFailed_; }

private:
    std::optional<LanDevice> readQueued();

    int fd_ = -1;
    uint32_t address_ = 0;
    uint16_t port_ = 0;
    bool broadcastOn_ = false;
    bool sendFailed_ = false;
    std::set<uint32_t> reported_;
};

} // namespace sorvane
