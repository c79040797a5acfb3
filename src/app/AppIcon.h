#pragma once
// The program's icon (a handheld with a lit screen), drawn at start-up at the
// sizes window managers ask for. The installed icon files (the SVG and the hicolor
// PNGs, written at build time by dist/MakeIcons.cpp) are drawn from the same shapes.

#include <QByteArray>
#include <QIcon>
#include <QImage>

namespace sorvane {

QIcon appIcon();

// The icon at size x size pixels (transparent around the handheld). Needs no
// QGuiApplication.
QImage drawAppIcon(int size);

// The same icon as an SVG document (a 32 x 32 view box).
QByteArray appIconSvg();

} // namespace sorvane
