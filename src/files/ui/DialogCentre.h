#pragma once
// Every dialog of the program centres itself when it opens: over its parent window
// when the parent is both wider and taller than the dialog, otherwise over the
// screen. The dialogs of the subsystems call this from their constructors, once
// their size is known.
//
// Thread: user-interface thread.

class QWidget;

namespace sorvane {

struct CentreRect {
    int x = 0, y = 0, width = 0, height = 0;
};

// Where a width x height window goes: centred over parent when hasParent and the
// parent is larger in both directions, else over screen (halves rounded toward zero).
CentreRect centredPlacement(const CentreRect& parent, bool hasParent, int width, int height,
                            const CentreRect& screen);

// Sizes dialog to its layout if it has not been sized, and moves it to the centred place.
void centreDialog(QWidget& dialog);

} // namespace sorvane
