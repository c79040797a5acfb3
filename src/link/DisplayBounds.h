#pragma once
// How much memory the displays a device reports may cost one connection.
//
// A device information block can claim any size; every picture and frame buffer of a
// connection is sized from it. The handshake refuses a device whose displays break
// these bounds before anything is allocated for it, and the frame-buffer builder
// refuses the same facts again, so no path allocates for them.
//
// Thread: any (pure functions).

#include <cstdint>
#include <string>

namespace sorvane {

// Largest width or height of a display accepted from a device.
inline constexpr int kMaxDisplaySide = 2048;
// Largest total of one connection's pictures and buffers.
inline constexpr uint64_t kMaxConnectionBufferBytes = uint64_t(64) << 20;

// The bytes the pictures and buffers of a connection take for these displays (main
// display, and the second one when altDepth is not 0), as the frame-buffer builder
// makes them: the main picture at its own depth, a 4-bit copy of it, the second
// display's picture, the main reference frame, and the delta, second-display frame
// and receive buffers sized by the larger display. Sides are taken as they are
// (negative ones as 0); the result does not overflow for any 32-bit input.
uint64_t ConnectionBufferBytes(int depth, int width, int height, int altDepth, int altWidth, int altHeight);

// Empty when the displays are within the bounds, else the reason, e.g.
// "its display of 4096 x 4096 is larger than 2048 x 2048".
std::string DisplayBoundsProblem(int depth, int width, int height, int altDepth, int altWidth, int altHeight);

} // namespace sorvane
