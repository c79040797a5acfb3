#pragma once
// What the status window reads about one connection: the byte and event
// counters of its link slot.
//
// Thread: read on the user-interface thread while the connection thread may be
// counting; implementations read each counter whole (they are 32-bit values
// written whole), so a snapshot may mix counts from moments a few bytes apart.

#include <cstdint>

namespace sorvane {

struct LinkCounterSnapshot {
    uint32_t bytesSent = 0;
    uint32_t bytesReceived = 0;
    uint32_t keyPresses = 0;
    uint32_t mouseClicks = 0;
};

class LinkCounterSource {
public:
    virtual ~LinkCounterSource() = default;
    // The counters of link slot `slot` (0..32).
    virtual LinkCounterSnapshot counters(int slot) const = 0;
};

class Links;

// The counters of the program's link slots.
class LinksCounterSource final : public LinkCounterSource {
public:
    explicit LinksCounterSource(const Links& links) : links_(links) {}
    LinkCounterSnapshot counters(int slot) const override; // zeros for a bad slot

private:
    const Links& links_;
};

} // namespace sorvane
