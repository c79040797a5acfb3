#pragma once
// What the status window reads about one connection: the byte and event
// counters of its link.
//
// Thread: read on the user-interface thread while the connection thread may be
// counting; implementations read each counter whole (they are 32-bit values
// written whole), so a snapshot may mix counts from moments a few bytes apart.

#include <cstdint>
#include <functional>

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
    // The counters of the connection of slot number `slot` (0..32).
    virtual LinkCounterSnapshot counters(int slot) const = 0;
};

class Connection;

// The counters of the live connections, each read through its connection.
class LinksCounterSource final : public LinkCounterSource {
public:
    // find: the connection of a slot number, or nullptr.
    explicit LinksCounterSource(std::function<const Connection*(int slot)> find) : find_(std::move(find)) {}
    LinkCounterSnapshot counters(int slot) const override; // zeros for a slot without one

private:
    std::function<const Connection*(int slot)> find_;
};

} // namespace sorvane
