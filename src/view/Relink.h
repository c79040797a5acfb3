#pragma once
// Making a dropped link again (reconnect by itself): the connect layer dials the
// device the way the link was first made and hands over the new link; the
// connection takes it in place of the dropped one, so its window, scale, rotation, recording
// and scenarios go on as they were.
//
// Threads: attempt() on the connection thread; cancel() from any thread.

#include <array>
#include <memory>
#include <optional>
#include <string>

#include "link/LinkRecord.h"
#include "link/Links.h"
#include "platform/Transport.h"

namespace sorvane {

// A link whose handshake passed, not yet in any connection.
struct RelinkedLink {
    LinkRecord record;                                  // device facts and name
    std::array<uint8_t, LinkSlot::kPaletteSize> palette{};
    std::unique_ptr<Transport> transport;
};

class Relinker {
public:
    virtual ~Relinker() = default;
    // One attempt: connect and hand-shake. nullopt with `error` set when it failed
    // (the device is not there yet, it refused, another device answered).
    virtual std::optional<RelinkedLink> attempt(std::string& error) = 0;
    // Ends an attempt in progress at once; every later attempt fails at once.
    virtual void cancel() = 0;
};

// The wait before an attempt, after `attempts` since the link last worked: 1, 2, 4 ...
// seconds, at most 30.
inline uint32_t RelinkDelaySeconds(unsigned attempts)
{
    return attempts >= 5 ? 30u : (1u << attempts);
}

} // namespace sorvane
