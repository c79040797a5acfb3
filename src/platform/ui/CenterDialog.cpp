#include "platform/ui/CenterDialog.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include "platform/WindowPlacement.h"

namespace sorvane {

namespace {

IntRect toIntRect(const QRect& r) { return IntRect{r.x(), r.y(), r.width(), r.height()}; }

void centreWindow(QWidget& window, QWidget* parent)
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

} // namespace

// Centres a top-level `window` over its parent's window, or over the screen.
void CenterDialog(QWidget& window)
{
    centreWindow(window, window.parentWidget() ? window.parentWidget()->window() : nullptr);
}

// Centres `window` on its screen, whatever its parent.
void CenterOnScreen(QWidget& window) { centreWindow(window, nullptr); }

} // namespace sorvane
