#include "app/DevicesWindow.h"

#include <algorithm>
#include <cmath>

#include <QAction>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyle>
#include <QVBoxLayout>

#include "app/ConnectionWindows.h"
#include "app/DeviceTile.h"
#include "app/FleetService.h"
#include "platform/ui/CommandActions.h"
#include "program/InputBroadcast.h"
#include "program/Program.h"
#include "view/CommandTable.h"
#include "view/ui/DeviceWindow.h"

namespace sorvane {

namespace {

constexpr int kGap = 6;
constexpr int kLeastPictureWidth = 120; // below it the grid scrolls rather than shrink tiles
constexpr int kLeastPictureHeight = 90;

QString profileNameOf(Program& program, int index)
{
    const Profile* p = index >= 0 ? program.profiles().get(index) : nullptr;
    if (!p)
        return {};
    const std::string_view name = p->nameView();
    return QString::fromUtf8(name.data(), qsizetype(name.size()));
}

// Profile order, several devices of one profile in the order they came, then the
// devices without a profile in the order they came.
bool tileBefore(Program& program, const DeviceTile* a, const DeviceTile* b)
{
    auto key = [&](const DeviceTile* t) {
        const Device* d = program.device(t->slot());
        const int profile = d && d->serial() == t->serial() ? d->profileIndex() : -1;
        return std::tuple(profile < 0, profile, t->serial());
    };
    return key(a) < key(b);
}

// The room the tile needs besides its picture.
QSize tileChrome(const QWidget& w)
{
    const int pad = 4, line = w.fontMetrics().height();
    return QSize(2 * pad, 2 * line + 3 * pad);
}

} // namespace

DevicesWindow::DevicesWindow(DevicesWindowContext context, QWidget* parent)
    : QWidget(parent, Qt::Window)
    , context_(std::move(context))
{
    setObjectName(QStringLiteral("Devices"));
    setWindowTitle(tr("Devices"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->setSpacing(6);
    auto* bar = new QHBoxLayout;
    filter_ = new QLineEdit(this);
    filter_->setObjectName(QStringLiteral("filter"));
    filter_->setPlaceholderText(tr("Filter by name"));
    filter_->setClearButtonEnabled(true);
    filter_->setMaximumWidth(260);
    connect(filter_, &QLineEdit::textChanged, this, [this] { applyFilter(); });
    bar->addWidget(filter_);
    count_ = new QLabel(this);
    count_->setObjectName(QStringLiteral("count"));
    bar->addWidget(count_, 1);
    layout->addLayout(bar);

    scroll_ = new QScrollArea(this);
    scroll_->setObjectName(QStringLiteral("grid"));
    scroll_->setWidgetResizable(false);
    scroll_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll_->setFrameShape(QFrame::NoFrame);
    area_ = new QWidget;
    area_->setObjectName(QStringLiteral("tiles"));
    scroll_->setWidget(area_);
    scroll_->viewport()->installEventFilter(this);
    layout->addWidget(scroll_, 1);

    auto* selectAllKey = new QAction(tr("Select All"), this);
    selectAllKey->setShortcut(QKeySequence::SelectAll);
    selectAllKey->setShortcutContext(Qt::WindowShortcut);
    connect(selectAllKey, &QAction::triggered, this, &DevicesWindow::selectAll);
    addAction(selectAllKey);

    // Broadcast input's key, where it is the window's own (a program-wide one reaches
    // device windows only).
    if (const CommandRow* row = FindCommand(command_rows::kDeviceCommands, cmd::BroadcastInput);
        row && !row->key.empty() && row->reach == KeyReach::Window) {
        auto* key = new QAction(CommandText(row->text), this);
        key->setShortcut(CommandKeys(*row));
        key->setShortcutContext(Qt::WindowShortcut);
        connect(key, &QAction::triggered, this, [this] { toggleBroadcast(current_); });
        addAction(key);
    }

    connect(&context_.windows, &ConnectionWindows::changed, this, &DevicesWindow::sync, Qt::QueuedConnection);
    statusTimer_.setInterval(500);
    connect(&statusTimer_, &QTimer::timeout, this, [this] {
        for (DeviceTile* t : tiles_)
            if (t->isVisible())
                t->refreshStatus();
    });
    statusTimer_.start();
    resize(960, 640);
    sync();
}

DevicesWindow::~DevicesWindow()
{
    // The tiles let go of their connections as they go.
    qDeleteAll(tiles_);
    tiles_.clear();
}

void DevicesWindow::sync()
{
    if (syncing_)
        return;
    syncing_ = true;
    Program& program = context_.program;
    // Tiles whose device went (or was replaced in its slot) go.
    std::erase_if(tiles_, [&](DeviceTile* t) {
        const Device* d = program.device(t->slot());
        if (t->live() && d && d->serial() == t->serial())
            return false;
        t->hide();
        t->deleteLater();
        return true;
    });
    for (int slot : program.liveSlots()) {
        Device* d = program.device(slot);
        if (!d || !d->hasConnection())
            continue;
        const bool known = std::any_of(tiles_.begin(), tiles_.end(), [&](const DeviceTile* t) {
            return t->serial() == d->serial();
        });
        if (known)
            continue;
        auto* t = new DeviceTile(*d, profileNameOf(program, d->profileIndex()), program.settings().QueueEvents,
                                 area_);
        connect(t, &DeviceTile::pressed, this, &DevicesWindow::clickTile);
        connect(t, &DeviceTile::doubleClicked, this, &DevicesWindow::openWindow);
        connect(t, &DeviceTile::menuRequested, this, [this](DeviceTile* tile, const QPoint& at) {
            QMenu* menu = makeTileMenu(tile);
            menu->setAttribute(Qt::WA_DeleteOnClose);
            menu->popup(at);
        });
        connect(t, &DeviceTile::leaveOutClicked, this, [this](DeviceTile* tile) {
            if (context_.broadcast)
                context_.broadcast->leaveOut(tile->slot());
        });
        connect(t, &DeviceTile::gone, this, [this] { QMetaObject::invokeMethod(this, &DevicesWindow::sync, Qt::QueuedConnection); });
        tiles_.push_back(t);
    }
    for (DeviceTile* t : tiles_)
        if (const Device* d = program.device(t->slot()))
            t->setProfileName(profileNameOf(program, d->profileIndex()));
    std::stable_sort(tiles_.begin(), tiles_.end(),
                     [&](const DeviceTile* a, const DeviceTile* b) { return tileBefore(program, a, b); });
    syncing_ = false;
    applyFilter();
    updateBroadcastMarks();
}

void DevicesWindow::updateBroadcastMarks()
{
    InputBroadcast* b = context_.broadcast;
    const int leader = b && b->active() ? b->leader() : -1;
    const std::vector<BroadcastMember> members = leader >= 0 ? b->members() : std::vector<BroadcastMember>{};
    for (DeviceTile* t : tiles_) {
        BroadcastMark mark = BroadcastMark::None;
        for (const BroadcastMember& m : members)
            if (m.slot == t->slot() && m.serial == t->serial())
                mark = m.mark;
        const bool leads = t->live() && t->slot() == leader;
        t->setBroadcast(leads, mark);
        if (leads)
            t->setLeaderInput([b](const InputPacket& packet, bool queueEvents) { b->leaderSent(packet, queueEvents); });
        else
            t->setLeaderInput({});
    }
}

void DevicesWindow::toggleBroadcast(DeviceTile* leader)
{
    InputBroadcast* b = context_.broadcast;
    if (!b)
        return;
    if (b->active()) {
        b->stop();
        updateBroadcastMarks();
        return;
    }
    const std::vector<DeviceTile*> shown = shownTiles();
    if (!leader || !leader->live()) {
        const std::vector<int> selected = selectedSlots();
        leader = selected.empty() ? nullptr : tile(selected.front());
    }
    if (!leader || !leader->live())
        return;
    std::vector<int> members;
    for (int slot : selectedSlots())
        if (slot != leader->slot())
            members.push_back(slot);
    if (members.empty())
        for (const DeviceTile* t : shown)
            if (t != leader && t->live())
                members.push_back(t->slot());
    if (members.empty())
        return;
    setCurrent(leader);
    b->start(leader->slot(), members);
    updateBroadcastMarks();
    leader->setFocus();
}

std::vector<DeviceTile*> DevicesWindow::shownTiles() const
{
    std::vector<DeviceTile*> shown;
    const QString text = filter_->text().trimmed();
    for (DeviceTile* t : tiles_)
        if (text.isEmpty() || t->deviceName().contains(text, Qt::CaseInsensitive) ||
            t->profileName().contains(text, Qt::CaseInsensitive))
            shown.push_back(t);
    return shown;
}

std::vector<int> DevicesWindow::shownSlots() const
{
    std::vector<int> chosen;
    for (const DeviceTile* t : shownTiles())
        chosen.push_back(t->slot());
    return chosen;
}

std::vector<int> DevicesWindow::selectedSlots() const
{
    std::vector<int> chosen;
    for (const DeviceTile* t : shownTiles())
        if (t->selected())
            chosen.push_back(t->slot());
    return chosen;
}

DeviceTile* DevicesWindow::tile(int slot) const
{
    for (DeviceTile* t : tiles_)
        if (t->slot() == slot)
            return t;
    return nullptr;
}

DeviceTile* DevicesWindow::currentTile() const { return current_.data(); }

void DevicesWindow::setFilter(const QString& text) { filter_->setText(text); }

void DevicesWindow::applyFilter()
{
    const std::vector<DeviceTile*> shown = shownTiles();
    for (DeviceTile* t : tiles_) {
        const bool on = std::find(shown.begin(), shown.end(), t) != shown.end();
        t->setVisible(on);
    }
    reflow();
    updateCount();
    updateHidden();
}

void DevicesWindow::updateCount()
{
    const size_t shown = shownTiles().size(), selected = selectedSlots().size();
    QString text = shown == tiles_.size() ? tr("%n device(s)", nullptr, int(tiles_.size()))
                                          : tr("%1 of %2 devices").arg(shown).arg(tiles_.size());
    if (selected > 0)
        text += tr(", %1 selected").arg(selected);
    count_->setText(text);
}

void DevicesWindow::updateHidden()
{
    const bool away = !isVisible() || isMinimized();
    for (DeviceTile* t : tiles_)
        t->setHiddenView(away || t->isHidden());
}

void DevicesWindow::reflow()
{
    const std::vector<DeviceTile*> shown = shownTiles();
    QSize room = scroll_->maximumViewportSize();
    const int n = int(shown.size());
    if (n == 0) {
        area_->resize(room);
        return;
    }
    // The largest display shown sets the grid's cells.
    int refW = 1, refH = 1;
    for (const DeviceTile* t : shown) {
        const DisplaySize s = t->display();
        refW = std::max(refW, s.width);
        refH = std::max(refH, s.height);
    }
    const QSize chrome = tileChrome(*this);
    auto cellFor = [&](int cols, int width, int height, int rows) {
        return QSize((width - kGap * (cols + 1)) / cols, (height - kGap * (rows + 1)) / rows);
    };
    // Every tile in view, as large as can be.
    int bestCols = 0;
    double bestScale = 0;
    for (int cols = 1; cols <= n; ++cols) {
        const int rows = (n + cols - 1) / cols;
        const QSize cell = cellFor(cols, room.width(), room.height(), rows);
        const int pw = cell.width() - chrome.width(), ph = cell.height() - chrome.height();
        if (pw < kLeastPictureWidth || ph < kLeastPictureHeight)
            continue;
        const double scale = std::min(double(pw) / refW, double(ph) / refH);
        if (scale > bestScale) {
            bestScale = scale;
            bestCols = cols;
        }
    }
    int cols = bestCols;
    QSize cell;
    if (cols > 0) {
        cell = cellFor(cols, room.width(), room.height(), (n + cols - 1) / cols);
    } else {
        // They do not all fit: tiles of the least size, and the grid scrolls.
        room.setWidth(room.width() - scroll_->style()->pixelMetric(QStyle::PM_ScrollBarExtent));
        cols = std::max(1, (room.width() - kGap) / (kLeastPictureWidth + chrome.width() + kGap));
        const int cw = (room.width() - kGap * (cols + 1)) / cols;
        const int pw = cw - chrome.width();
        const int ph = std::max(kLeastPictureHeight, int(std::lround(double(pw) * refH / refW)));
        cell = QSize(cw, ph + chrome.height());
    }
    const int rows = (n + cols - 1) / cols;
    area_->resize(room.width(), std::max(room.height(), kGap + rows * (cell.height() + kGap)));
    for (int i = 0; i < n; ++i) {
        const int r = i / cols, c = i % cols;
        shown[size_t(i)]->setGeometry(kGap + c * (cell.width() + kGap), kGap + r * (cell.height() + kGap),
                                      cell.width(), cell.height());
    }
}

void DevicesWindow::setCurrent(DeviceTile* tile)
{
    if (current_ == tile)
        return;
    if (current_)
        current_->setCurrent(false);
    current_ = tile;
    if (tile)
        tile->setCurrent(true);
}

void DevicesWindow::clickTile(DeviceTile* tile, Qt::KeyboardModifiers modifiers)
{
    const std::vector<DeviceTile*> shown = shownTiles();
    if (std::find(shown.begin(), shown.end(), tile) == shown.end())
        return;
    if (modifiers & Qt::ShiftModifier) {
        // The range from the anchor (or this tile) to this one, in the order shown.
        auto from = std::find(shown.begin(), shown.end(), anchor_ ? anchor_.data() : tile);
        auto to = std::find(shown.begin(), shown.end(), tile);
        if (from == shown.end())
            from = to;
        if (from > to)
            std::swap(from, to);
        if (!(modifiers & Qt::ControlModifier))
            for (DeviceTile* t : tiles_)
                t->setSelected(false);
        for (auto it = from; it <= to; ++it)
            (*it)->setSelected(true);
    } else if (modifiers & Qt::ControlModifier) {
        tile->setSelected(!tile->selected());
        anchor_ = tile;
    } else {
        for (DeviceTile* t : tiles_)
            t->setSelected(t == tile);
        anchor_ = tile;
    }
    setCurrent(tile);
    updateCount();
}

void DevicesWindow::selectAll()
{
    for (DeviceTile* t : shownTiles())
        t->setSelected(true);
    updateCount();
}

void DevicesWindow::openWindow(DeviceTile* tile)
{
    if (tile && tile->live() && context_.showDeviceWindow)
        context_.showDeviceWindow(tile->slot());
}

std::vector<int> DevicesWindow::targetSlots(DeviceTile* tile)
{
    // A menu opened on a tile outside the selection acts on that tile alone (it becomes
    // the selection).
    if (tile && !tile->selected())
        clickTile(tile, Qt::NoModifier);
    return selectedSlots();
}

void DevicesWindow::tileCommand(DeviceTile* tile, int id)
{
    switch (id) {
    case cmd::SelectAll: selectAll(); return;
    case cmd::DisconnectDevice:
        for (int slot : targetSlots(tile))
            context_.windows.disconnect(slot);
        return;
    case cmd::BroadcastInput: toggleBroadcast(tile ? tile : current_.data()); return;
    case cmd::FleetRunScenario:
    case cmd::FleetCaptureAll:
    case cmd::FleetSendFiles:
    case cmd::FleetSoftReset: {
        if (!context_.fleet)
            return;
        const std::vector<int> chosen = targetSlots(tile);
        if (chosen.empty())
            return;
        if (id == cmd::FleetRunScenario)
            context_.fleet->runScenario(this, chosen);
        else if (id == cmd::FleetCaptureAll)
            context_.fleet->captureAll(this, chosen);
        else if (id == cmd::FleetSendFiles)
            context_.fleet->sendFiles(this, chosen);
        else
            context_.fleet->softResetAll(this, chosen);
        return;
    }
    default:
        // A device window's command: its window carries it out (opened when needed).
        if (tile && tile->live() && context_.showDeviceWindow)
            if (DeviceWindow* w = context_.showDeviceWindow(tile->slot()))
                w->command(id);
        return;
    }
}

QMenu* DevicesWindow::makeTileMenu(DeviceTile* tile)
{
    auto* menu = new QMenu(this);
    menu->setObjectName(QStringLiteral("tileMenu"));
    const int slot = tile->slot();
    QPointer<DeviceTile> target(tile);
    auto act = [this, target](int id) {
        return [this, target, id] {
            if (target)
                tileCommand(target, id);
        };
    };
    QAction* open = menu->addAction(tr("Open Device Window"));
    open->setObjectName(QStringLiteral("openWindow"));
    QFont bold = open->font();
    bold.setBold(true);
    open->setFont(bold);
    connect(open, &QAction::triggered, this, [this, target] { openWindow(target); });
    menu->addSeparator();

    // The device window's own commands, handed to its window.
    DeviceWindow* window = qobject_cast<DeviceWindow*>(context_.windows.window(slot));
    const CommandActionMade made = [&](QAction& a, const CommandRow& row) {
        a.setEnabled(tile->live() && (!window || window->isCommandEnabled(row.id)));
        connect(&a, &QAction::triggered, this, act(row.id));
    };
    static constexpr std::pair<CommandPlace, const char*> kMenus[] = {
        {CommandPlace::FileMenu, "&File"}, {CommandPlace::ViewMenu, "&View"}, {CommandPlace::DeviceMenu, "&Device"}};
    for (const auto& [place, title] : kMenus) {
        QMenu* sub = menu->addMenu(CommandText(title));
        AddCommandRows(*sub, command_rows::kDeviceCommands, place, made);
        for (QAction* a : sub->actions()) // the tile has its own Disconnect; Exit is the window's
            if (a->data().toInt() == cmd::Exit || a->data().toInt() == cmd::DisconnectDevice)
                sub->removeAction(a);
        if (place == CommandPlace::ViewMenu)
            AddCommandRows(*sub->addMenu(CommandText("R&otate")), command_rows::kDeviceCommands,
                           CommandPlace::RotateMenu, made);
    }
    menu->addSeparator();
    QAction* all = menu->addAction(tr("Select All"));
    all->setObjectName(QString::number(cmd::SelectAll));
    all->setShortcut(QKeySequence::SelectAll);
    connect(all, &QAction::triggered, this, act(cmd::SelectAll));
    QAction* disconnect = menu->addAction(tr("&Disconnect"));
    disconnect->setObjectName(QString::number(cmd::DisconnectDevice));
    disconnect->setEnabled(tile->live());
    connect(disconnect, &QAction::triggered, this, act(cmd::DisconnectDevice));

    menu->addSeparator();
    QAction* broadcast = menu->addAction(tr("&Broadcast input"));
    broadcast->setObjectName(QString::number(cmd::BroadcastInput));
    broadcast->setCheckable(true);
    broadcast->setChecked(context_.broadcast && context_.broadcast->active());
    broadcast->setEnabled(context_.broadcast != nullptr && tile->live());
    if (const CommandRow* row = FindCommand(command_rows::kDeviceCommands, cmd::BroadcastInput); row && !row->key.empty())
        broadcast->setShortcut(CommandKeys(*row));
    connect(broadcast, &QAction::triggered, this, act(cmd::BroadcastInput));
    static constexpr std::pair<int, const char*> kFleet[] = {
        {cmd::FleetRunScenario, "Run Scenario on Selected..."},
        {cmd::FleetCaptureAll, "Capture All..."},
        {cmd::FleetSendFiles, "Send Files to All..."},
        {cmd::FleetSoftReset, "Soft Reset All..."},
    };
    for (const auto& [id, text] : kFleet) {
        QAction* a = menu->addAction(tr(text));
        a->setObjectName(QString::number(id));
        a->setEnabled(context_.fleet != nullptr);
        connect(a, &QAction::triggered, this, act(id));
    }
    return menu;
}

void DevicesWindow::closeEvent(QCloseEvent* event)
{
    event->accept();
    emit closedByUser();
}

void DevicesWindow::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange)
        updateHidden();
}

void DevicesWindow::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    updateHidden();
    reflow();
}

void DevicesWindow::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    updateHidden();
}

bool DevicesWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == scroll_->viewport() && event->type() == QEvent::Resize)
        reflow();
    return QWidget::eventFilter(watched, event);
}

} // namespace sorvane
