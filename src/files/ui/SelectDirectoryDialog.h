#pragma once
// The "Select Directory" dialog: a PC folder chooser for the Browse buttons of the
// settings dialogs. It shows one folder's subfolders (no files) in the folder list
// (1020, three columns without headers); a single click on a folder goes into it;
// the path button (1030) drops the folder menu to go back up; OK returns the folder
// shown. At the top of the tree ("My Computer", the drives) there is no folder to
// return, so OK is disabled there.
//
// Thread: user-interface thread. exec() is modal and blocks in the event loop.

#include <optional>
#include <string>
#include <vector>

#include <QDialog>

#include "files/SortKeys.h"

class QDialogButtonBox;
class QTreeWidget;
class QTreeWidgetItem;

namespace sorvane {

class FolderPathButton;

class SelectDirectoryDialog final : public QDialog {
    Q_OBJECT
public:
    // folder: where to start ("" or a folder that cannot be read shows what it can:
    // the drives, or an empty list with the path button to go up). sortKey: the sort
    // key shared with the file explorer. drives: the places listed at the top.
    SelectDirectoryDialog(QWidget* parent, const std::string& folder, SortKey sortKey,
                          std::vector<std::string> drives = defaultDrives());

    // The folder shown (no trailing "/" except the root; "" at the top).
    const std::string& folder() const { return folder_; }
    void showFolder(const std::string& folder);

    QTreeWidget* list() const { return list_; }
    FolderPathButton* pathButton() const { return path_; }

    static std::vector<std::string> defaultDrives();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void rowClicked(QTreeWidgetItem* item);

    std::string folder_;
    SortKey sortKey_;
    std::vector<std::string> drives_;
    FolderPathButton* path_ = nullptr;
    QTreeWidget* list_ = nullptr;
    QDialogButtonBox* buttons_ = nullptr;
};

// Runs the dialog modally; the chosen folder on OK, nullopt on Cancel.
std::optional<std::string> RunSelectDirectoryDialog(QWidget* parent, const std::string& folder, SortKey sortKey);

} // namespace sorvane
