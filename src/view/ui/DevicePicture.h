#pragma once
// The device window's client area: the picture of the device, under the toolbar
// (a child at its top). Every mouse and key event of it goes to the device through
// the window.
//
// Thread: user-interface thread.

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QWidget>

#include "view/ui/DeviceWindow.h"

namespace sorvane {


// The client area: the toolbar is its child at the top; everything else is the
// picture's, and every mouse and key event of it goes to the device.
class DevicePicture final : public QWidget {
public:
    explicit DevicePicture(DeviceWindow& window) : QWidget(&window), window_(window)
    {
        setObjectName(QStringLiteral("client"));
        setFocusPolicy(Qt::StrongFocus);
        setAttribute(Qt::WA_OpaquePaintEvent);
    }

protected:
    void paintEvent(QPaintEvent* event) override { window_.paintClient(*this, event->rect()); }
    void mousePressEvent(QMouseEvent* e) override { forward(e); }
    void mouseReleaseEvent(QMouseEvent* e) override { forward(e); }
    void mouseDoubleClickEvent(QMouseEvent* e) override { forward(e); }
    void mouseMoveEvent(QMouseEvent* e) override { forward(e); }
    void keyPressEvent(QKeyEvent* e) override
    {
        window_.keyInput(e->key(), e->modifiers(), true, e->isAutoRepeat(), e->count());
    }
    void keyReleaseEvent(QKeyEvent* e) override
    {
        window_.keyInput(e->key(), e->modifiers(), false, e->isAutoRepeat(), e->count());
    }
    void resizeEvent(QResizeEvent*) override { window_.clientResized(); }
    // Tab and Backtab are keys of the device, not focus moves.
    bool focusNextPrevChild(bool) override { return false; }

private:
    void forward(QMouseEvent* e)
    {
        window_.mouseInput(e->type(), e->button(), e->buttons(), e->position().toPoint());
        e->accept();
    }

    DeviceWindow& window_;
};

} // namespace sorvane
