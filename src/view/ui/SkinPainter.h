#pragma once
// Painting of a device window's client area: the device picture, inside the turned,
// scaled skin when one is shown, and the hover tooltip of a skin button.
//
// Thread: user-interface thread. PaintDeviceView takes the screen's picture mutex
// while it converts the exposed part of the picture and releases it before drawing.

#include <QFontMetrics>
#include <QPainter>
#include <QRect>
#include <QString>

#include "screen/ScreenState.h"
#include "view/Skin.h"
#include "view/ViewGeometry.h"

namespace sorvane {

// Paints the exposed part of the client area. g carries scale, rotation, the skin
// placement (skinX, skinY) and the toolbar height. Without a case around the display
// in use the picture sits at (0, toolbar height); with one, the turned case is drawn
// from there scaled by g.scale and the picture at (skinX, skinY) inside it, and an
// exposed area wholly inside the picture repaints only the picture. Client areas
// neither covers are black.
void PaintDeviceView(QPainter& painter, const QRect& exposed, ScreenState& screen, const ViewGeometry& g,
                     const Skin& skin);

// The tooltip box of a text at the cursor inside `area` (the client area below the
// toolbar), for the painter's font.
QRect HotspotTipBox(const QFontMetrics& metrics, const QString& text, const QPoint& cursor, const QRect& area);

// Draws the tooltip: the text at (left + 2, top + 2) on yellow filling the box, then
// the box's outline.
void PaintHotspotTip(QPainter& painter, const QRect& box, const QString& text);

} // namespace sorvane
