#pragma once
// Where a dialog goes when it opens: centred over its parent window when the parent
// is both wider and taller than the dialog, otherwise centred over the screen.
// Halves are integer halves (rounded towards zero). And where a window goes so that
// the screen shows all of it. Plain C++.

namespace sorvane {

struct IntRect {
    int x = 0, y = 0, width = 0, height = 0;
};

// The dialog's rectangle (its size unchanged) for a dialog of `width` x `height`.
inline IntRect centeredRect(const IntRect& parent, bool hasParent, int width, int height, const IntRect& screen)
{
    const IntRect& base = (hasParent && parent.width > width && parent.height > height) ? parent : screen;
    return IntRect{base.x + (base.width - width) / 2, base.y + (base.height - height) / 2, width, height};
}

// The window's frame rectangle moved (its size unchanged) so that it lies wholly inside
// the screen area; a frame wider or taller than the area keeps its left or top edge on
// the area's.
inline IntRect keptOnScreen(const IntRect& frame, const IntRect& screen)
{
    IntRect r = frame;
    auto clamp = [](int at, int size, int lo, int room) {
        if (at + size > lo + room)
            at = lo + room - size;
        return at < lo ? lo : at;
    };
    r.x = clamp(frame.x, frame.width, screen.x, screen.width);
    r.y = clamp(frame.y, frame.height, screen.y, screen.height);
    return r;
}

} // namespace sorvane
