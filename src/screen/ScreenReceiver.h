#pragma once
// The screen update exchange: one poll asks the agent for the changed rectangle of
// the display in use, checks and decodes it, undoes the prediction, XORs it into the
// reference frame and the shown picture, and reports the changed area.
//
// Thread: the connection thread only. Blocks as long as the link's receive allows.

#include <cstdint>

#include "screen/ScreenState.h"

namespace sorvane {

enum class PollOutcome {
    Skipped,        // minimised: this poll was not sent
    Unchanged,      // the agent reported no change (or a payload that did not arrive)
    Applied,        // an update was applied and reported
    Refreshed,      // a bad update: 'Q' sent, reference frame zeroed
    PaletteChanged, // 8-bit palette replaced, pictures rebuilt
    Dropped,        // the link ended
    Unsupported,    // the depth in use has no receiver
};

// ScreenUpdate header: 20 bytes, little-endian, then payloadLength bytes of LZW data.
//   bytes  0-1   headerLength (20; other lengths are handled per depth)
//   byte   2     flags: 0x04 rows XORed with the row below, 0x02 pixels with the left one
//   byte   3     unused
//   bytes  4-7   payloadLength
//   bytes  8-11  checksum: CRC-32 of the payload
//   bytes 12-19  left, top, right, bottom: the changed rectangle, inclusive, in the
//                agent's native rows and columns
struct ScreenUpdateHeader {
    static constexpr size_t kSize = 20;
    static constexpr uint8_t kRowXor = 0x04;
    static constexpr uint8_t kPixelXor = 0x02;
    uint16_t headerLength = 20;
    uint8_t flags = 0;
    uint32_t payloadLength = 0;
    uint32_t checksum = 0;
    uint16_t left = 0, top = 0, right = 0, bottom = 0;

    static ScreenUpdateHeader decode(const uint8_t* p); // the first 20 bytes
    void encode(uint8_t* p) const;
};

inline constexpr uint32_t kPaletteChanged = 0x12345678;

// PollScreen: one exchange for the display in use, dispatched by its depth.
PollOutcome PollScreen(LinkChannel& channel, ScreenState& state, ScreenSink& sink);

// Refresh Display, on the connection thread: 'Q', its reply packet, and both reference
// frames zeroed (for 8-bit data the shown picture, which is its own reference).
void RefreshScreen(LinkChannel& channel, ScreenState& state);

} // namespace sorvane
