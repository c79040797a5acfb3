#include "settings/ui/ColorSwatch.h"

#include <QPainter>

namespace sorvane {

QColor colorFromWindowsValue(uint32_t value)
{
    return QColor(int(value & 0xFF), int((value >> 8) & 0xFF), int((value >> 16) & 0xFF));
}

uint32_t windowsValueFromColor(const QColor& color)
{
    return uint32_t(color.red()) | (uint32_t(color.green()) << 8) | (uint32_t(color.blue()) << 16);
}

ColorSwatch::ColorSwatch(QWidget* parent) : QFrame(parent)
{
    setFrameShape(QFrame::Box);
    setMinimumSize(40, 20);
}

void ColorSwatch::setColor(uint32_t value)
{
    color_ = value & 0x00FFFFFF;
    update();
}

void ColorSwatch::paintEvent(QPaintEvent* event)
{
    {
        QPainter p(this);
        p.fillRect(contentsRect(), colorFromWindowsValue(color_));
    }
    QFrame::paintEvent(event);
}

} // namespace sorvane
