#pragma once
// Where a dialog goes when it opens: centred over its parent window when the parent
// is both wider and taller than the dialog, otherwise centred over the screen.
// Halves are integer halves (rounded towards zero). Plain C++.

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

} // namespace sorvane
