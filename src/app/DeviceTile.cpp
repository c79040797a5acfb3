#include "app/DeviceTile.h"

#include <algorithm>

#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>

#include "platform/Utf8Text.h"
#include "platform/Windows1252.h"
#include "program/Device.h"
#include "view/Connection.h"
#include "view/ui/KeyMap.h"
#include "view/ui/PicturePainter.h"

namespace sorvane {

namespace {

constexpr int kPad = 4; // around the picture box and the caption

QString deviceText(const std::string& bytes)
{
    return QString::fromStdString(EscapeText(Windows1252ToUtf8(bytes)));
}

} // namespace

// The tile as a view of the connection: changes collect in device coordinates until the
// tile takes them on its own thread (one queued call however many arrive meanwhile).
class DeviceTile::Sink final : public ConnectionView {
public:
    explicit Sink(DeviceTile* tile) : tile_(tile) {}
    void invalidate(const DeviceRect& r) override
    {
        if (damage.add(r))
            QMetaObject::invokeMethod(tile_, [t = tile_] { t->flushDamage(); }, Qt::QueuedConnection);
    }
    void repaintAll() override
    {
        QMetaObject::invokeMethod(tile_, [t = tile_] { t->update(); }, Qt::QueuedConnection);
    }
    bool hidden() const override { return hiddenView.load(); }

    ViewDamage damage;
    std::atomic<bool> hiddenView{false};

private:
    DeviceTile* tile_;
};

// Hung on the Device: destroyed with it (on the owner thread, before its connection
// stops), it has the tile let go of the connection first.
class DeviceTile::Anchor final : public DeviceAdapter {
public:
    explicit Anchor(DeviceTile* tile) : tile_(tile) {}
    ~Anchor() override
    {
        if (tile_)
            tile_->deviceGone();
    }

private:
    QPointer<DeviceTile> tile_;
};

DeviceTile::DeviceTile(Device& device, QString profileName, const int32_t& queueEvents, QWidget* parent)
    : QWidget(parent)
    , sink_(std::make_unique<Sink>(this))
    , connection_(&device.connection())
    , slot_(device.slot())
    , serial_(device.serial())
    , queueEvents_(queueEvents)
    , name_(deviceText(device.connection().deviceName()))
    , profileName_(std::move(profileName))
{
    setObjectName(QStringLiteral("tile%1").arg(slot_));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::ClickFocus);
    setMouseTracking(false);
    connection_->attach(*sink_);
    device.hang(std::make_unique<Anchor>(this));
    refreshStatus();
}

DeviceTile::~DeviceTile()
{
    if (connection_)
        connection_->detach(*sink_);
}

void DeviceTile::deviceGone()
{
    if (!connection_)
        return;
    connection_->detach(*sink_);
    connection_ = nullptr;
    leader_ = false;
    emit gone(this);
}

void DeviceTile::setProfileName(QString name)
{
    if (name == profileName_)
        return;
    profileName_ = std::move(name);
    update(captionRect());
}

void DeviceTile::setSelected(bool on)
{
    if (on != selected_) {
        selected_ = on;
        update();
    }
}

void DeviceTile::setCurrent(bool on)
{
    if (on != current_) {
        current_ = on;
        update();
    }
}

void DeviceTile::setBroadcast(bool leader, BroadcastMark mark)
{
    if (leader == leader_ && mark == mark_)
        return;
    leader_ = leader;
    mark_ = mark;
    setCursor(leader ? Qt::CrossCursor : Qt::ArrowCursor);
    update();
}

void DeviceTile::setHiddenView(bool hidden) { sink_->hiddenView = hidden; }

QRect DeviceTile::pictureBox() const
{
    const int caption = 2 * fontMetrics().height() + kPad;
    return QRect(kPad, kPad, std::max(1, width() - 2 * kPad), std::max(1, height() - caption - 2 * kPad));
}

QRect DeviceTile::captionRect() const
{
    const QRect box = pictureBox();
    return QRect(kPad, box.bottom() + 1, width() - 2 * kPad, height() - box.bottom() - 1);
}

DisplaySize DeviceTile::display() const { return connection_ ? DisplayInUse(connection_->screen()) : DisplaySize{}; }

FittedPicture DeviceTile::fitted() const
{
    const DisplaySize d = display();
    const QRect box = pictureBox();
    return FitPicture(d.width, d.height, box.width(), box.height());
}

QRect DeviceTile::pictureRect() const
{
    const FittedPicture f = fitted();
    const QRect box = pictureBox();
    return QRect(box.left() + (box.width() - f.width) / 2, box.top() + (box.height() - f.height) / 2, f.width,
                 f.height);
}

QRect DeviceTile::leaveOutRect() const
{
    if (mark_ != BroadcastMark::OtherGeometry)
        return {};
    const QRect box = pictureBox();
    const QString text = tr("Leave out");
    const int w = fontMetrics().horizontalAdvance(text) + 12, h = fontMetrics().height() + 4;
    return QRect(box.right() - w - 2, box.top() + 2, w, h);
}

QString DeviceTile::markText() const
{
    switch (mark_) {
    case BroadcastMark::OtherGeometry: return tr("other size");
    case BroadcastMark::LeftOut: return tr("left out");
    case BroadcastMark::Skipped: return tr("skipped");
    case BroadcastMark::None: break;
    }
    return {};
}

void DeviceTile::refreshStatus()
{
    if (!connection_)
        return;
    const LinkFigures figures = connection_->figures();
    const QString text = QString::fromStdString(LinkStatusText(figures));
    const bool grey = figures.state == LinkState::Reconnecting;
    if (grey != greyed_) {
        greyed_ = grey;
        update();
    }
    if (text != status_) {
        status_ = text;
        update(captionRect());
    }
}

void DeviceTile::flushDamage()
{
    if (!connection_) {
        (void)sink_->damage.take();
        return;
    }
    const DisplaySize d = DisplayInUse(connection_->screen());
    const QRect at = pictureRect();
    for (const DeviceRect& a : sink_->damage.take()) {
        const WindowRect r = ShownArea(d.width, d.height, at.width(), at.height(), a);
        update(QRect(at.left() + r.left, at.top() + r.top, r.right - r.left, r.bottom - r.top));
    }
}

void DeviceTile::resizeEvent(QResizeEvent*) { update(); }

void DeviceTile::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    const QPalette& pal = palette();
    const QColor back = selected_ ? pal.color(QPalette::Highlight).lighter(170) : pal.color(QPalette::Window);
    const QRect picture = pictureRect();
    // Everything but the picture; the picture's own pixels come from the paint rule.
    QRegion around = event->region().subtracted(QRegion(picture));
    for (const QRect& r : around)
        painter.fillRect(r, back);
    if (connection_) {
        for (const QRect& r : event->region().intersected(QRegion(picture)))
            PaintPictureInto(painter, r, connection_->screen(), 0, [&](DisplaySize) { return picture; });
    } else {
        painter.fillRect(picture, Qt::black);
    }
    if (greyed_ || !connection_ || mark_ == BroadcastMark::LeftOut)
        painter.fillRect(picture, QColor(128, 128, 128, 140));

    // The frame: the leader's, the selection's, or a quiet line.
    const QRect frame = rect().adjusted(0, 0, -1, -1);
    if (leader_)
        painter.setPen(QPen(QColor(230, 120, 0), 3));
    else if (selected_)
        painter.setPen(QPen(pal.color(QPalette::Highlight), 3));
    else
        painter.setPen(QPen(pal.color(QPalette::Mid), 1));
    painter.drawRect(selected_ || leader_ ? frame.adjusted(1, 1, -1, -1) : frame);
    if (current_) {
        painter.setPen(QPen(pal.color(QPalette::WindowText), 1, Qt::DotLine));
        painter.drawRect(frame.adjusted(3, 3, -3, -3));
    }

    // Broadcast badges over the picture's top.
    const QFontMetrics fm = fontMetrics();
    auto badge = [&](const QRect& at, const QString& text, const QColor& colour) {
        painter.fillRect(at, colour);
        painter.setPen(Qt::white);
        painter.drawText(at, Qt::AlignCenter, text);
    };
    const QRect box = pictureBox();
    int badgeX = box.left() + 2;
    if (leader_) {
        const QString text = tr("leader");
        const QRect at(badgeX, box.top() + 2, fm.horizontalAdvance(text) + 10, fm.height() + 4);
        badge(at, text, QColor(230, 120, 0));
        badgeX = at.right() + 4;
    }
    if (const QString mark = markText(); !mark.isEmpty()) {
        const QRect at(badgeX, box.top() + 2, fm.horizontalAdvance(mark) + 10, fm.height() + 4);
        badge(at, mark, mark_ == BroadcastMark::Skipped ? QColor(200, 40, 40) : QColor(90, 90, 160));
    }
    if (const QRect leave = leaveOutRect(); !leave.isEmpty())
        badge(leave, tr("Leave out"), QColor(60, 60, 60));

    // The caption: a state dot, the name (and profile), then the link's figures.
    const QRect caption = captionRect();
    const int line = fm.height();
    const QColor dot = !connection_                 ? QColor(128, 128, 128)
                       : greyed_                     ? QColor(200, 40, 40)
                       : status_.startsWith("wait") ? QColor(220, 160, 0)
                                                     : QColor(40, 170, 60);
    painter.setPen(Qt::NoPen);
    painter.setBrush(dot);
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.drawEllipse(QRect(caption.left(), caption.top() + (line - 8) / 2 + 2, 8, 8));
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(pal.color(QPalette::WindowText));
    QFont bold = font();
    bold.setBold(true);
    painter.setFont(bold);
    const QRect nameRect(caption.left() + 12, caption.top() + 2, caption.width() - 12, line);
    QString title = name_;
    if (!profileName_.isEmpty() && profileName_ != name_)
        title += QStringLiteral(" \u00B7 ") + profileName_;
    painter.drawText(nameRect, Qt::AlignLeft | Qt::AlignVCenter,
                     QFontMetrics(bold).elidedText(title, Qt::ElideRight, nameRect.width()));
    painter.setFont(font());
    painter.setPen(pal.color(QPalette::PlaceholderText));
    const QRect statusRect(caption.left(), caption.top() + 2 + line, caption.width(), line);
    painter.drawText(statusRect, Qt::AlignLeft | Qt::AlignVCenter,
                     fm.elidedText(connection_ ? status_ : tr("disconnected"), Qt::ElideRight, statusRect.width()));
}

void DeviceTile::send(const InputPacket& packet)
{
    if (!connection_ || connection_->reconnecting())
        return; // the device is not there: nothing is sent
    connection_->sendInput(packet, queueEvents_ != 0);
    if (leaderInput_)
        leaderInput_(packet, queueEvents_ != 0);
}

bool DeviceTile::pointerInput(QMouseEvent* e)
{
    if (!leader_ || !connection_)
        return false;
    const QRect at = pictureRect();
    PointerAction action = PointerAction::Move;
    switch (e->type()) {
    case QEvent::MouseMove: action = PointerAction::Move; break;
    case QEvent::MouseButtonPress: action = PointerAction::Press; break;
    case QEvent::MouseButtonDblClick: action = PointerAction::DoublePress; break;
    case QEvent::MouseButtonRelease: action = PointerAction::Release; break;
    default: return false;
    }
    // Presses count only on the picture; a drag begun there goes on off it.
    if ((action == PointerAction::Press || action == PointerAction::DoublePress) &&
        !at.contains(e->position().toPoint()))
        return false;
    const PointerButton which = e->button() == Qt::LeftButton    ? PointerButton::Left
                                : e->button() == Qt::RightButton ? PointerButton::Right
                                                                 : PointerButton::None;
    // The tile's own geometry: shown point -> device pixel, then the pointer rules at 1x.
    const DisplaySize d = DisplayInUse(connection_->screen());
    const QPoint p = e->position().toPoint() - at.topLeft();
    const DevicePoint device = ShownToDevice(d.width, d.height, at.width(), at.height(), p.x(), p.y());
    const PointerResult r = pointer_.map(ViewGeometry{}, d.width, d.height, action, which,
                                         (e->buttons() & Qt::LeftButton) != 0, device.x, device.y);
    if (r.clicks)
        connection_->countInput(0, uint32_t(r.clicks));
    for (const InputPacket& packet : r.packets)
        send(packet);
    return true;
}

void DeviceTile::mousePressEvent(QMouseEvent* e)
{
    if (e->button() == Qt::LeftButton && leaveOutRect().contains(e->position().toPoint())) {
        emit leaveOutClicked(this);
        return;
    }
    if (pointerInput(e))
        return;
    if (e->button() == Qt::LeftButton)
        emit pressed(this, e->modifiers());
}

void DeviceTile::mouseReleaseEvent(QMouseEvent* e) { pointerInput(e); }

void DeviceTile::mouseMoveEvent(QMouseEvent* e) { pointerInput(e); }

void DeviceTile::mouseDoubleClickEvent(QMouseEvent* e)
{
    if (pointerInput(e))
        return;
    if (e->button() == Qt::LeftButton)
        emit doubleClicked(this);
}

void DeviceTile::contextMenuEvent(QContextMenuEvent* e)
{
    // On the leader's picture the right button is the device's.
    if (leader_ && e->reason() == QContextMenuEvent::Mouse && pictureRect().contains(e->pos()))
        return;
    emit menuRequested(this, e->globalPos());
}

void DeviceTile::keyPressEvent(QKeyEvent* e)
{
    if (!leader_ || !connection_ || IsAcceleratorKey(e->key(), e->modifiers()) ||
        IsSystemKey(e->key(), e->modifiers())) {
        QWidget::keyPressEvent(e);
        return;
    }
    const std::optional<uint8_t> key = VirtualKeyFor(e->key(), e->modifiers());
    if (!key)
        return;
    connection_->countInput(1, 0);
    send(MakeKeyPacket(input::kKeyDown, TranslateKey(*key), uint8_t(std::max(e->count(), 1))));
}

void DeviceTile::keyReleaseEvent(QKeyEvent* e)
{
    if (!leader_ || !connection_ || e->isAutoRepeat()) {
        QWidget::keyReleaseEvent(e);
        return;
    }
    if (IsAcceleratorKey(e->key(), e->modifiers()) || IsSystemKey(e->key(), e->modifiers()))
        return;
    if (const std::optional<uint8_t> key = VirtualKeyFor(e->key(), e->modifiers()))
        send(MakeKeyPacket(input::kKeyUp, TranslateKey(*key), 1));
}

} // namespace sorvane
