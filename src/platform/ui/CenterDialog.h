#pragma once
// Every dialog of the program centres itself when it opens (call from its
// showEvent or before exec()): over its parent window when the parent is larger
// in both directions, otherwise over the screen.
//
// The Qt helper library under every subsystem's dialogs (src/<subsystem>/ui), so none
// of them reaches up into the program's own library. Thread: user-interface thread.

class QWidget;

namespace sorvane {

// Centres a top-level `window` over its parent's window, or over the screen. Sizes a
// window that was never sized to its layout first.
void CenterDialog(QWidget& window);

// Centres `window` on its screen, whatever its parent.
void CenterOnScreen(QWidget& window);

} // namespace sorvane
