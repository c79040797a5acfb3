#pragma once
// One link (LinkSlot) and what stays program-wide about links (Links).
//
// A LinkSlot is one device's link: the device facts from the handshake, the open
// transport, the counters, the palette and the send mutex. A connect attempt owns it
// while it runs (PendingLink), the live connection afterwards. It is free (no device)
// exactly while its deviceName is empty.
//
// Threads: the attempt's thread opens, connects and runs the handshake; while a
// connection is live its connection thread receives, sends and replaces the transport
// after a drop, and the input sender sends. The counters are atomic because several
// threads add to them. Each LinkSend holds the link's sendMutex for the whole message,
// so two threads' messages never interleave on the wire.
//
// Links: the program's clock, the connect target, and which of the 33 slot numbers
// (0..32, the device's number on the wire and in the windows) are taken by live
// links, with their kind and address. One Links object, made by the program and
// passed by reference; it lives as long as the program.

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "link/DisplayGeometry.h"
#include "link/LinkRecord.h"
#include "platform/Clock.h"
#include "platform/Transport.h"

namespace sorvane {

class LinkSlot {
public:
    static constexpr size_t kPaletteSize = 1024; // 256 entries: red, green, blue, unused

    // Device facts (see LinkRecord for their meaning).
    int32_t depth = 0;
    int32_t width = 0;
    int32_t height = 0;
    int32_t orientation = 0;
    int32_t altDepth = 0;
    int32_t altWidth = 0;
    int32_t altHeight = 0;
    int32_t altOrientation = 0;
    int32_t spareInfo = 0;
    uint32_t linkKind = 0;
    uint32_t port = 0;
    uint32_t ipAddress = 0;
    std::string deviceName; // empty = slot free; at most 255 characters

    // Words a proxy's record carries that this program does not use; kept so a
    // record taken in is passed on with them.
    std::array<uint32_t, 2> proxyWords{};
    uint32_t handleWord = 0;
    std::array<uint32_t, 5> spareWords{};
    std::array<uint8_t, 32> tail{};

    std::atomic<uint32_t> bytesSent{0};
    std::atomic<uint32_t> bytesReceived{0};
    std::atomic<uint32_t> keyPresses{0};
    std::atomic<uint32_t> mouseClicks{0};

    std::unique_ptr<Transport> transport; // nullptr = no transport open
    std::mutex sendMutex;
    // Set by a receive that found the link closed by the device in order; the link's
    // owner reads it (and clears it when a new transport takes the old one's place).
    std::atomic<bool> closedByPeer{false};

    // This connection's own palette: filled by the handshake and the 8-bit palette
    // query, read by the frame-buffer setup.
    std::array<uint8_t, kPaletteSize> palette{};

    bool isFree() const { return deviceName.empty(); }
    // The device facts above as one value.
    DisplayGeometry display() const
    {
        return DisplayGeometry{depth, width, height, orientation, altDepth, altWidth, altHeight, altOrientation};
    }
    void resetCounters();

    // The slot as a 384-byte record (handle: the carried word), and the reverse,
    // which takes every field, counters included, and leaves the transport alone.
    LinkRecord record() const;
    void assign(const LinkRecord& r);
};

// The destination of TCP connects, and the ActiveSync rotation. The rotation has its
// own position, so connects of other kinds in between do not restart it.
struct TargetAddress {
    Ipv4Endpoint endpoint;
    unsigned activeSyncNext = 0; // index of the candidate the next ActiveSync attempt uses
};

// What a taken slot number is taken by.
struct SlotUse {
    uint32_t linkKind = 0;
    uint32_t port = 0;
    uint32_t ipAddress = 0;
};

class Links {
public:
    static constexpr int kSlotCount = 33;

    explicit Links(Clock& clock) : clock_(clock) {}
    Links(const Links&) = delete;
    Links& operator=(const Links&) = delete;

    static bool valid(int slot) { return slot >= 0 && slot < kSlotCount; }

    // AllocLinkSlot: the lowest slot number not taken, kSlotCount when every one is.
    // Marks nothing.
    int allocSlot() const;
    // Takes slot number `slot` for a live link; false when it is taken or not 0..32.
    bool take(int slot, const SlotUse& use);
    void release(int slot);
    bool taken(int slot) const;
    // The uses of every taken slot number, in slot order.
    std::vector<SlotUse> inUse() const;

    Clock& clock() { return clock_; }

    // Written and read by the user-interface thread only (one attempt at a time).
    TargetAddress target;
    // Connections started and not yet destroyed.
    std::atomic<uint32_t> liveConnections{0};

private:
    Clock& clock_;
    mutable std::mutex mutex_; // any thread takes and releases
    std::array<std::optional<SlotUse>, kSlotCount> uses_{};
};

} // namespace sorvane
