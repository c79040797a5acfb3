#include "view/PointerInput.h"

namespace sorvane {

PointerResult PointerInput::map(const ViewGeometry& view, int W, int H, PointerAction action, PointerButton button,
                                bool leftHeld, int clientX, int clientY)
{
    PointerResult out;
    const DevicePoint d = WindowToDevice(view, W, H, clientX, clientY);
    switch (action) {
    case PointerAction::Move:
        if (leftHeld && leftTap_)
            out.packets.push_back(MakeMousePacket(input::kMove, d.x, d.y));
        break;
    case PointerAction::Press:
    case PointerAction::DoublePress: {
        const bool dbl = action == PointerAction::DoublePress;
        if (button == PointerButton::Left) {
            if (W == 176) {
                leftTap_ = false;
                if (d.y >= 200 && d.y <= 219) {
                    const uint8_t key = d.x < 88 ? 0x70 : 0x71;
                    out.packets.push_back(MakeKeyPacket(input::kKeyDown, key, 0));
                    out.packets.push_back(MakeKeyPacket(input::kKeyUp, key, 0));
                }
                break;
            }
            ++out.clicks;
            leftTap_ = true;
            out.packets.push_back(MakeMousePacket(dbl ? input::kLeftDouble : input::kLeftDown, d.x, d.y));
        } else if (button == PointerButton::Right) {
            ++out.clicks;
            out.packets.push_back(MakeMousePacket(dbl ? input::kRightDouble : input::kRightDown, d.x, d.y));
        }
        break;
    }
    case PointerAction::Release:
        if (button == PointerButton::Left) {
            if (leftTap_)
                out.packets.push_back(MakeMousePacket(input::kLeftUp, d.x, d.y));
            leftTap_ = false;
        } else if (button == PointerButton::Right) {
            out.packets.push_back(MakeMousePacket(input::kRightUp, d.x, d.y));
        }
        break;
    }
    return out;
}

} // namespace sorvane
