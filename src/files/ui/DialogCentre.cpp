#include "files/ui/DialogCentre.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace sorvane {

CentreRect centredPlacement(const CentreRect& parent, bool hasParent, int width, int height,
                            const CentreRect& screen)
{
    const CentreRect& base = (hasParent && parent.width > width && parent.height > height) ? parent : screen;
    return CentreRect{base.x + (base.width - width) / 2, base.y + (base.height - height) / 2, width, height};
}

void centreDialog(QWidget& dialog)
{
    if (!dialog.testAttribute(Qt::WA_Resized))
        dialog.adjustSize();
    QWidget* parent = dialog.parentWidget() ? dialog.parentWidget()->window() : nullptr;
    QScreen* screen = parent ? parent->screen() : dialog.screen();
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    auto rect = [](const QRect& r) { return CentreRect{r.x(), r.y(), r.width(), r.height()}; };
    const CentreRect screenRect = screen ? rect(screen->availableGeometry()) : CentreRect{};
    const CentreRect parentRect = parent ? rect(parent->frameGeometry()) : CentreRect{};
    const CentreRect placed =
        centredPlacement(parentRect, parent != nullptr, dialog.width(), dialog.height(), screenRect);
    dialog.move(placed.x, placed.y);
}

} // namespace sorvane
