#pragma once
// Where the device picture sits inside a turned skin, what a window shows and
// repaints with a skin, and the skin's buttons: hit test, the input a click sends,
// the hover tooltip.
//
// Turning is clockwise, as for the picture: skin pixel (x, y) of a Ws x Hs image turned
// by 90 lands at (Hs - 1 - y, x), by 180 at (Ws - 1 - x, Hs - 1 - y), by 270 at
// (y, Ws - 1 - x). skinX, skinY (ViewGeometry) are the picture's corner in the turned,
// unscaled skin; the turned skin is shown from (0, toolbar height), scaled.
//
// Pure functions over values; any thread (a window calls them on its own).

#include <optional>
#include <string>
#include <vector>

#include "view/InputPackets.h"
#include "view/PictureRender.h"
#include "view/Skin.h"
#include "view/ViewGeometry.h"

namespace sorvane {

struct SkinPlacement {
    int skinX = 0, skinY = 0;
    bool operator==(const SkinPlacement&) const = default;
};

// The picture's corner in a Ws x Hs skin turned by rotation, the W x H picture being
// at (ox, oy) in the unturned skin. None for a rotation other than 0, 90, 180, 270
// (the position stays as it was).
std::optional<SkinPlacement> PlaceSkinPicture(int rotation, int Ws, int Hs, int W, int H, int ox, int oy);

// The same for a window: the face in use around the display in use; (0, 0) when no
// case is shown around it (no skin, or flip state without "AltImage").
std::optional<SkinPlacement> PlaceSkinPicture(const Skin& skin, bool secondDisplay, DisplaySize display,
                                              int rotation);

// What the window is fitted to, unturned and unscaled (FitClientSize turns and
// scales it): the face's image, or the display in use when no case is shown.
DisplaySize SkinContentSize(const Skin& skin, bool secondDisplay, DisplaySize display);

// The window area that shows the picture (right/bottom exclusive).
WindowRect PictureArea(const ViewGeometry& g, DisplaySize display);

// True when an update of the window area `update` needs only the picture repainted
// (it lies wholly inside the picture area); false when the case shows in it too.
bool UpdateInsidePicture(const ViewGeometry& g, DisplaySize display, const WindowRect& update);

// The indexes (into skin.hotspots, in table order) of every hotspot under a client
// point. The point is unscaled and unturned into the face image in use; none when no
// case is shown around the display in use.
std::vector<int> HotspotsAt(const Skin& skin, bool secondDisplay, const ViewGeometry& g, int clientX,
                            int clientY);

// The query mode: the first hotspot under the point, or -1.
int HotspotAt(const Skin& skin, bool secondDisplay, const ViewGeometry& g, int clientX, int clientY);

// What a click on the skin does. For each hotspot hit, in table order, a click sound
// and its key down and up ('V', 'W', repeat byte 0). For each hit key of 128 and
// above, a key-down of 0x5B (the Windows key) follows after all of those, without a
// key-up: it stands for the key press the window receives after the click, so it
// counts as a key press.
struct HotspotClick {
    int hits = 0;                     // click sounds to play; 0: the click was not taken
    std::vector<InputPacket> packets; // in sending order; each recorded first while recording
    int keyPresses = 0;               // the 0x5B key-downs among them
    bool taken() const { return hits > 0; }
};
HotspotClick ClickHotspots(const Skin& skin, bool secondDisplay, const ViewGeometry& g, int clientX, int clientY);

// The hover tooltip: a 300 ms timer counts ticks since the mouse last moved; at
// exactly the fifth (1.5 s of rest) the tooltip of the hotspot under the cursor shows.
class HoverCounter {
public:
    static constexpr int kTickMs = 300;
    static constexpr int kTicks = 5;
    void reset() { ticks_ = 0; }
    // True on the tick that shows the tooltip (once per rest).
    bool tick()
    {
        if (ticks_ <= kTicks)
            ++ticks_;
        return ticks_ == kTicks;
    }

private:
    int ticks_ = 0;
};

// The tooltip at a client point: the text of the first hotspot under it; empty when
// there is none or its text is empty (then nothing is shown).
std::string HotspotTip(const Skin& skin, bool secondDisplay, const ViewGeometry& g, int clientX, int clientY);

// The tooltip box for a text of textWidth x textHeight pixels at the cursor: from
// (x, y - 22), 6 pixels larger than the text, moved left to end at the right edge of
// `area` (the client area below the toolbar) when it would pass it, and kept inside
// its left and top edges. The text is drawn at (left + 2, top + 2) on yellow, with an
// outline.
WindowRect PlaceTipBox(int cursorX, int cursorY, int textWidth, int textHeight, const WindowRect& area);

} // namespace sorvane
