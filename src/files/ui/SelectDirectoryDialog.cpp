#include "files/ui/SelectDirectoryDialog.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "files/FolderPath.h"
#include "files/PcFolderListing.h"
#include "platform/ui/CenterDialog.h"
#include "files/ui/FolderPathButton.h"
#include "files/ui/PcFolderList.h"

namespace sorvane {

SelectDirectoryDialog::SelectDirectoryDialog(QWidget* parent, const std::string& folder, SortKey sortKey,
                                             std::vector<std::string> drives)
    : QDialog(parent), sortKey_(sortKey), drives_(std::move(drives))
{
    setObjectName(QStringLiteral("Select Directory"));
    setWindowTitle(QStringLiteral("Select Directory"));

    path_ = new FolderPathButton(this);
    path_->setObjectName(QStringLiteral("1030"));

    list_ = new QTreeWidget(this);
    list_->setObjectName(QStringLiteral("1020"));
    list_->setColumnCount(3);
    list_->setHeaderLabels({QStringLiteral("Name"), QStringLiteral("Size"), QStringLiteral("Date")});
    list_->setHeaderHidden(true);
    list_->setRootIsDecorated(false);
    list_->setUniformRowHeights(true);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);

    buttons_ = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons_->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("1"));
    buttons_->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("2"));

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(7, 7, 7, 7);
    layout->setSpacing(6);
    layout->addWidget(path_);
    layout->addWidget(list_, 1);
    layout->addWidget(buttons_);

    connect(path_, &FolderPathButton::folderChosen, this,
            [this](const QString& f) { showFolder(f.toStdString()); });
    connect(list_, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem* item) { rowClicked(item); });
    connect(list_, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem* item) { rowClicked(item); });
    connect(buttons_, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons_, &QDialogButtonBox::rejected, this, &QDialog::reject);

    resize(300, 320);
    showFolder(NormalizePcFolder(folder));
    CenterDialog(*this);
}

std::vector<std::string> SelectDirectoryDialog::defaultDrives() { return defaultPcDrives(); }

void SelectDirectoryDialog::showFolder(const std::string& folder)
{
    folder_ = folder;
    PcFolderListing listing = ListPcFolder(folder_, true, drives_, sortKey_);
    fillPcFolderList(*list_, listing);
    path_->setFolder(folder_);
    buttons_->button(QDialogButtonBox::Ok)->setEnabled(!folder_.empty());
}

void SelectDirectoryDialog::rowClicked(QTreeWidgetItem* item)
{
    if (!item)
        return;
    // The list is refilled once the view has finished with the click, which still
    // refers to the row.
    std::string next = folderOfRow(*item, folder_);
    if (!next.empty())
        QMetaObject::invokeMethod(this, [this, next] { showFolder(next); }, Qt::QueuedConnection);
}

void SelectDirectoryDialog::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    setFolderListColumnWidths(*list_, list_->viewport()->width());
}

std::optional<std::string> RunSelectDirectoryDialog(QWidget* parent, const std::string& folder, SortKey sortKey)
{
    SelectDirectoryDialog dialog(parent, folder, sortKey);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.folder();
}

} // namespace sorvane
