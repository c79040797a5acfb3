#pragma once
// Filling a report list (three columns "Name", "Size", "Date") with a PC folder
// listing: the Select Directory dialog's list. Each row keeps what the dialog needs to
// act on it in its first column's data; the file explorer's panes use the same roles
// and column widths.
//
// Thread: user-interface thread.

#include <string>

#include "files/PcFolderListing.h"

class QTreeWidget;
class QTreeWidgetItem;

namespace sorvane {

// Data roles of column 0 of every row.
inline constexpr int kPcItemNameRole = 0x0100 + 1; // Qt::UserRole + 1: the entry's name (QString)
inline constexpr int kPcItemKindRole = 0x0100 + 2; // int(PcFolderItem::Kind)

// Replaces the rows of list with listing's items, in the listing's order, each with
// the system's icon for a drive, folder or file.
void fillPcFolderList(QTreeWidget& list, const PcFolderListing& listing);

// Sets the three column widths for a list of listWidth pixels: half the list plus 26,
// and a quarter less 22 and less 9.
void setFolderListColumnWidths(QTreeWidget& list, int listWidth);

// The folder a click on row item leads to from folder: a drive's own path, or the
// folder with the entry's name appended; "" when the row is a file.
std::string folderOfRow(const QTreeWidgetItem& item, const std::string& folder);

} // namespace sorvane
