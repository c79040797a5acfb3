#include "view/SkinGeometry.h"

#include <algorithm>
#include <cstdint>

namespace sorvane {

std::optional<SkinPlacement> PlaceSkinPicture(int rotation, int Ws, int Hs, int W, int H, int ox, int oy)
{
    switch (rotation) {
    case 0: return SkinPlacement{ox, oy};
    case 90: return SkinPlacement{Hs - H - oy, ox};
    case 180: return SkinPlacement{Ws - W - ox, Hs - H - oy};
    case 270: return SkinPlacement{oy, Ws - W - ox};
    default: return std::nullopt;
    }
}

std::optional<SkinPlacement> PlaceSkinPicture(const Skin& skin, bool secondDisplay, DisplaySize display,
                                              int rotation)
{
    const SkinFace face = FaceInUse(skin, secondDisplay);
    if (!face)
        return SkinPlacement{};
    return PlaceSkinPicture(rotation, face.image->width, face.image->height, display.width, display.height,
                            face.xOffset, face.yOffset);
}

DisplaySize SkinContentSize(const Skin& skin, bool secondDisplay, DisplaySize display)
{
    const SkinFace face = FaceInUse(skin, secondDisplay);
    return face ? DisplaySize{face.image->width, face.image->height} : display;
}

WindowRect PictureArea(const ViewGeometry& g, DisplaySize display)
{
    const int s = std::max(g.scale, 1);
    const DisplaySize shown = RotatedSize(display.width, display.height, g.rotation);
    const int left = g.skinX * s, top = g.skinY * s + g.toolbarHeight;
    return {left, top, left + shown.width * s, top + shown.height * s};
}

bool UpdateInsidePicture(const ViewGeometry& g, DisplaySize display, const WindowRect& update)
{
    const WindowRect p = PictureArea(g, display);
    return update.left >= p.left && update.top >= p.top && update.right <= p.right && update.bottom <= p.bottom;
}

std::vector<int> HotspotsAt(const Skin& skin, bool secondDisplay, const ViewGeometry& g, int clientX, int clientY)
{
    std::vector<int> hits;
    const SkinFace face = FaceInUse(skin, secondDisplay);
    if (!face)
        return hits;
    const int s = std::max(g.scale, 1);
    const int px = clientX / s, py = (clientY - g.toolbarHeight) / s;
    const int Ws = face.image->width, Hs = face.image->height;
    int x = px, y = py;
    switch (g.rotation) {
    case 90: x = py; y = Hs - 1 - px; break;
    case 180: x = Ws - 1 - px; y = Hs - 1 - py; break;
    case 270: x = Ws - 1 - py; y = px; break;
    default: break;
    }
    for (size_t i = 0; i < skin.hotspots.size(); ++i) {
        const Hotspot& h = skin.hotspots[i];
        if (h.x <= x && int64_t(x) < int64_t(h.x) + h.cx && h.y <= y && int64_t(y) < int64_t(h.y) + h.cy)
            hits.push_back(int(i));
    }
    return hits;
}

int HotspotAt(const Skin& skin, bool secondDisplay, const ViewGeometry& g, int clientX, int clientY)
{
    const std::vector<int> hits = HotspotsAt(skin, secondDisplay, g, clientX, clientY);
    return hits.empty() ? -1 : hits.front();
}

HotspotClick ClickHotspots(const Skin& skin, bool secondDisplay, const ViewGeometry& g, int clientX, int clientY)
{
    HotspotClick click;
    for (int i : HotspotsAt(skin, secondDisplay, g, clientX, clientY)) {
        const uint8_t key = skin.hotspots[size_t(i)].key;
        ++click.hits;
        click.packets.push_back(MakeKeyPacket(input::kKeyDown, key, 0));
        click.packets.push_back(MakeKeyPacket(input::kKeyUp, key, 0));
        if (key >= 128)
            ++click.keyPresses;
    }
    for (int k = 0; k < click.keyPresses; ++k)
        click.packets.push_back(MakeKeyPacket(input::kKeyDown, 0x5B, 0));
    return click;
}

std::string HotspotTip(const Skin& skin, bool secondDisplay, const ViewGeometry& g, int clientX, int clientY)
{
    const int i = HotspotAt(skin, secondDisplay, g, clientX, clientY);
    return i < 0 ? std::string() : skin.hotspots[size_t(i)].tip;
}

WindowRect PlaceTipBox(int cursorX, int cursorY, int textWidth, int textHeight, const WindowRect& area)
{
    const int w = textWidth + 6, h = textHeight + 6;
    int left = cursorX, top = cursorY - 22;
    if (left + w > area.right)
        left = area.right - w;
    left = std::max(left, area.left);
    top = std::max(top, area.top);
    return {left, top, left + w, top + h};
}

} // namespace sorvane
