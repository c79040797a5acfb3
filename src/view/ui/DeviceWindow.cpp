#include "view/ui/DeviceWindow.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <utility>

#include <QCloseEvent>
#include <QCursor>
#include <QDialog>
#include <QLabel>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPainter>
#include <QToolBar>
#include <QVBoxLayout>

#include "link/CommandPacket.h"
#include "program/Program.h"
#include "view/Connection.h"
#include "view/PictureRender.h"
#include "view/ui/KeyMap.h"
#include "view/ui/DevicePicture.h"
#include "view/ui/PicturePainter.h"
#include "view/ui/SkinPainter.h"

namespace sorvane {

namespace {

QString latin1(const std::string& s) { return QString::fromLatin1(s.data(), qsizetype(s.size())); }

} // namespace

// The window as a view of its connection, and the connection's reports about itself:
// calls of the connection thread turned into queued calls to the window. Damage
// accumulates in device coordinates until the window has taken it (and mapped it
// through its own geometry), so a fast device never floods the event queue with paint
// requests.
class DeviceWindow::Sink final : public ConnectionView, public ConnectionObserver {
public:
    explicit Sink(DeviceWindow* window) : window_(window) {}

    void invalidate(const DeviceRect& r) override
    {
        if (damage.add(r))
            QMetaObject::invokeMethod(window_, [w = window_] { w->flushDamage(); }, Qt::QueuedConnection);
    }
    void repaintAll() override
    {
        QMetaObject::invokeMethod(window_, [w = window_] { w->client()->update(); }, Qt::QueuedConnection);
    }
    bool hidden() const override { return minimized.load(); }
    void stateChanged(DeviceState state) override
    {
        QMetaObject::invokeMethod(window_, [w = window_, state] { w->deviceStateChanged(state); },
                                  Qt::QueuedConnection);
    }

    ViewDamage damage;
    std::atomic<bool> minimized{false};

private:
    DeviceWindow* window_;
};

DeviceWindow::DeviceWindow(DeviceWindowContext context, Program& program, Device& device, const Profile& profile,
                           const ViewStart& start, QWidget* parent)
    : QWidget(parent, Qt::Window)
    , context_(std::move(context))
    , sink_(std::make_unique<Sink>(this))
    , program_(program)
    , device_(device)
    , connection_(&device.connection())
    , slot_(connection_->slot())
    , profileIndex_(connection_->view().profileIndex)
    , view_(connection_->view())
    , skinIndex_(profile.skinIndex)
    , showMouseCursor_(profile.showMouseCursor != 0)
    , maximized_(profile.openMaximized != 0)
    , display_(connection_->display())
{
    geometry_.scale = start.scale >= 1 && start.scale <= 4 ? start.scale : 1;
    setObjectName(QStringLiteral("KWXCLASS"));
    setAttribute(Qt::WA_DeleteOnClose);
    deviceName_ = latin1(connection_->deviceName());
    const std::string_view name = profile.nameView();
    setWindowTitle(QStringLiteral("%1 - %2").arg(QString::fromUtf8(name.data(), qsizetype(name.size())),
                                                  deviceName_));
    layout_ = new QVBoxLayout(this);
    layout_->setContentsMargins(0, 0, 0, 0);
    layout_->setSpacing(0);
    menuBar_ = new QMenuBar(this);
    menuBar_->setObjectName(QStringLiteral("140"));
    layout_->setMenuBar(menuBar_);
    client_ = new DevicePicture(*this, *this);
    layout_->addWidget(client_);
    statusLine_ = new QLabel(this);
    statusLine_->setObjectName(QStringLiteral("statusLine"));
    statusLine_->setContentsMargins(4, 1, 4, 1);
    statusLine_->setTextInteractionFlags(Qt::NoTextInteraction);
    layout_->addWidget(statusLine_);
    statusLine_->setVisible(context_.showStatusLine);
    setFocusProxy(client_);
    client_->setMouseTracking(true); // resting the mouse on a skin button shows its tooltip

    buildToolbar();
    buildMenu();
    geometry_.toolbarHeight = toolbar_->sizeHint().height();

    connection_->attach(*sink_);
    if (device_.started()) {
        device_.follow(sink_.get());
        relinking_ = connection_->reconnecting();
        if (device_.state() == DeviceState::Closed) // it ended before this window could hear it
            sink_->stateChanged(DeviceState::Closed);
    } else {
        device_.start(sink_.get());
    }
    opened_ = true;

    statusTimer_.setInterval(500);
    connect(&statusTimer_, &QTimer::timeout, this, &DeviceWindow::updateStatusLine);
    statusTimer_.start();
    updateStatusLine();

    hoverTimer_.setInterval(HoverCounter::kTickMs);
    connect(&hoverTimer_, &QTimer::timeout, this, &DeviceWindow::hoverTick);
    hoverTimer_.start();

    applyEnabledStates();
    updateChecks();
    fit();
    if (skinIndex_ != 0)
        postCommand(devcmd::ToggleSkin);
    if (context_.position && !maximized_)
        move(*context_.position);
    show();
    connection_->requestRefresh();
    raise();
    activateWindow();
    client_->setFocus();
}

DeviceWindow::~DeviceWindow()
{
    if (statusWindow_)
        delete statusWindow_.data();
    // The view goes from the connection, then the device, before the sink.
    connection_->detach(*sink_);
    const bool keep = !endDevice_ && device_.state() != DeviceState::Closed && context_.keepDevice &&
                      context_.keepDevice();
    if (keep)
        device_.follow(nullptr);
    else
        program_.closeDevice(device_);
}

void DeviceWindow::command(int id)
{
    if (!isCommandEnabled(id))
        return;
    switch (id) {
    case devcmd::RefreshDisplay:
        connection_->requestRefresh();
        break;
    case devcmd::Scale1: setScale(1); break;
    case devcmd::Scale2: setScale(2); break;
    case devcmd::Scale3: setScale(3); break;
    case devcmd::Scale4: setScale(4); break;
    case devcmd::ToggleLowColor: toggleLowColor(); break;
    case devcmd::Rotate90More: setRotation((geometry_.rotation + 90) % 360); break;
    case devcmd::Exit:
        QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
        break;
    case devcmd::DisconnectDevice:
        endDevice_ = true;
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
    case devcmd::AddCheckpoint:
        if (band_ == Band::None) {
            band_ = Band::Armed;
            client_->setCursor(Qt::CrossCursor);
        }
        break;
    case devcmd::StatusLine:
        statusLine_->setVisible(statusLine_->isHidden());
        if (QAction* a = action(devcmd::StatusLine))
            a->setChecked(!statusLine_->isHidden());
        if (context_.services.statusLineShown)
            context_.services.statusLineShown(!statusLine_->isHidden());
        fit();
        break;
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
    updateStatusLine(); // a recording started or ended: Add Checkpoint follows it
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
        if (context_.services.closing)
            context_.services.closing(*this);
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
    // The shown skin at this scale would make a window beyond what is drawn.
    if (skin_.shown && !SkinFitsScale(skin_, scale)) {
        context_.beep.beep();
        return;
    }
    geometry_.scale = scale;
    updateChecks();
    fit();
}

void DeviceWindow::setRotation(int degrees)
{
    geometry_.rotation = degrees;
    placeSkin();
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
    placeSkin();
    fit();
}

void DeviceWindow::toggleSkin(const std::filesystem::path& programDir, MessageBoxPort& messages)
{
    std::string reason;
    switch (ToggleSkin(programDir, skinIndex_, skin_, geometry_.scale, &reason)) {
    case SkinToggle::Failed:
        messages.show(MessageRequest{std::string(kSkinLoadError) + (reason.empty() ? "" : "\n\n" + reason),
                                     std::string(kSkinLoadErrorCaption), MessageIcon::Error, MessageButtons::Ok});
        context_.beep.beep();
        return;
    case SkinToggle::Unchanged:
        context_.beep.beep();
        return;
    case SkinToggle::Shown:
    case SkinToggle::Hidden:
        placeSkin();
        fit();
        return;
    }
}

void DeviceWindow::placeSkin()
{
    const auto at = PlaceSkinPicture(skin_, SecondDisplayInUse(view_.screen), DisplayInUse(view_.screen),
                                     geometry_.rotation);
    if (at) {
        geometry_.skinX = at->skinX;
        geometry_.skinY = at->skinY;
    }
}

void DeviceWindow::hoverTick()
{
    if (!hover_.tick() || !skin_.shown)
        return;
    const QPoint at = client_->mapFromGlobal(QCursor::pos());
    if (!client_->rect().contains(at))
        return;
    const std::string tip = HotspotTip(skin_, SecondDisplayInUse(view_.screen), geometry_, at.x(), at.y());
    if (tip.empty())
        return;
    tip_ = QString::fromUtf8(tip.data(), qsizetype(tip.size()));
    tipBox_ = HotspotTipBox(client_->fontMetrics(), tip_, at,
                            QRect(0, toolbarHeight(), client_->width(), client_->height() - toolbarHeight()));
    client_->update(tipBox_);
}

void DeviceWindow::hideTip()
{
    hover_.reset();
    if (tip_.isEmpty())
        return;
    tip_.clear();
    client_->update(tipBox_);
}

void DeviceWindow::fit()
{
    hideTip();
    const DisplaySize d = SkinContentSize(skin_, SecondDisplayInUse(view_.screen), DisplayInUse(view_.screen));
    int width = 0, height = 0;
    FitClientSize(geometry_, d.width, d.height, width, height);
    if (maximized_) {
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
        toolbar_->setGeometry(0, 0, client_->width(),
                              toolbarHeight() ? toolbarHeight() : toolbar_->sizeHint().height());
}

void DeviceWindow::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() != QEvent::WindowStateChange || !opened_)
        return;
    const bool minimized = isMinimized();
    sink_->minimized = minimized;
    if (minimized)
        return;
    const bool maximized = (windowState() & Qt::WindowMaximized) != 0;
    if (maximized != maximized_) {
        maximized_ = maximized;
        fit();
    }
}

void DeviceWindow::flushDamage()
{
    sink_->damage.repaint(*client_, geometry_, DisplayInUse(view_.screen));
}

void DeviceWindow::paintClient(QWidget& target, const QRegion& exposed)
{
    QPainter painter(&target);
    for (const QRect& r : exposed) {
        PaintDeviceView(painter, r, view_.screen, geometry_, skin_);
        if (greyed_) // the last picture before the link dropped
            painter.fillRect(r, QColor(128, 128, 128, 140));
    }
    if (!tip_.isEmpty())
        PaintHotspotTip(painter, tipBox_, tip_);
    if (band_ != Band::Dragging)
        return;
    // The band shows the device pixels it takes: snapped to them and clipped to the picture.
    const DeviceRect area = bandArea();
    if (area.empty())
        return;
    const DisplaySize d = DisplayInUse(view_.screen);
    const WindowRect r = InvalidateChanged(geometry_, d.width, d.height, area);
    const QRect band(QPoint(r.left, r.top), QPoint(r.right - 1, r.bottom - 1));
    painter.fillRect(band, QColor(0, 120, 215, 50));
    painter.setPen(QPen(QColor(0, 90, 200), 1, Qt::DashLine));
    painter.drawRect(band);
    const QString size = QStringLiteral("%1 x %2").arg(area.right - area.left).arg(area.bottom - area.top);
    const QRect label = painter.fontMetrics().boundingRect(size).adjusted(-3, -1, 3, 1);
    QRect at(QPoint(band.left(), band.bottom() + 3), label.size());
    if (at.bottom() >= target.height())
        at.moveBottom(band.top() - 3);
    painter.fillRect(at, QColor(255, 255, 225));
    painter.setPen(Qt::black);
    painter.drawText(at, Qt::AlignCenter, size);
}

DeviceRect DeviceWindow::bandArea() const
{
    const DisplaySize d = DisplayInUse(view_.screen);
    return WindowBandToDevice(geometry_, d.width, d.height, bandFrom_.x(), bandFrom_.y(), bandTo_.x(), bandTo_.y());
}

void DeviceWindow::endBand()
{
    if (band_ == Band::None || band_ == Band::Cancelled)
        return;
    band_ = band_ == Band::Dragging ? Band::Cancelled : Band::None;
    client_->unsetCursor();
    client_->update();
}

bool DeviceWindow::bandInput(QEvent::Type type, Qt::MouseButton button, Qt::KeyboardModifiers modifiers,
                             const QPoint& at)
{
    const bool press = type == QEvent::MouseButtonPress || type == QEvent::MouseButtonDblClick;
    if (band_ == Band::Armed) {
        // Until a left press starts the band the device is operated as ever (a button
        // held from before gets its release).
        if (!press || button != Qt::LeftButton)
            return false;
        band_ = Band::Dragging;
        bandFrom_ = bandTo_ = at;
        hideTip();
        client_->update();
        return true;
    }
    if (type == QEvent::MouseMove && band_ == Band::Dragging) {
        bandTo_ = at;
        client_->update();
    }
    if (type != QEvent::MouseButtonRelease || button != Qt::LeftButton)
        return true; // every event of the drag is the band's
    const bool cancelled = band_ == Band::Cancelled;
    bandTo_ = at;
    const DeviceRect area = bandArea();
    endBand();
    band_ = Band::None;
    if (cancelled)
        return true;
    const int w = area.right - area.left, h = area.bottom - area.top;
    // Recording may have ended meanwhile; a click or a sliver marks nothing.
    if (w < 2 || h < 2 || !isCommandEnabled(devcmd::AddCheckpoint))
        return true;
    RgbPicture shown;
    if (!ShownRgb(view_.screen, shown))
        return true;
    CheckpointRegion region{area, CropRgb(shown, area.left, area.top, w, h), (modifiers & Qt::ShiftModifier) != 0};
    if (!region.picture.empty())
        context_.services.checkpoint(*this, region);
    return true;
}

void DeviceWindow::updateStatusLine()
{
    // The width never pushes the window wider: the line is elided to the picture's.
    WindowActivity activity;
    activity.recordState = view_.recordState.load();
    activity.recordsVideo = view_.recordingMethod == 1;
    if (context_.services.describe)
        context_.services.describe(*this, activity);
    std::string line = ActivityText(activity);
    line += (line.empty() ? "" : " \xC2\xB7 ") + LinkStatusText(connection_->figures());
    const QString text = QString::fromStdString(line);
    statusLine_->setToolTip(text);
    const int room = std::max(40, client_->width() - 8);
    statusLine_->setText(statusLine_->fontMetrics().elidedText(text, Qt::ElideRight, room));
    const bool recording = isCommandEnabled(devcmd::AddCheckpoint);
    if (recording != recording_) {
        recording_ = recording;
        applyEnabledStates();
    }
    if (!recording && band_ != Band::None)
        endBand();
    const bool grey = connection_->reconnecting();
    if (grey != greyed_) {
        greyed_ = grey;
        client_->update();
    }
}

// The connection's own reports: it closed, or a dropped link is being dialled again,
// or the new link is in (the connection has rebuilt the pictures and asked for a
// refresh; the window refits when the display changed).
void DeviceWindow::deviceStateChanged(DeviceState state)
{
    if (state == DeviceState::Closed) {
        close();
        return;
    }
    updateStatusLine();
    if (state == DeviceState::Reconnecting) {
        relinking_ = true;
        return;
    }
    if (state != DeviceState::Live || !relinking_)
        return;
    relinking_ = false;
    applyEnabledStates();
    const DisplayGeometry now = connection_->display();
    if (!(now == display_)) {
        display_ = now;
        placeSkin();
        fit();
    }
    client_->update();
    if (context_.services.reconnected)
        context_.services.reconnected(*this);
}

void DeviceWindow::sendInput(const InputPacket& packet)
{
    if (connection_->reconnecting())
        return; // the device is not there: nothing is sent, nothing recorded
    if (context_.services.inputSent)
        context_.services.inputSent(*this, packet);
    connection_->sendInput(packet, context_.settings.QueueEvents != 0);
}

void DeviceWindow::noteTypedKeys(const std::vector<InputPacket>& packets)
{
    for (const InputPacket& p : packets) {
        if (p[0] == input::kKeyDown)
            connection_->countInput(1, 0);
        if (context_.services.inputSent)
            context_.services.inputSent(*this, p);
    }
}

void DeviceWindow::mouseInput(QEvent::Type type, Qt::MouseButton button, Qt::MouseButtons held,
                              Qt::KeyboardModifiers modifiers, const QPoint& clientPoint)
{
    if (band_ != Band::None && bandInput(type, button, modifiers, clientPoint))
        return;
    const ViewGeometry& g = geometry_;
    const DisplaySize d = DisplayInUse(view_.screen);
    PointerAction action = PointerAction::Move;
    switch (type) {
    case QEvent::MouseMove: action = PointerAction::Move; break;
    case QEvent::MouseButtonPress: action = PointerAction::Press; break;
    case QEvent::MouseButtonDblClick: action = PointerAction::DoublePress; break;
    case QEvent::MouseButtonRelease: action = PointerAction::Release; break;
    default: return;
    }
    const PointerButton which = button == Qt::LeftButton    ? PointerButton::Left
                                : button == Qt::RightButton ? PointerButton::Right
                                                            : PointerButton::None;
    // A press on a skin button (the second press of a double click too) is that
    // button's click; its release belongs to it as well, the device saw no press.
    const int bit = which == PointerButton::Left ? 1 : which == PointerButton::Right ? 2 : 0;
    if (action == PointerAction::Move || action == PointerAction::Release)
        hideTip();
    if (bit && (action == PointerAction::Press || action == PointerAction::DoublePress)) {
        const HotspotClick click =
            ClickHotspots(skin_, SecondDisplayInUse(view_.screen), g, clientPoint.x(), clientPoint.y());
        if (click.taken()) {
            hotspotButtons_ |= bit;
            if (context_.playClick)
                context_.playClick(click.hits);
            connection_->countInput(uint32_t(click.keyPresses), 0);
            for (const InputPacket& p : click.packets)
                sendInput(p);
            return;
        }
    }
    if (action == PointerAction::Release && (hotspotButtons_ & bit)) {
        hotspotButtons_ &= ~bit;
        return;
    }
    const PointerResult r = pointer_.map(g, d.width, d.height, action, which, (held & Qt::LeftButton) != 0,
                                         clientPoint.x(), clientPoint.y());
    if (r.clicks)
        connection_->countInput(0, uint32_t(r.clicks));
    for (const InputPacket& p : r.packets)
        sendInput(p);
}

void DeviceWindow::keyInput(int qtKey, Qt::KeyboardModifiers modifiers, bool down, bool autoRepeat, int count)
{
    // The accelerator keys belong to the main window; system keys are swallowed.
    if (IsAcceleratorKey(qtKey, modifiers) || IsSystemKey(qtKey, modifiers))
        return;
    // A held key repeats its key-down messages only.
    if (!down && autoRepeat)
        return;
    // Escape ends Add Checkpoint's band (or its wait for a drag); neither of its
    // messages reaches the device.
    if (qtKey == Qt::Key_Escape && (band_ != Band::None || (!down && escapeTaken_))) {
        escapeTaken_ = down;
        endBand();
        return;
    }
    const std::optional<uint8_t> key = VirtualKeyFor(qtKey, modifiers);
    if (!key)
        return;
    const uint8_t code = TranslateKey(*key);
    if (down) {
        connection_->countInput(1, 0);
        sendInput(MakeKeyPacket(input::kKeyDown, code, uint8_t(std::max(count, 1))));
    } else {
        sendInput(MakeKeyPacket(input::kKeyUp, code, 1));
    }
}

ConnectionViewSettings DeviceWindow::viewSettings() const
{
    ConnectionViewSettings s;
    s.scale = geometry_.scale;
    s.refreshRate = view_.screen.refreshRate.load();
    s.lowColor = view_.screen.lowColor.load() != 0;
    s.queueEvents = view_.queueEvents != 0;
    s.showMouseCursor = showMouseCursor_;
    s.skinShown = skin_.shown;
    s.skinIndex = skinIndex_;
    s.recordingMethod = view_.recordingMethod;
    s.captureMode = view_.captureMode;
    s.clickFormat = view_.clickFormat;
    return s;
}

void DeviceWindow::storeViewSettings(const ConnectionViewSettings& s)
{
    if (!skin_.shown || SkinFitsScale(skin_, std::clamp(s.scale, 1, 4)))
        geometry_.scale = std::clamp(s.scale, 1, 4);
    view_.screen.refreshRate = std::clamp(s.refreshRate, 1, 18);
    view_.queueEvents = s.queueEvents ? 1 : 0;
    showMouseCursor_ = s.showMouseCursor;
    skinIndex_ = s.skinIndex;
    view_.recordingMethod = s.recordingMethod;
    view_.captureMode = s.captureMode;
    view_.clickFormat = s.clickFormat;
    updateChecks();
}

} // namespace sorvane
