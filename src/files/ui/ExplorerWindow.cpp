#include "files/ui/ExplorerWindow.h"

#include <cstdio>

#include <QApplication>
#include <QContextMenuEvent>
#include <QDesktopServices>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileIconProvider>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QProcess>
#include <QPushButton>
#include <QShortcut>
#include <QStyle>
#include <QToolButton>
#include <QTreeWidget>
#include <QUrl>
#include <QVBoxLayout>

#include "files/DeviceNames.h"
#include "files/FolderPath.h"
#include "files/PcSide.h"
#include "files/ui/DeviceFileService.h"
#include "files/ui/FolderPathButton.h"
#include "files/ui/PcFolderList.h"
#include "files/ui/TransferDialog.h"
#include "platform/ui/CommandActions.h"

namespace sorvane {
namespace {

using namespace explorer_cmd;
constexpr int kSizeRole = Qt::UserRole + 3;
constexpr int kSideNameRole = Qt::UserRole + 4; // a row's name as its side spells it (QByteArray)

QString q(const std::string& s) { return QString::fromStdString(s); }
std::string s(const QString& q) { return q.toStdString(); }

PcFolderItem::Kind kindOf(const QTreeWidgetItem& row)
{
    return PcFolderItem::Kind(row.data(0, kPcItemKindRole).toInt());
}

bool isFileRow(const QTreeWidgetItem& row) { return kindOf(row) == PcFolderItem::Kind::File; }

QString rowName(const QTreeWidgetItem& row) { return row.data(0, kPcItemNameRole).toString(); }

PaneEntry entryOf(const QTreeWidgetItem& row)
{
    const QByteArray name = row.data(0, kSideNameRole).toByteArray();
    PaneEntry e;
    e.name.assign(name.constData(), size_t(name.size()));
    e.text = s(rowName(row));
    e.kind = kindOf(row);
    e.size = row.data(0, kSizeRole).toULongLong();
    return e;
}

std::vector<PaneEntry> entriesOf(const std::vector<QTreeWidgetItem*>& rows)
{
    std::vector<PaneEntry> out;
    for (const QTreeWidgetItem* row : rows)
        out.push_back(entryOf(*row));
    return out;
}

// The "Run" dialog: the file's name above a "Program Arguments" field.
std::optional<QString> askArguments(QWidget* parent, const QString& file)
{
    QDialog d(parent);
    d.setObjectName(QStringLiteral("Run"));
    d.setWindowTitle(QStringLiteral("Run"));
    auto* layout = new QVBoxLayout(&d);
    layout->addWidget(new QLabel(file, &d));
    layout->addWidget(new QLabel(QStringLiteral("Program Arguments"), &d));
    auto* edit = new QLineEdit(&d);
    layout->addWidget(edit);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &d);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &d, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &d, &QDialog::reject);
    layout->addWidget(buttons);
    if (d.exec() != QDialog::Accepted)
        return std::nullopt;
    return edit->text();
}

} // namespace

ExplorerWindow::ExplorerWindow(Context context, QWidget* parent) : QWidget(parent, Qt::Window), ctx_(std::move(context))
{
    setObjectName(QStringLiteral("KWXBROWSER"));
    setWindowTitle(QStringLiteral("KWX File Explorer - %1").arg(ctx_.deviceName));
    setAttribute(Qt::WA_DeleteOnClose);
    setAcceptDrops(true);

    pc_.side = std::make_unique<PcSide>(ctx_.drives);
    pc_.openCommand = PcOpen;
    pc_.start = [this](const std::string& path, const PaneEntry& entry, bool run) { startOnPc(path, entry, run); };
    device_.side = std::make_unique<DeviceSide>(*ctx_.device);
    device_.openCommand = DeviceOpen;
    device_.start = [this](const std::string& path, const PaneEntry&, bool run) {
        ctx_.device->sendMessage(run ? RunDeviceFileMessage(path) : OpenDeviceFileMessage(path));
    };
    for (auto [pane, id] : {std::pair{&pc_, "1020"}, std::pair{&device_, "1021"}})
        pane->list = makeList(id);
    for (auto [pane, id] : {std::pair{&pc_, PcPath}, std::pair{&device_, DevicePath}}) {
        pane->path = new FolderPathButton(this);
        pane->path->setObjectName(QString::number(id));
    }
    device_.path->setDeviceSide(true);
    for (auto [pane, id] : {std::pair{&pc_, PcUp}, std::pair{&device_, DeviceUp}}) {
        auto* b = new QToolButton(this);
        b->setObjectName(QString::number(id));
        b->setIcon(CommandIconImage(FindCommand(command_rows::kExplorerCommands, id)->icon, *style()));
        b->setAutoRaise(true);
        connect(b, &QToolButton::clicked, this, [this, id] { command(id); });
        pane->up = b;
    }
    pc_.sort = makeSortButton(PcSort);
    device_.sort = makeSortButton(DeviceSort);
    for (Pane* pane : {&pc_, &device_}) {
        auto* note = new QLabel(this);
        note->setObjectName(pane == &device_ ? QStringLiteral("DeviceNote") : QStringLiteral("PcNote"));
        note->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
        note->setWordWrap(true);
        note->setAttribute(Qt::WA_TransparentForMouseEvents);
        note->hide();
        pane->note = note;
    }

    for (const CommandRow* row : CommandBarRows(command_rows::kExplorerCommands)) {
        auto* button = new QToolButton(this);
        button->setObjectName(QString::number(row->id));
        button->setIcon(CommandIconImage(row->icon, *style()));
        button->setIconSize(QSize(24, 24));
        button->setToolTip(CommandText(row->tip));
        const int id = row->id;
        button->setEnabled(IsEnabled(row->when, CommandState{}));
        connect(button, &QToolButton::clicked, this, [this, id] { command(id); });
        bitmapButtons_.push_back(button);
    }

    for (auto [pane, name, place] : {std::tuple{&pc_, "CONTEXT1", CommandPlace::PcPaneMenu},
                                     std::tuple{&device_, "CONTEXT2", CommandPlace::DevicePaneMenu}}) {
        pane->menu = new QMenu(this);
        pane->menu->setObjectName(QString::fromLatin1(name));
        Pane* p = pane;
        AddCommandRows(*p->menu, command_rows::kExplorerCommands, place, [this, p](QAction& a, const CommandRow& row) {
            // New Folder is shown greyed where the side makes no folders.
            CommandState state;
            state.makesFolders = p->side->makesFolders();
            state.runnable = true; // judged when the menu opens
            a.setEnabled(IsEnabled(row.when, state));
            if (row.key.empty())
                return;
            auto* key = new QShortcut(CommandKeys(row), p->list, nullptr, nullptr, Qt::WidgetShortcut);
            connect(key, &QShortcut::activated, this, [this, id = row.id] { command(id); });
        });
    }

    for (Pane* pane : {&pc_, &device_}) {
        connect(pane->path, &FolderPathButton::folderChosen, this, [this, pane](const QString& f) {
            if (const std::optional<std::string> folder = pane->side->folderOfText(s(f)))
                showFolder(*pane, *folder);
        });
        QTreeWidget* list = pane->list;
        connect(list, &QTreeWidget::itemActivated, this,
                [this, pane](QTreeWidgetItem* item) { rowActivated(*pane, item); });
        connect(list, &QTreeWidget::customContextMenuRequested, this,
                [this, pane](const QPoint& at) { contextMenu(*pane, at); });
        connect(list, &QTreeWidget::itemChanged, this, [this, pane](QTreeWidgetItem* item, int column) {
            if (column == 0)
                labelEdited(*pane, item);
        });
    }

    resize(720, 420);
    showPcFolder(NormalizePcFolder(ctx_.pcFolder));
    showDeviceFolder("");
}

ExplorerWindow::~ExplorerWindow()
{
    if (transferState_)
        transferState_->cancel();
}

QTreeWidget* ExplorerWindow::makeList(const char* id)
{
    auto* list = new QTreeWidget(this);
    list->setObjectName(QString::fromLatin1(id));
    list->setColumnCount(3);
    list->setHeaderLabels({QStringLiteral("Name"), QStringLiteral("Size"), QStringLiteral("Date")});
    list->setRootIsDecorated(false);
    list->setUniformRowHeights(true);
    list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list->setContextMenuPolicy(Qt::CustomContextMenu);
    list->setSortingEnabled(false);
    return list;
}

QPushButton* ExplorerWindow::makeSortButton(int id)
{
    auto* b = new QPushButton(q(std::string(sortKeyName(sortKey_))), this);
    b->setObjectName(QString::number(id));
    b->setFont(pc_.path->font());
    b->setFocusPolicy(Qt::NoFocus);
    connect(b, &QPushButton::clicked, this, [this, b] { dropSortMenu(b); });
    return b;
}

void ExplorerWindow::dropSortMenu(QPushButton* button)
{
    QMenu menu(this);
    menu.setObjectName(QStringLiteral("SortMenu"));
    for (int k = 0; k < 4; ++k) {
        const std::string name(sortKeyName(SortKey(k)));
        QAction* a = menu.addAction(q((SortKey(k) == sortKey_ ? "* " : "") + name));
        a->setData(k);
    }
    button->setText(QStringLiteral("Sort By"));
    QAction* chosen = menu.exec(button->mapToGlobal(button->rect().bottomLeft()));
    button->setText(q(std::string(sortKeyName(sortKey_))));
    if (chosen)
        setSortKey(SortKey(chosen->data().toInt()));
}

void ExplorerWindow::setSortKey(SortKey key)
{
    sortKey_ = key;
    for (Pane* pane : {&pc_, &device_})
        pane->sort->setText(q(std::string(sortKeyName(key))));
    showPcFolder(pc_.folder);
    showDeviceFolder(device_.folder);
}

void ExplorerWindow::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    layoutChildren();
}

void ExplorerWindow::layoutChildren()
{
    const int w = width(), h = height();
    pc_.list->setGeometry(0, 21, w / 2 - 20, h - 21);
    device_.list->setGeometry(w / 2 + 20, 21, w / 2 - 20, h - 21);
    pc_.path->setGeometry(0, 0, w / 2 - 114, 21);
    pc_.up->setGeometry(w / 2 - 114, 0, 24, 21);
    pc_.sort->setGeometry(w / 2 - 90, 0, 70, 21);
    device_.path->setGeometry(w / 2 + 20, 0, w / 2 - 134, 21);
    device_.up->setGeometry(w - 114, 0, 24, 21);
    device_.sort->setGeometry(w - 90, 0, 70, 21);
    pc_.note->setGeometry(8, 56, w / 2 - 36, 48);
    device_.note->setGeometry(w / 2 + 28, 56, w / 2 - 36, 48);
    for (size_t i = 0; i < bitmapButtons_.size(); ++i)
        bitmapButtons_[i]->setGeometry(w / 2 - 16, 2 + 36 * int(i), 32, 32);
    for (Pane* pane : {&pc_, &device_})
        setFolderListColumnWidths(*pane->list, w / 2 - 20);
}

void ExplorerWindow::showPcFolder(const std::string& folder) { showFolder(pc_, folder); }

void ExplorerWindow::showDeviceFolder(const std::string& folder) { showFolder(device_, folder); }

void ExplorerWindow::showFolder(Pane& pane, const std::string& folder)
{
    pane.folder = folder;
    pane.path->setFolder(pane.side->folderText(folder));
    pane.list->clear();
    pane.note->hide();
    begin(pane);
    QPointer<ExplorerWindow> self(this);
    Pane* p = &pane;
    // A side that lists in place (the PC's) holds the program here.
    QApplication::setOverrideCursor(Qt::WaitCursor);
    pane.side->list(folder, sortKey_, [self, p, folder](SideListing listing) {
        if (!self)
            return;
        self->end(*p);
        if (folder == p->folder) {
            self->fillList(*p, listing.entries);
            if (!listing.note.empty()) {
                p->note->setText(q(listing.note));
                p->note->show();
                p->note->raise();
            }
        }
        if (!listing.warning.empty())
            self->ctx_.messages.show(MessageRequest{listing.warning, self->ctx_.deviceName.toStdString(),
                                                    MessageIcon::Warning, MessageButtons::Ok});
        if (p == &self->device_)
            emit self->deviceListed();
    });
    QApplication::restoreOverrideCursor();
}

QString ExplorerWindow::deviceNote() const { return device_.note->isHidden() ? QString() : device_.note->text(); }

void ExplorerWindow::fillList(Pane& pane, const std::vector<PaneEntry>& entries)
{
    QFileIconProvider icons;
    const QIcon driveIcon = icons.icon(QFileIconProvider::Drive), folderIcon = icons.icon(QFileIconProvider::Folder),
                fileIcon = icons.icon(QFileIconProvider::File);
    pane.list->setUpdatesEnabled(false);
    pane.list->clear();
    QList<QTreeWidgetItem*> rows;
    rows.reserve(qsizetype(entries.size()));
    for (const PaneEntry& e : entries) {
        auto* row = new QTreeWidgetItem;
        const QString text = q(e.text);
        row->setText(0, text);
        row->setText(1, q(e.sizeText));
        row->setText(2, q(e.dateText));
        row->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
        row->setIcon(0, e.kind == PcFolderItem::Kind::Drive    ? driveIcon
                        : e.kind == PcFolderItem::Kind::Folder ? folderIcon
                                                               : fileIcon);
        row->setData(0, kPcItemNameRole, text);
        row->setData(0, kPcItemKindRole, int(e.kind));
        row->setData(0, kSideNameRole, QByteArray(e.name.data(), qsizetype(e.name.size())));
        row->setData(0, kSizeRole, qulonglong(e.size));
        rows.push_back(row);
    }
    pane.list->addTopLevelItems(rows);
    pane.list->setUpdatesEnabled(true);
}

void ExplorerWindow::begin(Pane& pane)
{
    if (pane.busy++ == 0)
        pane.list->setCursor(Qt::WaitCursor);
}

void ExplorerWindow::end(Pane& pane)
{
    if (pane.busy > 0 && --pane.busy == 0)
        pane.list->unsetCursor();
}

std::vector<QTreeWidgetItem*> ExplorerWindow::selectedRows(QTreeWidget* list) const
{
    // In list order.
    std::vector<QTreeWidgetItem*> rows;
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        if (list->topLevelItem(i)->isSelected())
            rows.push_back(list->topLevelItem(i));
    return rows;
}

void ExplorerWindow::rowActivated(Pane& pane, QTreeWidgetItem* item)
{
    if (!item)
        return;
    if (isFileRow(*item)) {
        command(pane.openCommand);
        return;
    }
    // The list is refilled once the view has finished with the activation.
    const std::string next = pane.side->pathOf(pane.folder, entryOf(*item));
    Pane* p = &pane;
    QMetaObject::invokeMethod(this, [this, p, next] { showFolder(*p, next); }, Qt::QueuedConnection);
}

void ExplorerWindow::contextMenu(Pane& pane, const QPoint& at)
{
    const auto rows = selectedRows(pane.list);
    if (rows.size() <= 1) {
        CommandState state;
        state.runnable = rows.size() == 1 && pane.side->runnable(pane.folder, entryOf(*rows[0]));
        state.makesFolders = pane.side->makesFolders();
        for (QAction* a : pane.menu->actions())
            if (const CommandRow* row = FindCommand(command_rows::kExplorerCommands, a->data().toInt()))
                a->setEnabled(IsEnabled(row->when, state));
    }
    if (QAction* chosen = pane.menu->exec(pane.list->viewport()->mapToGlobal(at)))
        command(chosen->data().toInt());
}

void ExplorerWindow::command(int id)
{
    switch (id) {
    case CopyToDevice: {
        std::vector<std::string> paths;
        for (QTreeWidgetItem* row : selectedRows(pc_.list))
            if (isFileRow(*row))
                paths.push_back(pc_.side->pathOf(pc_.folder, entryOf(*row)));
        if (paths.empty()) {
            ctx_.beep.beep();
            return;
        }
        sendFiles(paths);
        return;
    }
    case CopyToPc: receiveSelected(); return;
    case PcRename: startRename(pc_); return;
    case DeviceRename: startRename(device_); return;
    case PcOpen: openOrRun(pc_, false); return;
    case DeviceOpen: openOrRun(device_, false); return;
    case PcRun: openOrRun(pc_, true); return;
    case DeviceRun: openOrRun(device_, true); return;
    case PcDelete: deleteSelected(pc_); return;
    case DeviceDelete: deleteSelected(device_); return;
    case PcNewFolder: newFolder(pc_); return;
    case DeviceNewFolder: newFolder(device_); return;
    case PcSelectAll: selectAll(pc_, true); return;
    case PcDeselectAll: selectAll(pc_, false); return;
    case DeviceSelectAll: selectAll(device_, true); return;
    case DeviceDeselectAll: selectAll(device_, false); return;
    case PcUp: showFolder(pc_, pc_.side->parentOf(pc_.folder)); return;
    case DeviceUp: showFolder(device_, device_.side->parentOf(device_.folder)); return;
    default: return; // the bitmap buttons 3 to 6: no action here
    }
}

void ExplorerWindow::selectAll(Pane& pane, bool select)
{
    for (int i = 0; i < pane.list->topLevelItemCount(); ++i) {
        QTreeWidgetItem* row = pane.list->topLevelItem(i);
        row->setSelected(select && isFileRow(*row));
    }
}

void ExplorerWindow::startRename(Pane& pane)
{
    const auto rows = selectedRows(pane.list);
    if (rows.empty() || kindOf(*rows[0]) == PcFolderItem::Kind::Drive)
        return;
    QTreeWidgetItem* row = rows[0];
    {
        const QSignalBlocker block(pane.list);
        row->setFlags(row->flags() | Qt::ItemIsEditable);
    }
    editing_ = true;
    pane.list->editItem(row, 0);
}

void ExplorerWindow::labelEdited(Pane& pane, QTreeWidgetItem* item)
{
    if (!editing_)
        return;
    editing_ = false;
    QTreeWidget* list = pane.list;
    const QString oldName = rowName(*item);
    const QString newName = item->text(0);
    {
        const QSignalBlocker block(list);
        item->setFlags(item->flags() & ~Qt::ItemIsEditable);
    }
    if (newName == oldName)
        return;
    begin(pane);
    QPointer<ExplorerWindow> self(this);
    QPointer<QTreeWidget> guard(list);
    Pane* p = &pane;
    pane.side->rename(pane.folder, entryOf(*item), s(newName), [self, p, guard, item, oldName, newName](SideOutcome r) {
        if (!self)
            return;
        self->end(*p);
        // The row is still the one renamed unless the list was filled again meanwhile.
        const bool rowThere = guard && guard->indexOfTopLevelItem(item) >= 0;
        if (r.ok()) {
            if (rowThere) {
                item->setData(0, kPcItemNameRole, newName);
                item->setData(0, kSideNameRole, QByteArray(r.name.data(), qsizetype(r.name.size())));
            }
            return;
        }
        if (rowThere) {
            const QSignalBlocker block(guard.data());
            item->setText(0, oldName);
        }
        self->ctx_.messages.show(MessageRequest{r.error, s(oldName), MessageIcon::Error, MessageButtons::Ok});
    });
}

void ExplorerWindow::openOrRun(Pane& pane, bool run)
{
    const auto rows = selectedRows(pane.list);
    if (rows.size() != 1) {
        ctx_.beep.beep();
        return;
    }
    const PaneEntry entry = entryOf(*rows[0]);
    pane.start(pane.side->pathOf(pane.folder, entry), entry, run);
}

void ExplorerWindow::startOnPc(const std::string& path, const PaneEntry& entry, bool run)
{
    if (!run) {
        QDesktopServices::openUrl(QUrl::fromLocalFile(q(path)));
        return;
    }
    if (!pc_.side->runnable(pc_.folder, entry)) {
        ctx_.beep.beep();
        return;
    }
    auto args = askArguments(this, q(entry.text));
    if (!args)
        return;
    // Started in the PC folder, apart from this program: it goes on when we end.
    QProcess process;
    process.setProgram(q(path));
    process.setArguments(QProcess::splitCommand(*args));
    process.setWorkingDirectory(q(pc_.folder));
    if (!process.startDetached())
        ctx_.messages.show(MessageRequest{"Could not run '" + entry.text + "': " + s(process.errorString()), "Run",
                                          MessageIcon::Error, MessageButtons::Ok});
}

void ExplorerWindow::deleteSelected(Pane& pane)
{
    const auto rows = selectedRows(pane.list);
    if (rows.empty())
        return;
    MessageRequest ask;
    ask.icon = MessageIcon::Question;
    ask.buttons = MessageButtons::YesNo;
    char text[600];
    if (rows.size() > 1) {
        std::snprintf(text, sizeof text, "Are you sure you want to delete these %d items?", int(rows.size()));
        ask.caption = "Confirm Multiple File Delete";
    } else {
        const std::string name = s(rowName(*rows[0]));
        if (pane.side->deletesFolderContents() && !isFileRow(*rows[0]))
            std::snprintf(text, sizeof text, "Are you sure you want to remove the folder '%s' and all of its contents?",
                          name.c_str());
        else
            std::snprintf(text, sizeof text, "Are you sure you want to delete '%s'?", name.c_str());
        ask.caption = "Delete File(s)";
    }
    ask.text = text;
    if (ctx_.messages.show(ask) != MessageResult::Yes)
        return;

    begin(pane);
    QPointer<ExplorerWindow> self(this);
    Pane* p = &pane;
    pane.side->remove(pane.folder, entriesOf(rows), [self, p](SideOutcome r) {
        if (!self)
            return;
        self->end(*p);
        if (!r.ok())
            self->ctx_.messages.show(MessageRequest{r.error, "Delete File(s)", MessageIcon::None, MessageButtons::Ok});
        self->showFolder(*p, p->folder);
    });
}

void ExplorerWindow::newFolder(Pane& pane)
{
    if (!pane.side->makesFolders())
        return;
    QPointer<ExplorerWindow> self(this);
    Pane* p = &pane;
    pane.side->makeFolder(pane.folder, [self, p](SideOutcome r) {
        if (!self)
            return;
        if (!r.ok()) {
            self->ctx_.beep.beep();
            return;
        }
        self->showFolder(*p, p->folder);
        for (int i = 0; i < p->list->topLevelItemCount(); ++i) {
            QTreeWidgetItem* row = p->list->topLevelItem(i);
            if (!isFileRow(*row) && entryOf(*row).name == r.name) {
                p->list->clearSelection();
                row->setSelected(true);
                p->list->scrollToItem(row);
                self->startRename(*p);
                break;
            }
        }
    });
}

void ExplorerWindow::sendFiles(const std::vector<std::string>& pcPaths)
{
    CopyPlan plan = PlanSendToDevice(pcPaths, device_.folder);
    if (!plan.leftOut.empty())
        ctx_.messages.show(MessageRequest{plan.leftOut, "Copy To Device", MessageIcon::Warning, MessageButtons::Ok});
    if (plan.files.empty()) {
        ctx_.beep.beep();
        return;
    }
    startTransfer(true, std::move(plan.files));
}

void ExplorerWindow::receiveSelected()
{
    CopyPlan plan = PlanReceiveToPc(entriesOf(selectedRows(device_.list)), device_.folder, pc_.folder);
    if (!plan.leftOut.empty())
        ctx_.messages.show(MessageRequest{plan.leftOut, "Copy To PC", MessageIcon::Warning, MessageButtons::Ok});
    if (plan.files.empty() || pc_.folder.empty()) {
        ctx_.beep.beep();
        return;
    }
    startTransfer(false, std::move(plan.files));
}

void ExplorerWindow::startTransfer(bool sending, std::vector<TransferFile> files)
{
    if (transfer_) {
        ctx_.beep.beep(); // one transfer at a time
        return;
    }
    uint64_t total = 0;
    for (const TransferFile& f : files)
        total += f.size;
    const std::vector<TransferFile> list = files;
    transferState_ = std::make_shared<TransferState>(files.size(), total);
    auto* dialog = new TransferDialog(this, sending, transferState_);
    dialog->setWindowModality(Qt::WindowModal);
    transfer_ = dialog;
    connect(dialog, &QDialog::finished, dialog, &QObject::deleteLater);
    QPointer<TransferDialog> weakDialog(dialog);
    transferState_->setOnFileStarted([weakDialog](const std::string& name) {
        QMetaObject::invokeMethod(
            qApp, [weakDialog, name] { if (weakDialog) weakDialog->showFileName(QString::fromStdString(name)); },
            Qt::QueuedConnection);
    });
    dialog->show();
    begin(device_);
    QPointer<ExplorerWindow> self(this);
    ctx_.device->transfer(sending, std::move(files), transferState_, [self, sending, list](TransferReport report) {
        if (!self)
            return;
        self->end(self->device_);
        if (self->transfer_)
            self->transfer_->finishTransfer();
        self->transferState_.reset();
        std::string failed;
        for (size_t i = 0; i < list.size() && i < report.results.size(); ++i)
            if (report.results[i] != FileResult::Done && report.results[i] != FileResult::NotStarted &&
                report.results[i] != FileResult::Cancelled)
                failed += "\n" + (sending ? list[i].pcPath : PcTextOfDevice(list[i].devicePath)) + ": " + report.text(i);
        if (!failed.empty())
            self->ctx_.messages.show(MessageRequest{"These files were not copied:" + failed,
                                                    sending ? "Sending Files" : "Receiving Files",
                                                    MessageIcon::Warning, MessageButtons::Ok});
        self->showDeviceFolder(self->device_.folder);
        self->showPcFolder(self->pc_.folder);
        emit self->transferEnded();
    });
}

void ExplorerWindow::dragEnterEvent(QDragEnterEvent* event)
{
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void ExplorerWindow::dropEvent(QDropEvent* event)
{
    std::vector<std::string> paths;
    for (const QUrl& url : event->mimeData()->urls())
        if (url.isLocalFile())
            paths.push_back(s(url.toLocalFile()));
    if (paths.empty())
        return;
    event->acceptProposedAction();
    sendFiles(paths);
}

void ExplorerWindow::closeEvent(QCloseEvent* event)
{
    if (transferState_)
        transferState_->cancel();
    QWidget::closeEvent(event);
}

} // namespace sorvane
