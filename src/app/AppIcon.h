#pragma once
// The program's icon (a handheld with a lit screen), drawn at start-up at the
// sizes window managers ask for.

#include <QIcon>

namespace sorvane {

QIcon appIcon();

} // namespace sorvane
