#include "files/ui/PcFolderList.h"

#include <QFileIconProvider>
#include <QTreeWidget>

#include "files/FolderPath.h"

namespace sorvane {

void fillPcFolderList(QTreeWidget& list, const PcFolderListing& listing)
{
    static_assert(kPcItemNameRole == Qt::UserRole + 1 && kPcItemKindRole == Qt::UserRole + 2);
    QFileIconProvider icons;
    const QIcon driveIcon = icons.icon(QFileIconProvider::Drive);
    const QIcon folderIcon = icons.icon(QFileIconProvider::Folder);
    const QIcon fileIcon = icons.icon(QFileIconProvider::File);

    list.setUpdatesEnabled(false);
    list.clear();
    QList<QTreeWidgetItem*> rows;
    rows.reserve(qsizetype(listing.items.size()));
    for (const PcFolderItem& item : listing.items) {
        auto* row = new QTreeWidgetItem;
        const QString name = QString::fromStdString(item.name);
        row->setText(0, name);
        row->setText(1, QString::fromStdString(item.sizeText));
        row->setText(2, QString::fromStdString(item.dateText));
        row->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
        row->setIcon(0, item.kind == PcFolderItem::Kind::Drive    ? driveIcon
                        : item.kind == PcFolderItem::Kind::Folder ? folderIcon
                                                                  : fileIcon);
        row->setData(0, kPcItemNameRole, name);
        row->setData(0, kPcItemKindRole, int(item.kind));
        rows.push_back(row);
    }
    list.addTopLevelItems(rows);
    list.setUpdatesEnabled(true);
}

void setFolderListColumnWidths(QTreeWidget& list, int listWidth)
{
    // The panes of the explorer are (W/2 - 20) wide in a window W wide.
    const int w = 2 * listWidth + 40;
    list.setColumnWidth(0, (w - 40) / 4 + 26);
    list.setColumnWidth(1, (w - 40) / 8 - 22);
    list.setColumnWidth(2, (w - 40) / 8 - 9);
}

std::string folderOfRow(const QTreeWidgetItem& item, const std::string& folder)
{
    const auto kind = PcFolderItem::Kind(item.data(0, kPcItemKindRole).toInt());
    const std::string name = item.data(0, kPcItemNameRole).toString().toStdString();
    switch (kind) {
    case PcFolderItem::Kind::Drive: return name;
    case PcFolderItem::Kind::Folder: return ChildFolder(folder, name);
    case PcFolderItem::Kind::File: return "";
    }
    return "";
}

} // namespace sorvane
