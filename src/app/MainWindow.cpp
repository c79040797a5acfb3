#include "app/MainWindow.h"

#include <set>

#include <QAction>
#include <QCloseEvent>
#include <QHeaderView>
#include <QLabel>
#include <QLayout>
#include <QMenuBar>
#include <QPushButton>
#include <QTreeWidget>

#include "app/AboutDialog.h"
#include "app/AppIcon.h"
#include "platform/ui/CommandActions.h"
#include "view/CommandTable.h"
#include "app/ConnectionWindows.h"
#include "app/HelpWindow.h"

namespace sorvane {

namespace {

constexpr int kHalfWidth = 300;
constexpr int kClientHeight = 352;

QTreeWidget* makeReportList(QWidget* parent, const char* objectName, const QStringList& columns,
                            std::initializer_list<int> widths)
{
    auto* list = new QTreeWidget(parent);
    list->setObjectName(QString::fromLatin1(objectName));
    list->setColumnCount(columns.size());
    list->setHeaderLabels(columns);
    list->setRootIsDecorated(false);
    list->setUniformRowHeights(true);
    list->setItemsExpandable(false);
    list->setAllColumnsShowFocus(true); // full-row select
    list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list->setFrameShape(QFrame::StyledPanel);
    list->header()->setSectionsMovable(false);
    list->header()->setMinimumSectionSize(20);
    int column = 0;
    for (int w : widths)
        list->setColumnWidth(column++, w);
    // The last column takes what the frame leaves (a pixel or two less than its
    // width), so no scroll bar appears for the border alone.
    list->header()->setStretchLastSection(false);
    list->header()->setSectionResizeMode(column - 1, QHeaderView::Stretch);
    return list;
}

// A line of help in the middle of a list's viewport, shown while the list is empty.
class EmptyListHint final : public QLabel {
public:
    EmptyListHint(QAbstractItemView* list, const QString& text) : QLabel(text, list->viewport()), list_(list)
    {
        setObjectName(QStringLiteral("emptyHint"));
        setAlignment(Qt::AlignCenter);
        setWordWrap(true);
        setForegroundRole(QPalette::PlaceholderText);
        setAttribute(Qt::WA_TransparentForMouseEvents); // clicks still reach the list
        list->viewport()->installEventFilter(this);
        place();
    }
    bool eventFilter(QObject*, QEvent* e) override
    {
        if (e->type() == QEvent::Resize || e->type() == QEvent::Show)
            place();
        return false;
    }

private:
    void place() { setGeometry(list_->viewport()->rect().adjusted(12, 12, -12, -12)); }

    QAbstractItemView* list_;
};

QLabel* makeCentredLabel(QWidget* parent, const QString& text, int x)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(QStringLiteral("1014"));
    label->setAlignment(Qt::AlignCenter);
    label->setGeometry(x, 0, kHalfWidth, 20);
    return label;
}

std::vector<int> selectedRows(const QTreeWidget* list)
{
    std::vector<int> rows;
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
        if (list->topLevelItem(i)->isSelected())
            rows.push_back(i);
    }
    return rows;
}

void selectOnly(QTreeWidget* list, int row)
{
    list->clearSelection();
    if (row < 0 || row >= list->topLevelItemCount())
        return;
    QTreeWidgetItem* item = list->topLevelItem(row);
    list->setCurrentItem(item);
    item->setSelected(true);
    list->scrollToItem(item);
}

} // namespace

MainWindow::MainWindow(ProfileTableAccess& profiles, UiPorts ports, ConnectionWindows& connections,
                       ShellServices services, QString helpIndex, QWidget* parent)
    : QMainWindow(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                              Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint)
    , profiles_(profiles)
    , ports_(ports)
    , windows_(connections)
    , services_(services)
    , helpIndex_(std::move(helpIndex))
{
    setObjectName(QStringLiteral("KWXCONNECTIONS"));
    setWindowTitle(QStringLiteral("Sorvane Pro"));
    setWindowIcon(appIcon());

    auto* central = new QWidget(this);
    central->setObjectName(QStringLiteral("client"));
    QPalette pal = central->palette();
    pal.setColor(QPalette::Window, Qt::white);
    central->setPalette(pal);
    central->setAutoFillBackground(true);
    // Both halves are shown: the Connections half and the Scripts half beside it.
    central->setFixedSize(2 * kHalfWidth, kClientHeight);
    setCentralWidget(central);

    buildLists(central);
    buildButtons(central);
    buildMenus();
    buildAccelerators();
    applyEnabledStates();
    layout()->setSizeConstraint(QLayout::SetFixedSize);

    connect(&windows_, &ConnectionWindows::changed, this, &MainWindow::refreshConnectionStatus);
    refreshConnectionList(0);
    refreshScenarioList(0);
    connections_->setFocus();
}

MainWindow::~MainWindow()
{
    if (help_)
        delete help_.data();
}

void MainWindow::buildLists(QWidget* central)
{
    makeCentredLabel(central, QStringLiteral("Connections"), 0);
    makeCentredLabel(central, QStringLiteral("Scripts"), kHalfWidth);

    connections_ = makeReportList(central, "1020",
                                  {QStringLiteral("Name"), QStringLiteral("Type"), QStringLiteral("Port"),
                                   QStringLiteral("Status")},
                                  {130, 80, 37, 50});
    connections_->setGeometry(0, 20, kHalfWidth, 296);
    connections_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(connections_, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { showContextMenu(connections_->viewport()->mapToGlobal(pos)); });
    connect(connections_, &QTreeWidget::itemActivated, this, [this] { runCommand(cmd::Connect); });
    connectionsHint_ = new EmptyListHint(
        connections_, QStringLiteral("No connections yet: choose New to add one, or run the demo"));

    scripts_ = makeReportList(central, "1021", {QStringLiteral("Name"), QStringLiteral("Status")}, {150, 150});
    scripts_->setGeometry(kHalfWidth, 20, kHalfWidth, 296);
    connect(scripts_, &QTreeWidget::itemActivated, this, [this] { runCommand(cmd::PlayPause); });

    setFocusProxy(connections_);
}

QPushButton* MainWindow::commandButton(const QString& text, int id, int x, int width, QWidget* parent)
{
    auto* button = new QPushButton(text, parent);
    button->setObjectName(QString::number(id));
    button->setGeometry(x, 320, width, 24);
    button->setAutoDefault(false);
    connect(button, &QPushButton::clicked, this, [this, id] { runCommand(id); });
    buttons_.emplace(id, button);
    return button;
}

void MainWindow::buildButtons(QWidget* central)
{
    commandButton(QStringLiteral("New"), cmd::NewConnection, 8, 70, central);
    commandButton(QStringLiteral("Delete"), cmd::DeleteConnection, 78, 70, central);
    commandButton(QStringLiteral("Edit"), cmd::EditConnection, 148, 70, central);
    commandButton(QStringLiteral("Connect"), cmd::Connect, 218, 70, central);
    commandButton(QStringLiteral("New"), cmd::NewScenario, 304, 50, central);
    commandButton(QStringLiteral("Edit"), cmd::EditScenario, 354, 50, central);
    commandButton(QStringLiteral("Delete"), cmd::DeleteScenario, 404, 60, central);
    commandButton(QStringLiteral("Play/Pause"), cmd::PlayPause, 464, 80, central);
    commandButton(QStringLiteral("Stop"), cmd::StopScenario, 544, 50, central);
}

QAction* MainWindow::commandAction(const QString& text, int id, QObject* owner)
{
    auto* action = new QAction(text, owner);
    action->setObjectName(QString::number(id));
    action->setData(id);
    connect(action, &QAction::triggered, this, [this, id] { runCommand(id); });
    actions_.emplace(id, action);
    return action;
}

void MainWindow::buildMenus()
{
    QMenuBar* bar = menuBar();
    bar->setObjectName(QStringLiteral("menu"));

    QMenu* file = bar->addMenu(QStringLiteral("&File"));
    file->addAction(commandAction(QStringLiteral("&Default Settings..."), cmd::DefaultSettings, file));
    file->addAction(commandAction(QStringLiteral("&Connect"), cmd::Connect, file));
    file->addAction(commandAction(QStringLiteral("Sto&p ActiveSync"), cmd::StopActiveSync, file));
    file->addAction(commandAction(QStringLiteral("&Start ActiveSync"), cmd::StartActiveSync, file));
    file->addSeparator();
    file->addAction(commandAction(QStringLiteral("E&xit"), cmd::Exit, file));

    QMenu* connection = connectionMenu_ = bar->addMenu(QStringLiteral("Connection"));
    connection->addAction(commandAction(QStringLiteral("New..."), cmd::NewConnection, connection));
    connection->addAction(commandAction(QStringLiteral("Delete"), cmd::DeleteConnection, connection));
    connection->addAction(commandAction(QStringLiteral("Edit..."), cmd::EditConnection, connection));
    connection->addAction(commandAction(QStringLiteral("Clone"), cmd::CloneConnection, connection));
    connection->addSeparator();
    connection->addAction(commandAction(QStringLiteral("Connect"), cmd::Connect, connection));

    QMenu* script = bar->addMenu(QStringLiteral("&Script"));
    script->addAction(commandAction(QStringLiteral("New..."), cmd::NewScenario, script));
    script->addAction(commandAction(QStringLiteral("Edit..."), cmd::EditScenario, script));
    script->addAction(commandAction(QStringLiteral("Delete"), cmd::DeleteScenario, script));
    script->addAction(commandAction(QStringLiteral("Clone"), cmd::CloneScenario, script));
    script->addSeparator();
    script->addAction(commandAction(QStringLiteral("Execute"), cmd::PlayPause, script));
    script->addAction(commandAction(QStringLiteral("Stop"), cmd::StopScenario, script));

    QMenu* window = bar->addMenu(QStringLiteral("Window"));
    window->addAction(commandAction(QStringLiteral("&Devices"), cmd::DevicesWindow, window));
    window->addSeparator();
    window->addAction(commandAction(QStringLiteral("Cascade"), cmd::Cascade, window));
    window->addAction(commandAction(QStringLiteral("Minimize All"), cmd::MinimizeAll, window));
    window->addAction(commandAction(QStringLiteral("Restore All"), cmd::RestoreAll, window));
    window->addSeparator();
    window->addAction(commandAction(QStringLiteral("Close All"), cmd::CloseAll, window));

    QMenu* help = bar->addMenu(QStringLiteral("&Help"));
    help->addAction(commandAction(QStringLiteral("&Help Index"), cmd::HelpIndex, help));
    help->addAction(commandAction(QStringLiteral("&About KWX..."), cmd::About, help));

    context_ = new QMenu(this);
    context_->setObjectName(QStringLiteral("CONTEXT3"));
    context_->addAction(commandAction(QStringLiteral("Connect..."), cmd::Connect, context_));
    context_->addAction(commandAction(QStringLiteral("Disconnect"), cmd::Disconnect, context_));
    context_->addAction(commandAction(QStringLiteral("New..."), cmd::NewConnection, context_));
    context_->addAction(commandAction(QStringLiteral("Edit..."), cmd::EditConnection, context_));
    context_->addAction(commandAction(QStringLiteral("Delete"), cmd::DeleteConnection, context_));
    context_->addSeparator();
    context_->addAction(commandAction(QStringLiteral("Select All"), cmd::SelectAll, context_));
    context_->addAction(commandAction(QStringLiteral("De-Select All"), cmd::DeselectAll, context_));
}

void MainWindow::buildAccelerators()
{
    // The keys work whichever window of the program has the focus: the main window's
    // own commands run here, the device window's go to the device window that is the
    // active window, if any.
    auto* table = new QObject(this);
    table->setObjectName(QStringLiteral("MYACCELERATORS"));
    auto add = [this, table](const CommandRow& row, bool toDevice) {
        QAction* action = NewCommandAction(row, QString(), table);
        action->setShortcut(CommandKeys(row));
        action->setShortcutContext(Qt::ApplicationShortcut);
        connect(action, &QAction::triggered, this, [this, id = row.id, toDevice] {
            if (!toDevice)
                runCommand(id);
            else if (CommandTarget* target = windows_.activeTarget())
                target->command(id);
        });
        addAction(action);
    };
    for (const CommandRow& row : command_rows::kMainWindowKeys)
        add(row, false);
    for (const CommandRow& row : command_rows::kDeviceCommands)
        if (!row.key.empty() && row.reach == KeyReach::Program)
            add(row, true);
}

void MainWindow::setServices(ShellServices services)
{
    services_ = services;
    applyEnabledStates();
    refreshScenarioList(0);
}

bool MainWindow::isCommandEnabled(int id) const
{
    switch (id) {
    case cmd::DefaultSettings:
    case cmd::NewConnection:
    case cmd::EditConnection:
        return services_.profileDialogs != nullptr;
    case cmd::Connect:
        return services_.connect != nullptr;
    case cmd::DevicesWindow:
        return services_.devices != nullptr;
    case cmd::StopActiveSync:
    case cmd::StartActiveSync:
        return services_.activeSync != nullptr;
    case cmd::NewScenario:
    case cmd::EditScenario:
    case cmd::DeleteScenario:
    case cmd::CloneScenario:
    case cmd::PlayPause:
    case cmd::StopScenario:
        return services_.scenarios != nullptr;
    default:
        return true;
    }
}

void MainWindow::applyEnabledStates()
{
    for (auto& [id, action] : actions_)
        action->setEnabled(isCommandEnabled(id));
    for (auto& [id, button] : buttons_)
        button->setEnabled(isCommandEnabled(id));
}

void MainWindow::runCommand(int id)
{
    if (!isCommandEnabled(id))
        return;
    switch (id) {
    case cmd::About: {
        AboutDialog about(this);
        about.exec();
        break;
    }
    case cmd::HelpIndex: showHelpIndex(); break;
    case cmd::DefaultSettings: services_.profileDialogs->defaultSettings(); break;
    case cmd::DeleteConnection: deleteConnection(); break;
    case cmd::Connect: connectSelected(); break;
    case cmd::Disconnect: disconnectSelected(); break;
    case cmd::NewConnection: newConnection(); break;
    case cmd::SelectAll:
        connections_->selectAll();
        focusConnections();
        break;
    case cmd::DeselectAll:
        connections_->clearSelection();
        focusConnections();
        break;
    case cmd::Exit: close(); break;
    case cmd::StopActiveSync: services_.activeSync->stop(); break;
    case cmd::StartActiveSync: services_.activeSync->start(); break;
    case cmd::EditConnection: editConnection(); break;
    case cmd::CloseAll: windows_.closeAll(); break;
    case cmd::Cascade: windows_.cascade(); break;
    case cmd::DevicesWindow: services_.devices(); break;
    case cmd::MinimizeAll: windows_.minimizeAll(); break;
    case cmd::RestoreAll: windows_.restoreAll(); break;
    case cmd::CloneConnection: cloneConnection(); break;
    case cmd::NewScenario:
    case cmd::EditScenario:
    case cmd::DeleteScenario:
    case cmd::CloneScenario:
    case cmd::PlayPause:
    case cmd::StopScenario: scenarioCommand(id); break;
    default: break;
    }
}

std::vector<int> MainWindow::selectedProfiles() const { return selectedRows(connections_); }

int MainWindow::firstSelectedScenario() const
{
    std::vector<int> rows = selectedRows(scripts_);
    return rows.empty() ? -1 : rows.front();
}

void MainWindow::focusConnections() { connections_->setFocus(); }

void MainWindow::deleteConnection()
{
    std::vector<int> selected = selectedProfiles();
    if (selected.empty() || selected.front() >= profiles_.profileCount()) {
        ports_.beep.beep();
        focusConnections();
        return;
    }
    const int index = selected.front();
    profiles_.deleteProfile(index);
    windows_.profileDeleted(index);
    profiles_.saveSettings();
    refreshConnectionList(0);
    focusConnections();
}

void MainWindow::newConnection()
{
    if (profiles_.profileCount() >= ProfileTableAccess::kCapacity) {
        ports_.beep.beep();
        focusConnections();
        return;
    }
    if (std::optional<int> stored = services_.profileDialogs->newConnection())
        refreshConnectionList(*stored);
    focusConnections();
}

void MainWindow::editConnection()
{
    std::vector<int> selected = selectedProfiles();
    if (selected.empty() || selected.front() >= profiles_.profileCount()) {
        ports_.beep.beep();
        focusConnections();
        return;
    }
    if (std::optional<int> stored = services_.profileDialogs->editConnection(selected.front()))
        refreshConnectionList(*stored);
    focusConnections();
}

void MainWindow::cloneConnection()
{
    if (profiles_.profileCount() >= ProfileTableAccess::kCapacity) {
        ports_.beep.beep();
        return;
    }
    std::vector<int> selected = selectedProfiles();
    if (selected.size() != 1 || selected.front() >= profiles_.profileCount()) {
        ports_.messages.show(MessageRequest{"Please select a single connection to clone", "Clone Connection",
                                            MessageIcon::Error, MessageButtons::Ok});
        return;
    }
    if (!profiles_.cloneProfile(selected.front())) {
        ports_.beep.beep();
        return;
    }
    // Saved at once, so the clone is not lost if the program does not end normally.
    profiles_.saveSettings();
    refreshConnectionList(profiles_.profileCount() - 1);
    focusConnections();
}

void MainWindow::connectSelected()
{
    for (int index : selectedProfiles()) {
        if (index < profiles_.profileCount())
            services_.connect->connectProfile(index);
    }
    focusConnections();
}

void MainWindow::disconnectSelected()
{
    std::vector<int> selected = selectedProfiles();
    windows_.closeFromProfiles(std::set<int>(selected.begin(), selected.end()));
}

void MainWindow::scenarioCommand(int id)
{
    // Clone takes one script: with several selected it asks for a single one.
    const bool several = id == cmd::CloneScenario && selectedRows(scripts_).size() > 1;
    services_.scenarios->command(id, several ? -1 : firstSelectedScenario());
    if (id == cmd::NewScenario || id == cmd::EditScenario || id == cmd::DeleteScenario || id == cmd::CloneScenario)
        scripts_->setFocus();
}

void MainWindow::showHelpIndex() { HelpWindow::showIndex(help_, helpIndex_); }

HelpWindow* MainWindow::helpWindow() const { return help_.data(); }

void MainWindow::refreshConnectionList(int select)
{
    connections_->clear();
    const int count = profiles_.profileCount();
    for (int i = 0; i < count; ++i) {
        const Profile& p = profiles_.profile(i);
        auto* item = new QTreeWidgetItem(connections_);
        item->setText(0, QString::fromUtf8(p.nameView().data(), int(p.nameView().size())));
        const std::string_view kind = linkKindName(p.linkKind);
        item->setText(1, QString::fromLatin1(kind.data(), int(kind.size())));
        item->setToolTip(1, item->text(1)); // the column is narrower than some kind names
        const bool hasPort = p.linkKind == uint32_t(LinkKind::Serial) || p.linkKind == uint32_t(LinkKind::Proxy);
        item->setText(2, hasPort ? QString::number(int32_t(p.port)) : QStringLiteral("N/A"));
        item->setText(3, windows_.profileInUse(i) ? QStringLiteral("In Use") : QStringLiteral("Idle"));
    }
    connectionsHint_->setVisible(count == 0);
    if (select != -1)
        selectOnly(connections_, select);
}

void MainWindow::refreshConnectionStatus()
{
    for (int i = 0; i < connections_->topLevelItemCount(); ++i) {
        connections_->topLevelItem(i)->setText(3, windows_.profileInUse(i) ? QStringLiteral("In Use")
                                                                          : QStringLiteral("Idle"));
    }
}

void MainWindow::refreshScenarioList(int select)
{
    scripts_->clear();
    if (!services_.scenarios)
        return;
    for (const ScenarioRow& row : services_.scenarios->scenarios()) {
        auto* item = new QTreeWidgetItem(scripts_);
        item->setText(0, QString::fromStdString(row.name));
        item->setText(1, !row.active ? (row.failed    ? QStringLiteral("Failed")
                                        : row.stopped ? QStringLiteral("Stopped")
                                                      : QStringLiteral("Idle"))
                                     : row.paused ? QStringLiteral("Paused") : QStringLiteral("Running"));
    }
    if (select != -1)
        selectOnly(scripts_, select);
}

void MainWindow::showContextMenu(const QPoint& globalPos)
{
    const int width = context_->sizeHint().width();
    context_->popup(QPoint(globalPos.x() - width / 2, globalPos.y()));
}

void MainWindow::bringForward()
{
    setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    raise();
    activateWindow();
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    event->accept();
    emit closed();
}

} // namespace sorvane
