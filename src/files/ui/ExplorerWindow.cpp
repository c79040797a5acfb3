#include "files/ui/ExplorerWindow.h"

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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
#include "files/ListingText.h"
#include "files/ui/DeviceFileService.h"
#include "files/ui/FolderPathButton.h"
#include "files/ui/PcFolderList.h"
#include "files/ui/TransferDialog.h"

namespace sorvane {
namespace {

using namespace explorer_cmd;
constexpr int kSizeRole = Qt::UserRole + 3;
constexpr int kDeviceBytesRole = Qt::UserRole + 4; // a device row's name as the device spells it (QByteArray)

QString q(const std::string& s) { return QString::fromStdString(s); }
std::string s(const QString& q) { return q.toStdString(); }

bool isFileRow(const QTreeWidgetItem& row)
{
    return PcFolderItem::Kind(row.data(0, kPcItemKindRole).toInt()) == PcFolderItem::Kind::File;
}

QString rowName(const QTreeWidgetItem& row) { return row.data(0, kPcItemNameRole).toString(); }

// A PC file that Run... can start: a regular file (or a link to one) we may execute.
bool isPcProgram(const QTreeWidgetItem& row, const std::string& path)
{
    struct stat st {};
    return isFileRow(row) && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), X_OK) == 0;
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

    pcList_ = makeList("1020");
    deviceList_ = makeList("1021");
    pcPath_ = new FolderPathButton(this);
    pcPath_->setObjectName(QString::number(PcPath));
    devicePath_ = new FolderPathButton(this);
    devicePath_->setObjectName(QString::number(DevicePath));
    devicePath_->setDeviceSide(true);
    auto upButton = [this](int id) {
        auto* b = new QToolButton(this);
        b->setObjectName(QString::number(id));
        b->setIcon(style()->standardIcon(QStyle::SP_FileDialogToParent));
        b->setAutoRaise(true);
        connect(b, &QToolButton::clicked, this, [this, id] { command(id); });
        return b;
    };
    pcUp_ = upButton(PcUp);
    deviceUp_ = upButton(DeviceUp);
    pcSort_ = makeSortButton("40050");
    deviceSort_ = makeSortButton("40052");
    // In place of the entries when a listing did not come: the reason.
    deviceNote_ = new QLabel(this);
    deviceNote_->setObjectName(QStringLiteral("DeviceNote"));
    deviceNote_->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    deviceNote_->setWordWrap(true);
    deviceNote_->setAttribute(Qt::WA_TransparentForMouseEvents);
    deviceNote_->hide();

    const struct {
        int id;
        QStyle::StandardPixmap icon;
        const char* tip;
    } bitmaps[6] = {{CopyToDevice, QStyle::SP_ArrowRight, "Copy To Device"},
                    {CopyToPc, QStyle::SP_ArrowLeft, "Copy To PC"},
                    {40043, QStyle::SP_BrowserReload, ""},
                    {40045, QStyle::SP_MediaPlay, ""},
                    {40046, QStyle::SP_MediaStop, ""},
                    {40003, QStyle::SP_DialogHelpButton, ""}};
    for (const auto& b : bitmaps) {
        auto* button = new QToolButton(this);
        button->setObjectName(QString::number(b.id));
        button->setIcon(style()->standardIcon(b.icon));
        button->setIconSize(QSize(24, 24));
        button->setToolTip(QString::fromLatin1(b.tip));
        const int id = b.id;
        // Only the two copy buttons act in this window.
        button->setEnabled(id == CopyToDevice || id == CopyToPc);
        connect(button, &QToolButton::clicked, this, [this, id] { command(id); });
        bitmapButtons_.push_back(button);
    }

    auto menu = [this](const char* name, std::initializer_list<std::pair<int, const char*>> items) {
        auto* m = new QMenu(this);
        m->setObjectName(QString::fromLatin1(name));
        for (auto [id, text] : items) {
            if (id == 0) {
                m->addSeparator();
                continue;
            }
            QAction* a = m->addAction(QString::fromLatin1(text));
            a->setObjectName(QString::number(id));
            a->setData(id);
        }
        return m;
    };
    pcMenu_ = menu("CONTEXT1", {{CopyToDevice, "Copy To Device"}, {PcRename, "Rename"}, {PcOpen, "Open"},
                                {PcRun, "Run..."}, {PcDelete, "Delete"}, {PcNewFolder, "New Folder"}, {0, ""},
                                {PcSelectAll, "Select All"}, {PcDeselectAll, "De-Select All"}});
    deviceMenu_ = menu("CONTEXT2", {{CopyToPc, "Copy To PC"}, {DeviceRename, "Rename"}, {DeviceOpen, "Open"},
                                    {DeviceRun, "Run..."}, {DeviceDelete, "Delete"}, {DeviceNewFolder, "New Folder"},
                                    {0, ""}, {DeviceSelectAll, "Select All"}, {DeviceDeselectAll, "De-Select All"}});
    // A device folder cannot be made from here.
    for (QAction* a : deviceMenu_->actions())
        if (a->data().toInt() == DeviceNewFolder)
            a->setEnabled(false);

    connect(pcPath_, &FolderPathButton::folderChosen, this, [this](const QString& f) { showPcFolder(s(f)); });
    connect(devicePath_, &FolderPathButton::folderChosen, this, [this](const QString& f) {
        // The button shows the folder as PC text, which goes back to the device's bytes unchanged.
        if (const DeviceName folder = DeviceTextOfPc(s(f)); folder.ok())
            showDeviceFolder(folder.bytes);
    });
    for (bool device : {false, true}) {
        QTreeWidget* list = device ? deviceList_ : pcList_;
        connect(list, &QTreeWidget::itemActivated, this,
                [this, device](QTreeWidgetItem* item) { rowActivated(device, item); });
        connect(list, &QTreeWidget::customContextMenuRequested, this,
                [this, device](const QPoint& at) { contextMenu(device, at); });
        connect(list, &QTreeWidget::itemChanged, this,
                [this, device](QTreeWidgetItem* item, int column) {
                    if (column == 0)
                        labelEdited(device, item);
                });
        auto* del = new QShortcut(QKeySequence::Delete, list, nullptr, nullptr, Qt::WidgetShortcut);
        connect(del, &QShortcut::activated, this, [this, device] { command(device ? DeviceDelete : PcDelete); });
        auto* f2 = new QShortcut(QKeySequence(Qt::Key_F2), list, nullptr, nullptr, Qt::WidgetShortcut);
        connect(f2, &QShortcut::activated, this, [this, device] { command(device ? DeviceRename : PcRename); });
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

QPushButton* ExplorerWindow::makeSortButton(const char* id)
{
    auto* b = new QPushButton(q(std::string(sortKeyName(sortKey_))), this);
    b->setObjectName(QString::fromLatin1(id));
    b->setFont(pcPath_->font());
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
    for (QPushButton* b : {pcSort_, deviceSort_})
        b->setText(q(std::string(sortKeyName(key))));
    showPcFolder(pcFolder_);
    showDeviceFolder(deviceFolder_);
}

void ExplorerWindow::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    layoutChildren();
}

void ExplorerWindow::layoutChildren()
{
    const int w = width(), h = height();
    pcList_->setGeometry(0, 21, w / 2 - 20, h - 21);
    deviceList_->setGeometry(w / 2 + 20, 21, w / 2 - 20, h - 21);
    pcPath_->setGeometry(0, 0, w / 2 - 114, 21);
    pcUp_->setGeometry(w / 2 - 114, 0, 24, 21);
    pcSort_->setGeometry(w / 2 - 90, 0, 70, 21);
    devicePath_->setGeometry(w / 2 + 20, 0, w / 2 - 134, 21);
    deviceUp_->setGeometry(w - 114, 0, 24, 21);
    deviceSort_->setGeometry(w - 90, 0, 70, 21);
    deviceNote_->setGeometry(w / 2 + 28, 56, w / 2 - 36, 48);
    for (size_t i = 0; i < bitmapButtons_.size(); ++i)
        bitmapButtons_[i]->setGeometry(w / 2 - 16, 2 + 36 * int(i), 32, 32);
    for (QTreeWidget* list : {pcList_, deviceList_})
        setFolderListColumnWidths(*list, w / 2 - 20);
}

void ExplorerWindow::showPcFolder(const std::string& folder)
{
    pcFolder_ = folder;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    PcFolderListing listing = ListPcFolder(pcFolder_, false, ctx_.drives, sortKey_);
    fillPcFolderList(*pcList_, listing);
    QApplication::restoreOverrideCursor();
    pcPath_->setFolder(pcFolder_);
}

void ExplorerWindow::showDeviceFolder(const std::string& folder)
{
    deviceFolder_ = folder;
    devicePath_->setFolder(PcTextOfDevice(deviceFolder_));
    deviceList_->clear();
    deviceNote_->hide();
    beginDevice();
    QPointer<ExplorerWindow> self(this);
    ctx_.device->list(folder, [self, folder](DeviceListing listing) {
        if (!self)
            return;
        self->endDevice();
        if (folder == self->deviceFolder_) {
            self->fillDeviceList(listing);
            // An empty pane would read as an empty folder: say why nothing is listed.
            if (listing.status != DeviceFileStatus::Ok && listing.status != DeviceFileStatus::TooLarge) {
                std::string note(deviceFileStatusText(listing.status));
                note[0] = char(std::toupper(static_cast<unsigned char>(note[0])));
                self->deviceNote_->setText(q(note + "."));
                self->deviceNote_->show();
                self->deviceNote_->raise();
            }
        }
        if (listing.status == DeviceFileStatus::TooLarge)
            self->ctx_.messages.show(MessageRequest{"The device's folder has more entries than can be shown.",
                                                    self->ctx_.deviceName.toStdString(), MessageIcon::Warning,
                                                    MessageButtons::Ok});
        emit self->deviceListed();
    });
}

QString ExplorerWindow::deviceNote() const { return deviceNote_->isHidden() ? QString() : deviceNote_->text(); }

void ExplorerWindow::fillDeviceList(const DeviceListing& listing)
{
    QFileIconProvider icons;
    const QIcon folderIcon = icons.icon(QFileIconProvider::Folder), fileIcon = icons.icon(QFileIconProvider::File);
    deviceList_->setUpdatesEnabled(false);
    deviceList_->clear();
    QList<QTreeWidgetItem*> rows;
    for (const DeviceItem& item : DevicePaneItems(listing.items, sortKey_)) {
        auto* row = new QTreeWidgetItem;
        const QString name = q(PcTextOfDevice(item.name));
        row->setText(0, name);
        row->setData(0, kDeviceBytesRole, QByteArray(item.name.data(), qsizetype(item.name.size())));
        row->setIcon(0, item.folder ? folderIcon : fileIcon);
        if (!item.folder)
            row->setText(1, q(FormatSize(item.size)));
        row->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
        row->setData(0, kPcItemNameRole, name);
        row->setData(0, kPcItemKindRole, int(item.folder ? PcFolderItem::Kind::Folder : PcFolderItem::Kind::File));
        row->setData(0, kSizeRole, qulonglong(item.size));
        rows.push_back(row);
    }
    deviceList_->addTopLevelItems(rows);
    deviceList_->setUpdatesEnabled(true);
}

void ExplorerWindow::beginDevice()
{
    if (busy_++ == 0)
        deviceList_->setCursor(Qt::WaitCursor);
}

void ExplorerWindow::endDevice()
{
    if (busy_ > 0 && --busy_ == 0)
        deviceList_->unsetCursor();
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

std::string ExplorerWindow::pcPathOf(const QTreeWidgetItem& row) const
{
    if (PcFolderItem::Kind(row.data(0, kPcItemKindRole).toInt()) == PcFolderItem::Kind::Drive)
        return s(rowName(row));
    return ChildFolder(pcFolder_, s(rowName(row)));
}

std::string ExplorerWindow::devicePathOf(const QTreeWidgetItem& row) const
{
    const QByteArray name = row.data(0, kDeviceBytesRole).toByteArray();
    return DeviceChild(deviceFolder_, std::string(name.constData(), size_t(name.size())));
}

void ExplorerWindow::rowActivated(bool device, QTreeWidgetItem* item)
{
    if (!item)
        return;
    if (isFileRow(*item)) {
        command(device ? DeviceOpen : PcOpen);
        return;
    }
    // The list is refilled once the view has finished with the activation.
    const std::string next = device ? devicePathOf(*item) : folderOfRow(*item, pcFolder_);
    QMetaObject::invokeMethod(
        this, [this, device, next] { device ? showDeviceFolder(next) : showPcFolder(next); }, Qt::QueuedConnection);
}

void ExplorerWindow::contextMenu(bool device, const QPoint& at)
{
    QTreeWidget* list = device ? deviceList_ : pcList_;
    QMenu* menu = device ? deviceMenu_ : pcMenu_;
    const auto rows = selectedRows(list);
    if (rows.size() <= 1) {
        const bool runnable = rows.size() == 1 && (device ? IsRunnableName(s(rowName(*rows[0])))
                                                          : isPcProgram(*rows[0], pcPathOf(*rows[0])));
        for (QAction* a : menu->actions())
            if (a->data().toInt() == (device ? DeviceRun : PcRun))
                a->setEnabled(runnable);
    }
    if (QAction* chosen = menu->exec(list->viewport()->mapToGlobal(at)))
        command(chosen->data().toInt());
}

void ExplorerWindow::command(int id)
{
    switch (id) {
    case CopyToDevice: {
        std::vector<std::string> paths;
        for (QTreeWidgetItem* row : selectedRows(pcList_))
            if (isFileRow(*row))
                paths.push_back(pcPathOf(*row));
        if (paths.empty()) {
            ctx_.beep.beep();
            return;
        }
        sendFiles(paths);
        return;
    }
    case CopyToPc: receiveSelected(); return;
    case PcRename: startRename(false); return;
    case DeviceRename: startRename(true); return;
    case PcOpen: openOrRun(false, false); return;
    case DeviceOpen: openOrRun(true, false); return;
    case PcRun: openOrRun(false, true); return;
    case DeviceRun: openOrRun(true, true); return;
    case PcDelete: deleteSelected(false); return;
    case DeviceDelete: deleteSelected(true); return;
    case PcNewFolder: newPcFolder(); return;
    case PcSelectAll: selectAll(false, true); return;
    case PcDeselectAll: selectAll(false, false); return;
    case DeviceSelectAll: selectAll(true, true); return;
    case DeviceDeselectAll: selectAll(true, false); return;
    case PcUp: showPcFolder(ParentFolder(pcFolder_)); return;
    case DeviceUp: showDeviceFolder(DeviceParent(deviceFolder_)); return;
    default: return; // 40057 and the bitmap buttons 3 to 6: no action here
    }
}

void ExplorerWindow::selectAll(bool device, bool select)
{
    QTreeWidget* list = device ? deviceList_ : pcList_;
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
        QTreeWidgetItem* row = list->topLevelItem(i);
        row->setSelected(select && isFileRow(*row));
    }
}

void ExplorerWindow::startRename(bool device)
{
    QTreeWidget* list = device ? deviceList_ : pcList_;
    const auto rows = selectedRows(list);
    if (rows.empty() || (!device && !isFileRow(*rows[0]) &&
                         PcFolderItem::Kind(rows[0]->data(0, kPcItemKindRole).toInt()) == PcFolderItem::Kind::Drive))
        return;
    QTreeWidgetItem* row = rows[0];
    {
        const QSignalBlocker block(list);
        row->setFlags(row->flags() | Qt::ItemIsEditable);
    }
    editing_ = true;
    list->editItem(row, 0);
}

void ExplorerWindow::showRenameError(const QString& oldName)
{
    ctx_.messages.show(MessageRequest{"Error renaming the file; it may be in-use or marked as read-only.", s(oldName),
                                      MessageIcon::Error, MessageButtons::Ok});
}

void ExplorerWindow::labelEdited(bool device, QTreeWidgetItem* item)
{
    if (!editing_)
        return;
    editing_ = false;
    QTreeWidget* list = device ? deviceList_ : pcList_;
    const QString oldName = rowName(*item);
    const QString newName = item->text(0);
    {
        const QSignalBlocker block(list);
        item->setFlags(item->flags() & ~Qt::ItemIsEditable);
    }
    if (newName == oldName)
        return;
    auto revert = [list, item, oldName] {
        const QSignalBlocker block(list);
        item->setText(0, oldName);
    };
    if (!device) {
        const bool badName = newName.isEmpty() || newName.contains(QLatin1Char('/'));
        const std::string from = ChildFolder(pcFolder_, s(oldName)), to = ChildFolder(pcFolder_, s(newName));
        // Never over an existing entry: the old name of that one would be lost.
        if (badName || ::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) != 0) {
            revert();
            showRenameError(oldName);
            return;
        }
        item->setData(0, kPcItemNameRole, newName);
        return;
    }
    const DeviceName name = NewDeviceFileName(s(newName));
    if (!name.ok()) {
        revert();
        ctx_.messages.show(MessageRequest{"The device cannot take this name: " + name.problem + ".", s(oldName),
                                          MessageIcon::Error, MessageButtons::Ok});
        return;
    }
    const std::string from = devicePathOf(*item);
    const std::string to = DeviceChild(deviceFolder_, name.bytes);
    const QByteArray bytes(name.bytes.data(), qsizetype(name.bytes.size()));
    beginDevice();
    QPointer<ExplorerWindow> self(this);
    QPointer<QTreeWidget> guard(list);
    ctx_.device->rename(from, to, [self, guard, item, oldName, newName, bytes, revert](DeviceFileStatus status) {
        if (!self)
            return;
        self->endDevice();
        // The row is still the one renamed unless the list was filled again meanwhile.
        const bool rowThere = guard && guard->indexOfTopLevelItem(item) >= 0;
        if (status == DeviceFileStatus::Ok) {
            if (rowThere) {
                item->setData(0, kPcItemNameRole, newName);
                item->setData(0, kDeviceBytesRole, bytes);
            }
            return;
        }
        if (rowThere)
            revert();
        self->showRenameError(oldName);
    });
}

void ExplorerWindow::openOrRun(bool device, bool run)
{
    const auto rows = selectedRows(device ? deviceList_ : pcList_);
    if (rows.size() != 1) {
        ctx_.beep.beep();
        return;
    }
    if (device) {
        const std::string path = devicePathOf(*rows[0]);
        ctx_.device->sendMessage(run ? RunDeviceFileMessage(path) : OpenDeviceFileMessage(path));
        return;
    }
    const std::string path = pcPathOf(*rows[0]);
    if (!run) {
        QDesktopServices::openUrl(QUrl::fromLocalFile(q(path)));
        return;
    }
    if (!isPcProgram(*rows[0], path)) {
        ctx_.beep.beep();
        return;
    }
    auto args = askArguments(this, rowName(*rows[0]));
    if (!args)
        return;
    // Started in the PC folder, apart from this program: it goes on when we end.
    QProcess process;
    process.setProgram(q(path));
    process.setArguments(QProcess::splitCommand(*args));
    process.setWorkingDirectory(q(pcFolder_));
    if (!process.startDetached())
        ctx_.messages.show(MessageRequest{"Could not run '" + s(rowName(*rows[0])) + "': " + s(process.errorString()),
                                          "Run", MessageIcon::Error, MessageButtons::Ok});
}

void ExplorerWindow::deleteSelected(bool device)
{
    QTreeWidget* list = device ? deviceList_ : pcList_;
    const auto rows = selectedRows(list);
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
        if (!device && !isFileRow(*rows[0]))
            std::snprintf(text, sizeof text, "Are you sure you want to remove the folder '%s' and all of its contents?",
                          name.c_str());
        else
            std::snprintf(text, sizeof text, "Are you sure you want to delete '%s'?", name.c_str());
        ask.caption = "Delete File(s)";
    }
    ask.text = text;
    if (ctx_.messages.show(ask) != MessageResult::Yes)
        return;

    auto reportShortfall = [this](size_t removed, size_t wanted) {
        if (removed < wanted)
            ctx_.messages.show(MessageRequest{"Not all of the files were deleted successfully", "Delete File(s)",
                                              MessageIcon::None, MessageButtons::Ok});
    };
    if (!device) {
        size_t removed = 0;
        for (QTreeWidgetItem* row : rows) {
            const std::string path = pcPathOf(*row);
            std::error_code ec;
            // A link is removed as a link: what it points to is never touched.
            if (isFileRow(*row) ? ::unlink(path.c_str()) == 0 : std::filesystem::remove_all(path, ec) > 0 && !ec)
                ++removed;
        }
        reportShortfall(removed, rows.size());
        showPcFolder(pcFolder_);
        return;
    }
    struct Tally {
        size_t wanted = 0, answered = 0, removed = 0;
    };
    auto tally = std::make_shared<Tally>();
    tally->wanted = rows.size();
    QPointer<ExplorerWindow> self(this);
    for (QTreeWidgetItem* row : rows) {
        beginDevice();
        ctx_.device->remove(devicePathOf(*row), [self, tally, reportShortfall](DeviceFileStatus status) {
            if (!self)
                return;
            self->endDevice();
            tally->removed += status == DeviceFileStatus::Ok;
            if (++tally->answered == tally->wanted) {
                reportShortfall(tally->removed, tally->wanted);
                self->showDeviceFolder(self->deviceFolder_);
            }
        });
    }
}

void ExplorerWindow::newPcFolder()
{
    if (pcFolder_.empty()) {
        ctx_.beep.beep();
        return;
    }
    const std::string name = NewFolderName([this](const std::string& n) {
        struct stat st{};
        return ::lstat(ChildFolder(pcFolder_, n).c_str(), &st) == 0;
    });
    if (name.empty() || ::mkdir(ChildFolder(pcFolder_, name).c_str(), 0777) != 0) {
        ctx_.beep.beep();
        return;
    }
    showPcFolder(pcFolder_);
    for (int i = 0; i < pcList_->topLevelItemCount(); ++i) {
        QTreeWidgetItem* row = pcList_->topLevelItem(i);
        if (!isFileRow(*row) && rowName(*row) == q(name)) {
            pcList_->clearSelection();
            row->setSelected(true);
            pcList_->scrollToItem(row);
            startRename(false);
            break;
        }
    }
}

void ExplorerWindow::sendFiles(const std::vector<std::string>& pcPaths)
{
    std::vector<TransferFile> files;
    std::string skipped;
    for (const std::string& path : pcPaths) {
        struct stat st{};
        // A name the device cannot hold as given never reaches it (it could lead out of the folder).
        const DeviceName name = NewDeviceFileName(PcBaseName(path));
        if (!name.ok()) {
            skipped += "\n" + path + ": " + name.problem;
            continue;
        }
        const std::string device = DeviceChild(deviceFolder_, name.bytes);
        if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || device.size() > kMaxDevicePath) {
            skipped += "\n" + path;
            continue;
        }
        files.push_back(TransferFile{path, device, uint64_t(st.st_size)});
    }
    if (!skipped.empty())
        ctx_.messages.show(MessageRequest{"These are not files that can be sent, and were left out:" + skipped,
                                          "Copy To Device", MessageIcon::Warning, MessageButtons::Ok});
    if (files.empty()) {
        ctx_.beep.beep();
        return;
    }
    startTransfer(true, std::move(files));
}

void ExplorerWindow::receiveSelected()
{
    std::vector<TransferFile> files;
    std::string skipped;
    for (QTreeWidgetItem* row : selectedRows(deviceList_)) {
        if (!isFileRow(*row))
            continue;
        const std::string name = s(rowName(*row));
        if (!IsSafePcName(name)) {
            skipped += "\n" + name;
            continue;
        }
        files.push_back(TransferFile{ChildFolder(pcFolder_, name), devicePathOf(*row),
                                     row->data(0, kSizeRole).toULongLong()});
    }
    if (!skipped.empty())
        ctx_.messages.show(MessageRequest{"These device names cannot be PC file names, and were left out:" + skipped,
                                          "Copy To PC", MessageIcon::Warning, MessageButtons::Ok});
    if (files.empty() || pcFolder_.empty()) {
        ctx_.beep.beep();
        return;
    }
    startTransfer(false, std::move(files));
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
    beginDevice();
    QPointer<ExplorerWindow> self(this);
    ctx_.device->transfer(sending, std::move(files), transferState_, [self, sending, list](TransferReport report) {
        if (!self)
            return;
        self->endDevice();
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
        self->showDeviceFolder(self->deviceFolder_);
        self->showPcFolder(self->pcFolder_);
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
