#pragma once
// Where a dialog goes when it opens: centred over its parent window when the parent
// is both wider and taller than the dialog, otherwise centred over the screen.
// Halves are integer halves (rounded towards zero). Where a window goes so that the
// screen shows all of it, and where a new window goes so that it hides none of the
// windows already open. Plain C++.

#include <optional>
#include <vector>

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

inline bool intersects(const IntRect& a, const IntRect& b)
{
    return a.x < b.x + b.width && b.x < a.x + a.width && a.y < b.y + b.height && b.y < a.y + a.height;
}

// A free spot for a new window's frame of `width` x `height`: `gap` pixels right of one
// of the `taken` frames (the main window first, then the windows already open), else
// left of one, else below one, top edges level (moved up as far as the screen needs);
// the first such spot that lies wholly on the screen and covers none of them. Nothing
// when the screen has no such room.
inline std::optional<IntRect> freeSpotBeside(const std::vector<IntRect>& taken, int width, int height,
                                             const IntRect& screen, int gap)
{
    auto fits = [&](IntRect r) -> std::optional<IntRect> {
        r = IntRect{r.x, keptOnScreen(r, screen).y, width, height};
        if (r.x < screen.x || r.x + width > screen.x + screen.width || r.y < screen.y ||
            r.y + height > screen.y + screen.height)
            return std::nullopt;
        for (const IntRect& t : taken)
            if (intersects(r, t))
                return std::nullopt;
        return r;
    };
    for (int side = 0; side < 3; ++side) {
        for (const IntRect& t : taken) {
            const IntRect spot = side == 0   ? IntRect{t.x + t.width + gap, t.y, width, height}
                                 : side == 1 ? IntRect{t.x - gap - width, t.y, width, height}
                                             : IntRect{t.x, t.y + t.height + gap, width, height};
            if (auto r = fits(spot))
                return r;
        }
    }
    return std::nullopt;
}

} // namespace sorvane
