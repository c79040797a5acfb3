#pragma once
// The opening handshake on a freshly opened link:
//   1. hello 'P'; the agent answers 'a', or 'e' (not yet) any number of times first
//   2. device information (92) -> the 332-byte DeviceInfoBlock
//   3. depth 2, 4, 8 or 16 is accepted; lowColor goes off for every depth but 16;
//      displays beyond the memory bounds (DisplayBounds.h) are refused at once, before
//      any password question or palette and before anything is allocated for them
//   4. the admission hook, where there is one (inbound devices from strangers); then
//      WAN links (kind 4) of a device with a password ask for it
//   5. depths below 16: the palette (93 ']'): a 32-bit flag, then (4 << depth) bytes
//      when the flag is not 0
//   6. on success: counters zeroed, frame buffers built, the device name written.
// A failed handshake never writes deviceName. ConnectLink connects a socket link
// first and then runs it.
//
// Threads: runs where the connect flow runs (one attempt at a time), before the
// link's connection thread exists. Blocks for the link's receive waits; the password
// prompt blocks as long as the user takes.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "link/PasswordTable.h"

namespace sorvane {

class Clock;
class LinkSlot;
struct Ipv4Endpoint;

// Asks the user for the password of a device. Returns 1 when the typed password
// matched record `record` of the table (passwordMatches) and OK was pressed, 2 on
// Cancel.
class PasswordPrompt {
public:
    virtual ~PasswordPrompt() = default;
    virtual int askPassword(const PasswordTable& table, size_t record) = 0;
    // The same, for an attempt that may be cancelled while the user is asked:
    // `cancelled` is polled while the answer is awaited, and a cancelled attempt gets 2
    // at once (its question, if shown, is withdrawn).
    virtual int askPassword(const PasswordTable& table, size_t record, const std::function<bool()>& cancelled)
    {
        return cancelled && cancelled() ? 2 : askPassword(table, record);
    }
};

enum class HandshakeStatus {
    Passed,
    NoLink,             // no transport open
    HelloRefused,       // the hello got no 'a' / 'e' answer
    InfoShort,          // fewer than 332 bytes of device information
    UnsupportedDepth,   // depth not 2, 4, 8 or 16
    DisplayTooLarge,    // the displays break the memory bounds (DisplayBounds.h); the
                        // facts are in the link, DisplayBoundsProblem says why
    PasswordRequired,   // the device asks for a password and there is no prompt
    PasswordCancelled,  // the prompt did not return 1
    FrameBuffersFailed, // the frame-buffer hook refused the device's facts
    NotAdmitted,        // the admission hook turned the device away
};

struct HandshakeEnv {
    PasswordTable& passwords;
    // Asked for WAN devices that have a password; nullptr: such a device fails with
    // PasswordRequired.
    PasswordPrompt* prompt = nullptr;
    // The connection's low colour mode; set to 0 for every depth but 16 (nullptr: none).
    std::atomic<int32_t>* lowColor = nullptr;
    // Builds the link's frame buffers from its facts and palette once everything else
    // passed; false fails the handshake. Empty: nothing to build.
    std::function<bool(const LinkSlot& link)> buildFrameBuffers;
    // Asked once the device's facts and name are known and within bounds, before any
    // password question; false fails the handshake at once (NotAdmitted). Empty:
    // every device is admitted.
    std::function<bool(const std::string& deviceName)> admit;
};

// How long a hello answered only with 'e' is waited for before it counts as refused.
inline constexpr uint32_t kHelloNotYetLimitMs = 20000;
// The name a device that reports an empty one is given, so that its link does not
// count as free while it is live.
inline constexpr const char* kUnnamedDevice = "Unnamed device";

HandshakeStatus DeviceHandshake(LinkSlot& link, Clock& clock, HandshakeEnv& env);

enum class LinkConnectStatus {
    Passed,          // connected and the handshake passed
    NotConnected,    // no IrDA device, refused, no answer within 1.5 s, not a socket kind
    HandshakeFailed, // connected, but the handshake failed (see `handshake`)
};

struct ConnectOutcome {
    LinkConnectStatus status = LinkConnectStatus::NotConnected;
    HandshakeStatus handshake = HandshakeStatus::NoLink;
    bool passed() const { return status == LinkConnectStatus::Passed; }
};

// Connects the link's socket (kinds 0, 3, 4, 5) and runs the handshake. IrDA: the
// devices in range are tried in order on service "CEREMOTE"; the first that connects
// (at once, or within 1.5 s) gets the handshake. TCP: `target`, waiting at most
// 1.5 s. On failure the transport stays in the link; the caller closes it.
ConnectOutcome ConnectLink(LinkSlot& link, Clock& clock, const Ipv4Endpoint& target, HandshakeEnv& env);

} // namespace sorvane
