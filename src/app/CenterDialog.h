#pragma once
// Every dialog of the program centres itself when it opens (call from its
// showEvent or before exec()): over its parent window when the parent is larger
// in both directions, otherwise over the screen.
//
// Header-only, so the dialogs of every subsystem (src/<subsystem>/ui) use it
// without linking the program's own library. Thread: user-interface thread.

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include "platform/WindowPlacement.h"

namespace sorvane {

namespace detail {

inline IntRect toIntRect(const QRect& r) { return IntRect{r.x(), r.y(), r.width(), r.height()}; }

inline void centreWindow(QWidget& window, QWidget* parent)
{
    QScreen* screen = parent ? parent->screen() : window.screen();
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    const IntRect screenRect = screen ? toIntRect(screen->geometry()) : IntRect{};
    const IntRect parentRect = parent ? toIntRect(parent->frameGeometry()) : IntRect{};
    QSize size = window.isVisible() ? window.frameGeometry().size() : window.size();
    if (!window.isVisible() && !window.testAttribute(Qt::WA_Resized))
        size = window.sizeHint().expandedTo(window.minimumSize());
    const IntRect placed = centeredRect(parentRect, parent != nullptr, size.width(), size.height(), screenRect);
    window.move(placed.x, placed.y);
}

} // namespace detail

// Centres a top-level `window` over its parent's window, or over the screen.
inline void CenterDialog(QWidget& window)
{
    detail::centreWindow(window, window.parentWidget() ? window.parentWidget()->window() : nullptr);
}

// Centres `window` on its screen, whatever its parent.
inline void CenterOnScreen(QWidget& window) { detail::centreWindow(window, nullptr); }

} // namespace sorvane
