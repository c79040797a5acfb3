#pragma once
// The screen half of a connection's view: pictures, buffers, palette, decoder and the
// flags the screen exchange reads.
//
// Thread: the connection thread applies updates; the window thread paints and toggles
// the flags. `pictureMutex` is held while an update is applied, while the pictures are
// rebuilt and while a paint or capture copies them.

#include <atomic>
#include <cstdint>
#include <mutex>

#include "screen/LzwDecoder.h"
#include "link/LinkChannel.h"
#include "screen/Palette.h"
#include "screen/ViewBitmaps.h"

namespace sorvane {

struct ScreenState {
    mutable std::mutex pictureMutex;
    ViewBitmaps bitmaps;
    Palette palette{};  // this connection's own palette
    DisplayFacts facts; // copied from the link record by the handshake
    LzwDecoder decoder; // reused by every update of the connection

    std::atomic<int> flipState{0}; // 1: the second display is in use
    std::atomic<int> lowColor{0};  // 16-bit main display sent as 16 colours
    std::atomic<bool> minimized{false};
    std::atomic<int> refreshRate{10};
    std::atomic<uint32_t> updateCounter{0};
};

// True while the second display is in use: the view is flipped to it and the device
// has one. The screen exchange, painting, input mapping and captures all ask this.
inline bool SecondDisplayInUse(const ScreenState& st)
{
    return st.flipState.load() != 0 && st.facts.altDepth != 0;
}

// Where the screen exchange reports to the device's window. Called on the connection
// thread, never with the picture mutex held; implementations only queue work.
class ScreenSink {
public:
    virtual ~ScreenSink() = default;
    // An inclusive rectangle of the picture in use (picture coordinates, before the
    // view's rotation) has new pixels.
    virtual void pictureChanged(int left, int top, int right, int bottom) = 0;
    // The pictures were rebuilt (a palette change): everything must be repainted.
    virtual void picturesRebuilt() = 0;
    // The agent ended the link: the window closes and with it the connection.
    virtual void linkDropped() = 0;
};

} // namespace sorvane
