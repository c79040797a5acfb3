// The whole screen-update path over whatever bytes an agent might send: header,
// rectangle, checksum, LZW decode, prediction and apply, the refresh path and the
// 8-bit palette query. The first 8 input bytes choose the display (depth, size,
// orientation, second display, low colour, display in use); the rest is the agent's
// side of the link, handed out in pieces of varying size.

#include <cstdint>

#include "fuzz_input.h"
#include "link/CommandPacket.h"
#include "screen/ScreenReceiver.h"
#include "screen/ScreenState.h"

using namespace sorvane;

namespace {

struct NullSink final : ScreenSink {
    void pictureChanged(int l, int t, int r, int b) override
    {
        if (l > r || t > b || l < 0 || t < 0)
            __builtin_trap();
    }
    void picturesRebuilt() override {}
    void linkDropped() override {}
};

constexpr int kDepths[4] = {2, 4, 8, 16};
constexpr int kOrientations[4] = {0, 90, 180, 270};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 8)
        return 0;
    ScreenState st;
    DisplayFacts& f = st.facts;
    f.depth = kDepths[data[0] & 3];
    f.orientation = kOrientations[(data[0] >> 2) & 3];
    // Small displays keep each run quick; multiples of 4 suit every depth.
    f.width = 4 * (1 + data[1] % 24);
    f.height = 4 * (1 + data[2] % 24);
    if (data[3] & 1) {
        f.altDepth = kDepths[(data[3] >> 1) & 3];
        f.altOrientation = kOrientations[(data[3] >> 3) & 3];
        f.altWidth = 4 * (1 + data[4] % 16);
        f.altHeight = 4 * (1 + data[5] % 16);
    }
    for (size_t i = 0; i < st.palette.size(); ++i)
        st.palette[i] = uint8_t(i * 13);
    if (!BuildViewBitmaps(st.bitmaps, f, st.palette))
        return 0;
    st.flipState = (data[6] & 1) && f.altDepth != 0 ? 1 : 0;
    st.lowColor = (data[6] & 2) && f.depth == 16 ? 1 : 0;
    st.refreshRate = 1 + data[7] % 4;

    const size_t frameBefore = st.bitmaps.frame.size(), rxBefore = st.bitmaps.rxBuffer.size();
    fuzz::InputChannel channel(data + 8, size - 8);
    NullSink sink;
    for (int poll = 0; poll < 32 && !channel.exhausted(); ++poll) {
        PollOutcome o = PollScreen(channel, st, sink);
        if (o == PollOutcome::Dropped || o == PollOutcome::Unsupported)
            break;
        // Buffers keep their sizes; a palette change rebuilds them for the same facts.
        if (st.bitmaps.frame.size() != frameBefore || st.bitmaps.rxBuffer.size() != rxBefore)
            __builtin_trap();
    }
    return 0;
}
