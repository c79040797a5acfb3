#pragma once
// The 16 x 16 pictures of the device window's toolbar buttons, drawn by the program
// itself: refresh, capture, skin, configure, record, stop, rotate, colour mode.
// Thread: user-interface thread.

#include <QIcon>

namespace sorvane {

// The icon of the toolbar button of command `id` (40001, 40004, 40007, 40008, 40009,
// 40011, 40033, 40012); an empty icon for any other id.
QIcon ToolbarIcon(int id);

} // namespace sorvane
