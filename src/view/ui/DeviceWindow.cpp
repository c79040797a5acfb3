#include "view/ui/DeviceWindow.h"

#include <algorithm>
#include <mutex>

#include <QActionGroup>
#include <QCloseEvent>
#include <QDialog>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPainter>
#include <QToolBar>
#include <QVBoxLayout>

#include "link/CommandPacket.h"
#include "view/Connection.h"
#include "view/PictureRender.h"
#include "view/ui/KeyMap.h"
#include "view/ui/ToolbarIcons.h"

namespace sorvane {

namespace {

// The client area: the toolbar is its child at the top; everything else is the
// picture's, and every mouse and key event of it goes to the device.
class DeviceClient final : public QWidget {
public:
    explicit DeviceClient(DeviceWindow& window) : QWidget(&window), window_(window)
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

QString latin1(const std::string& s) { return QString::fromLatin1(s.data(), qsizetype(s.size())); }

} // namespace

// Reports of the connection thread, turned into queued calls to the window. Damage
// accumulates until the window has taken it, so a fast device never floods the
// event queue with paint requests.
class DeviceWindow::Sink final : public ViewSink {
public:
    explicit Sink(DeviceWindow* window) : window_(window) {}

    void invalidate(int, const WindowRect& r) override
    {
        bool post = false;
        {
            std::lock_guard lock(mutex_);
            damage_ |= QRect(r.left, r.top, r.right - r.left, r.bottom - r.top);
            post = !pending_;
            pending_ = true;
        }
        if (post)
            QMetaObject::invokeMethod(window_, [w = window_] { w->flushDamage(); }, Qt::QueuedConnection);
    }
    void repaintAll(int) override
    {
        QMetaObject::invokeMethod(window_, [w = window_] { w->client()->update(); }, Qt::QueuedConnection);
    }
    void linkClosed(int) override
    {
        QMetaObject::invokeMethod(window_, [w = window_] { w->close(); }, Qt::QueuedConnection);
    }
    void postCommand(int, int id) override
    {
        QMetaObject::invokeMethod(window_, [w = window_, id] { w->command(id); }, Qt::QueuedConnection);
    }

    QRect takeDamage()
    {
        std::lock_guard lock(mutex_);
        QRect r = damage_;
        damage_ = QRect();
        pending_ = false;
        return r;
    }

private:
    DeviceWindow* window_;
    std::mutex mutex_;
    QRect damage_;
    bool pending_ = false;
};

DeviceWindow::DeviceWindow(DeviceWindowContext context, int slot, int profileIndex, const Profile& profile,
                           QWidget* parent)
    : QWidget(parent, Qt::Window)
    , context_(std::move(context))
    , slot_(slot)
    , profileIndex_(profileIndex)
    , view_(context_.views[slot])
    , link_(*context_.links.find(slot))
{
    setObjectName(QStringLiteral("KWXCLASS"));
    setAttribute(Qt::WA_DeleteOnClose);
    deviceName_ = latin1(link_.deviceName);
    const std::string_view name = profile.nameView();
    setWindowTitle(QStringLiteral("%1 - %2").arg(QString::fromUtf8(name.data(), qsizetype(name.size())),
                                                  deviceName_));
    layout_ = new QVBoxLayout(this);
    layout_->setContentsMargins(0, 0, 0, 0);
    layout_->setSpacing(0);
    menuBar_ = new QMenuBar(this);
    menuBar_->setObjectName(QStringLiteral("140"));
    layout_->setMenuBar(menuBar_);
    client_ = new DeviceClient(*this);
    layout_->addWidget(client_);
    setFocusProxy(client_);

    buildToolbar();
    buildMenu();
    toolbarHeight_ = toolbar_->sizeHint().height();
    view_.toolbarHeight = toolbarHeight_;

    sink_ = std::make_unique<Sink>(this);
    OpenConnection(context_.links, context_.views, slot_, profile, profileIndex_, *sink_);
    opened_ = true;

    applyEnabledStates();
    updateChecks();
    fit();
    if (context_.position && !view_.maximized.load())
        move(*context_.position);
    show();
    RequestRefresh(view_);
    raise();
    activateWindow();
    client_->setFocus();
}

DeviceWindow::~DeviceWindow()
{
    if (statusWindow_)
        delete statusWindow_.data();
    if (opened_)
        EndConnection(context_.links, context_.views, slot_);
}

void DeviceWindow::buildToolbar()
{
    toolbar_ = new QToolBar(client_);
    toolbar_->setObjectName(QStringLiteral("toolbar"));
    toolbar_->setIconSize(QSize(16, 16));
    toolbar_->setFocusPolicy(Qt::NoFocus);
    toolbar_->setMovable(false);
    toolbar_->setFloatable(false);
    toolbar_->setAutoFillBackground(true);
    static const char* const tips[] = {"Refresh display",         "Capture Screendump",     "Toggle Skin",
                                       "Configure",               "Begin recording session", "Stop recording/playing",
                                       "Rotate 90 degrees",       "Toggle low/high color mode"};
    for (int i = 0; i < 8; ++i) {
        const int id = kToolbarCommands[i];
        QAction* a = toolbar_->addAction(ToolbarIcon(id), QString::fromLatin1(tips[i]));
        a->setObjectName(QString::number(id));
        a->setToolTip(QString::fromLatin1(tips[i]));
        connect(a, &QAction::triggered, this, [this, id] { command(id); });
        actions_.emplace(id, a);
    }
    for (QWidget* w : toolbar_->findChildren<QWidget*>())
        w->setFocusPolicy(Qt::NoFocus);
}

void DeviceWindow::buildMenu()
{
    auto add = [this](QMenu* menu, const char* text, int id, QActionGroup* group = nullptr) {
        QAction* a = menu->addAction(QString::fromLatin1(text));
        a->setObjectName(QString::number(id));
        if (group) {
            a->setCheckable(true);
            group->addAction(a);
        }
        connect(a, &QAction::triggered, this, [this, id] { command(id); });
        actions_.emplace(id, a);
        return a;
    };

    QMenu* file = menuBar_->addMenu(QStringLiteral("&File"));
    add(file, "Capture to Clip&board", devcmd::CaptureClipboard);
    add(file, "Capture to &File...", devcmd::CaptureFile);
    add(file, "Capture (&One Click)", devcmd::CaptureOneClick);
    file->addSeparator();
    add(file, "Start Recording", devcmd::StartRecording);
    add(file, "Stop Recording", devcmd::StopRecording);
    file->addSeparator();
    add(file, "&File Explorer", devcmd::FileExplorer);
    file->addSeparator();
    add(file, "E&xit", devcmd::Exit);

    QMenu* view = menuBar_->addMenu(QStringLiteral("&View"));
    add(view, "&Refresh Display", devcmd::RefreshDisplay);
    add(view, "&Toggle Skin", devcmd::ToggleSkin);
    add(view, "Toggle Flip State", devcmd::ToggleFlip);
    view->addSeparator();
    auto* scales = new QActionGroup(this);
    add(view, "1X", devcmd::Scale1, scales);
    add(view, "2X", devcmd::Scale2, scales);
    add(view, "3X", devcmd::Scale3, scales);
    add(view, "4X", devcmd::Scale4, scales);
    view->addSeparator();
    QMenu* rotate = view->addMenu(QStringLiteral("R&otate"));
    auto* rotations = new QActionGroup(this);
    add(rotate, "0", devcmd::Rotate0, rotations);
    add(rotate, "90", devcmd::Rotate90, rotations);
    add(rotate, "180", devcmd::Rotate180, rotations);
    add(rotate, "270", devcmd::Rotate270, rotations);

    QMenu* device = menuBar_->addMenu(QStringLiteral("&Device"));
    add(device, "&Configure...", devcmd::Configure);
    add(device, "&Connection Status", devcmd::ConnectionStatus);
    add(device, "&Device Info...", devcmd::DeviceInfo);
    add(device, "Process Info...", devcmd::ProcessInfo);
    device->addSeparator();
    add(device, "&Paste to device", devcmd::PasteToDevice);
    add(device, "Soft &Reset", devcmd::SoftReset);
    add(device, "&Suspend", devcmd::Suspend);

    QMenu* help = menuBar_->addMenu(QStringLiteral("&Help"));
    add(help, "&Help Index", devcmd::HelpIndex);
}

QAction* DeviceWindow::action(int id) const
{
    // The menu item rather than the toolbar button when a command has both.
    QAction* found = nullptr;
    auto [first, last] = actions_.equal_range(id);
    for (auto it = first; it != last; ++it) {
        if (it->second->parent() != toolbar_)
            return it->second;
        found = it->second;
    }
    return found;
}

bool DeviceWindow::isCommandEnabled(int id) const
{
    switch (id) {
    case devcmd::RefreshDisplay:
    case devcmd::Scale1:
    case devcmd::Scale2:
    case devcmd::Scale3:
    case devcmd::Scale4:
    case devcmd::Rotate90More:
    case devcmd::Exit:
    case devcmd::SoftReset:
    case devcmd::Suspend:
    case devcmd::Fit:
    case devcmd::Rotate0:
    case devcmd::Rotate90:
    case devcmd::Rotate180:
    case devcmd::Rotate270:
        return true;
    case devcmd::ToggleLowColor:
        return view_.screen.facts.depth == 16;
    case devcmd::ToggleFlip:
        return view_.screen.facts.altDepth != 0;
    default:
        return context_.services.commands.count(id) != 0;
    }
}

void DeviceWindow::applyEnabledStates()
{
    for (auto& [id, a] : actions_)
        a->setEnabled(isCommandEnabled(id));
}

void DeviceWindow::updateChecks()
{
    const int scaleIds[] = {devcmd::Scale1, devcmd::Scale2, devcmd::Scale3, devcmd::Scale4};
    const int scale = std::clamp(view_.scale.load(), 1, 4);
    if (QAction* a = action(scaleIds[scale - 1]))
        a->setChecked(true);
    if (QAction* a = action(devcmd::Rotate0 + view_.viewRotation.load() / 90))
        a->setChecked(true);
}

void DeviceWindow::command(int id)
{
    if (!isCommandEnabled(id))
        return;
    switch (id) {
    case devcmd::RefreshDisplay:
        RequestRefresh(view_);
        break;
    case devcmd::Scale1: setScale(1); break;
    case devcmd::Scale2: setScale(2); break;
    case devcmd::Scale3: setScale(3); break;
    case devcmd::Scale4: setScale(4); break;
    case devcmd::ToggleLowColor: toggleLowColor(); break;
    case devcmd::Rotate90More: setRotation((view_.viewRotation.load() + 90) % 360); break;
    case devcmd::Exit:
        QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
        break;
    case devcmd::SoftReset:
        SendCommand(context_.links, slot_, CmdSoftReset);
        break;
    case devcmd::Suspend:
        SendCommand(context_.links, slot_, CmdSuspend);
        QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
        break;
    case devcmd::Fit: fit(); break;
    case devcmd::Rotate0:
    case devcmd::Rotate90:
    case devcmd::Rotate180:
    case devcmd::Rotate270:
        setRotation((id - devcmd::Rotate0) * 90);
        break;
    case devcmd::ToggleFlip: toggleFlip(); break;
    default:
        runService(id);
        break;
    }
}

void DeviceWindow::runService(int id)
{
    auto it = context_.services.commands.find(id);
    if (it == context_.services.commands.end())
        return;
    QPointer<DeviceWindow> self(this);
    ++serviceDepth_;
    it->second(*this);
    if (!self)
        return;
    if (--serviceDepth_ == 0) {
        runPosted();
        if (closeAfterService_) {
            closeAfterService_ = false;
            QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
        }
    }
}

void DeviceWindow::closeEvent(QCloseEvent* event)
{
    if (serviceDepth_ == 0) {
        event->accept();
        return;
    }
    // Deleting the window now would delete the running dialog under its own feet.
    event->ignore();
    closeAfterService_ = true;
    for (QDialog* dialog : findChildren<QDialog*>()) {
        if (dialog->isVisible())
            QMetaObject::invokeMethod(dialog, &QDialog::reject, Qt::QueuedConnection);
    }
}

void DeviceWindow::runPosted()
{
    while (!posted_.empty()) {
        const int id = posted_.front();
        posted_.pop_front();
        command(id);
    }
}

void DeviceWindow::postCommand(int commandId)
{
    if (serviceDepth_ > 0) {
        posted_.push_back(commandId);
        return;
    }
    QMetaObject::invokeMethod(this, [this, commandId] { command(commandId); }, Qt::QueuedConnection);
}

void DeviceWindow::setScale(int scale)
{
    view_.scale = scale;
    updateChecks();
    fit();
}

void DeviceWindow::setRotation(int degrees)
{
    view_.viewRotation = degrees;
    updateChecks();
    fit();
    client_->update();
}

void DeviceWindow::toggleLowColor()
{
    if (view_.screen.facts.depth != 16)
        return;
    view_.screen.lowColor = view_.screen.lowColor.load() ? 0 : 1;
    client_->update();
    postCommand(devcmd::RefreshDisplay);
}

void DeviceWindow::toggleFlip()
{
    {
        std::lock_guard lock(view_.screen.pictureMutex);
        if (view_.screen.facts.altDepth == 0 || !view_.screen.bitmaps.altDib.exists())
            return;
    }
    view_.screen.flipState = view_.screen.flipState.load() ? 0 : 1;
    fit();
}

void DeviceWindow::fit()
{
    const DisplaySize d = DisplayInUse(view_.screen);
    ViewGeometry g = view_.geometry();
    g.toolbarHeight = toolbarHeight_;
    int width = 0, height = 0;
    FitClientSize(g, d.width, d.height, width, height);
    if (view_.maximized.load()) {
        layout_->setSizeConstraint(QLayout::SetDefaultConstraint);
        client_->setMinimumSize(0, 0);
        client_->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
        if (!(windowState() & Qt::WindowMaximized))
            setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowMaximized);
    } else {
        client_->setFixedSize(width, height);
        layout_->setSizeConstraint(QLayout::SetFixedSize);
        layout_->activate();
        adjustSize();
    }
    clientResized();
    client_->update();
}

void DeviceWindow::clientResized()
{
    if (toolbar_)
        toolbar_->setGeometry(0, 0, client_->width(), toolbarHeight_ ? toolbarHeight_ : toolbar_->sizeHint().height());
}

void DeviceWindow::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() != QEvent::WindowStateChange || !opened_)
        return;
    const bool minimized = isMinimized();
    view_.screen.minimized = minimized;
    if (minimized)
        return;
    const int maximized = (windowState() & Qt::WindowMaximized) ? 1 : 0;
    if (maximized != view_.maximized.load()) {
        view_.maximized = maximized;
        fit();
    }
}

void DeviceWindow::flushDamage()
{
    const QRect damage = sink_->takeDamage();
    if (!damage.isEmpty())
        client_->update(damage);
}

void DeviceWindow::paintClient(QWidget& target, const QRect& exposed)
{
    QPainter painter(&target);
    painter.fillRect(exposed, Qt::black);
    const int s = std::clamp(view_.scale.load(), 1, 4);
    const int rotation = view_.viewRotation.load();
    const int ox = view_.skinX.load() * s;
    const int oy = view_.skinY.load() * s + toolbarHeight_;
    QImage image;
    QRect placed;
    {
        // Only the exposed part is converted, under the picture lock; the scaled
        // drawing happens after it is released.
        std::lock_guard lock(view_.screen.pictureMutex);
        const Picture* picture = ShownPicture(view_.screen);
        if (!picture)
            return;
        const DisplaySize shown = RotatedSize(picture->width, picture->height, rotation);
        const QRect area = exposed & QRect(ox, oy, shown.width * s, shown.height * s);
        if (area.isEmpty())
            return;
        const int x0 = (area.left() - ox) / s, y0 = (area.top() - oy) / s;
        const int x1 = (area.right() - ox) / s, y1 = (area.bottom() - oy) / s;
        image = QImage(x1 - x0 + 1, y1 - y0 + 1, QImage::Format_RGB32);
        RenderRotatedRegion(*picture, rotation, x0, y0, image.width(), image.height(),
                            reinterpret_cast<uint32_t*>(image.bits()), size_t(image.bytesPerLine() / 4));
        placed = QRect(ox + x0 * s, oy + y0 * s, image.width() * s, image.height() * s);
    }
    painter.drawImage(placed, image);
}

void DeviceWindow::sendInput(const InputPacket& packet)
{
    SendInputEvent(context_.links, view_, slot_, packet, context_.settings.QueueEvents != 0);
}

void DeviceWindow::sendKeyPair(uint8_t virtualKey)
{
    sendInput(MakeKeyPacket(input::kKeyDown, virtualKey, 0));
    sendInput(MakeKeyPacket(input::kKeyUp, virtualKey, 0));
}

void DeviceWindow::mouseInput(QEvent::Type type, Qt::MouseButton button, Qt::MouseButtons held,
                              const QPoint& clientPoint)
{
    ViewGeometry g = view_.geometry();
    g.toolbarHeight = toolbarHeight_;
    const DisplayFacts& f = view_.screen.facts;
    const DevicePoint d = WindowToDevice(g, f.width, f.height, clientPoint.x(), clientPoint.y());

    switch (type) {
    case QEvent::MouseMove:
        if ((held & Qt::LeftButton) && leftTap_)
            sendInput(MakeMousePacket(input::kMove, d.x, d.y));
        return;
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick: {
        const bool dbl = type == QEvent::MouseButtonDblClick;
        if (button == Qt::LeftButton) {
            if (f.width == 176) {
                // This device's screen takes no taps: its bottom strip stands for the
                // two soft keys, and anything else is ignored.
                leftTap_ = false;
                if (d.y >= 200 && d.y <= 219)
                    sendKeyPair(d.x < 88 ? 0x70 : 0x71);
                return;
            }
            link_.mouseClicks.fetch_add(1);
            leftTap_ = true;
            sendInput(MakeMousePacket(dbl ? input::kLeftDouble : input::kLeftDown, d.x, d.y));
        } else if (button == Qt::RightButton) {
            link_.mouseClicks.fetch_add(1);
            sendInput(MakeMousePacket(dbl ? input::kRightDouble : input::kRightDown, d.x, d.y));
        }
        return;
    }
    case QEvent::MouseButtonRelease:
        if (button == Qt::LeftButton) {
            if (leftTap_)
                sendInput(MakeMousePacket(input::kLeftUp, d.x, d.y));
            leftTap_ = false;
        } else if (button == Qt::RightButton) {
            sendInput(MakeMousePacket(input::kRightUp, d.x, d.y));
        }
        return;
    default:
        return;
    }
}

void DeviceWindow::keyInput(int qtKey, Qt::KeyboardModifiers modifiers, bool down, bool autoRepeat, int count)
{
    // The accelerator keys belong to the main window; system keys are swallowed.
    if (IsAcceleratorKey(qtKey, modifiers) || IsSystemKey(qtKey, modifiers))
        return;
    // A held key repeats its key-down messages only.
    if (!down && autoRepeat)
        return;
    const std::optional<uint8_t> key = VirtualKeyFor(qtKey, modifiers);
    if (!key)
        return;
    const uint8_t code = TranslateKey(*key);
    if (down) {
        link_.keyPresses.fetch_add(1);
        sendInput(MakeKeyPacket(input::kKeyDown, code, uint8_t(std::max(count, 1))));
    } else {
        sendInput(MakeKeyPacket(input::kKeyUp, code, 1));
    }
}

ConnectionViewSettings DeviceWindow::viewSettings() const
{
    ConnectionViewSettings s;
    s.scale = view_.scale.load();
    s.refreshRate = view_.screen.refreshRate.load();
    s.lowColor = view_.screen.lowColor.load() != 0;
    s.queueEvents = view_.queueEvents != 0;
    s.showMouseCursor = view_.showMouseCursor != 0;
    s.skinShown = false; // skins are not shown by this window yet
    s.skinIndex = view_.skinIndex;
    s.recordingMethod = view_.recordingMethod;
    s.captureMode = view_.captureMode;
    s.clickFormat = view_.clickFormat;
    return s;
}

void DeviceWindow::storeViewSettings(const ConnectionViewSettings& s)
{
    view_.scale = std::clamp(s.scale, 1, 4);
    view_.screen.refreshRate = std::clamp(s.refreshRate, 1, 18);
    view_.queueEvents = s.queueEvents ? 1 : 0;
    view_.showMouseCursor = s.showMouseCursor ? 1 : 0;
    view_.skinIndex = s.skinIndex;
    view_.recordingMethod = s.recordingMethod;
    view_.captureMode = s.captureMode;
    view_.clickFormat = s.clickFormat;
    updateChecks();
}

} // namespace sorvane
