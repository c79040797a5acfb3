#pragma once
// The device window's client area: the picture of the device, under the toolbar
// (a child at its top). Every mouse and key event of it goes to the device through
// the window.
//
// Thread: user-interface thread.

#include <QEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QWidget>

namespace sorvane {

// What the client area hands to its window (DeviceWindow): its painting, every mouse
// and key event, and its new size.
class DevicePictureHost {
public:
    // Each rectangle of `exposed` is painted on its own: a repaint after changes far apart
    // does not paint what lies between them.
    virtual void paintClient(QWidget& target, const QRegion& exposed) = 0;
    virtual void mouseInput(QEvent::Type type, Qt::MouseButton button, Qt::MouseButtons held,
                            Qt::KeyboardModifiers modifiers, const QPoint& clientPoint) = 0;
    virtual void keyInput(int qtKey, Qt::KeyboardModifiers modifiers, bool down, bool autoRepeat, int count) = 0;
    virtual void clientResized() = 0;

protected:
    ~DevicePictureHost() = default;
};

// The client area: the toolbar is its child at the top; everything else is the
// picture's, and every mouse and key event of it goes to the device.
class DevicePicture final : public QWidget {
public:
    // window: the device window, which is the parent and the host.
    DevicePicture(QWidget& window, DevicePictureHost& host) : QWidget(&window), window_(host)
    {
        setObjectName(QStringLiteral("client"));
        setFocusPolicy(Qt::StrongFocus);
        setAttribute(Qt::WA_OpaquePaintEvent);
    }

protected:
    void paintEvent(QPaintEvent* event) override { window_.paintClient(*this, event->region()); }
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
        window_.mouseInput(e->type(), e->button(), e->buttons(), e->modifiers(), e->position().toPoint());
        e->accept();
    }

    DevicePictureHost& window_;
};

} // namespace sorvane
