#pragma once
// Builds one screen update: the rectangle that encloses every pixel that differs
// between the new frame and the agent's reference of that display, the exclusive-or
// delta inside it, the configured prediction, the LZW payload and its checksum.
// Rectangles of 4-bit data start at an even column and span an even width; those of
// 2-bit data start and span multiples of 4; an unchanged frame gives the empty update
// (no payload, zero rectangle). One encoder per connection (it owns the random state);
// not thread-safe.

#include "Options.h"
#include "Random.h"
#include "Screen.h"
#include "WireRecords.h"

#include <optional>
#include <span>
#include <vector>

namespace sorvane::sim {

struct BuiltUpdate {
    ScreenUpdateHeader header;
    std::vector<uint8_t> payload;
    bool empty() const { return payload.empty(); }
};

class UpdateEncoder {
public:
    explicit UpdateEncoder(const SimOptions& options);

    // frame and reference: layout.bytes() each. wholeFrame: send the whole frame even if
    // nothing changed (so that a planned fault has a payload to spoil). limit: the
    // largest payload the client accepts; a stream that would exceed it with the
    // configured clear interval is made again without the forced clear codes.
    BuiltUpdate build(const FrameLayout& layout, std::span<const uint8_t> frame, std::span<const uint8_t> reference,
                      bool wholeFrame, size_t limit);

private:
    struct Rect {
        int left, top, right, bottom;
    };
    std::optional<Rect> changedRect(const FrameLayout& l, std::span<const uint8_t> frame,
                                    std::span<const uint8_t> reference) const;
    Rect enlarge(const FrameLayout& l, Rect r);
    uint8_t chooseFlags(int bits);

    const SimOptions& options_;
    std::optional<Random> rects_;
    Random flags_;
};

} // namespace sorvane::sim
