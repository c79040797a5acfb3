#pragma once
// The file explorer ("KWXBROWSER", "KWX File Explorer - <device>") of one device
// window: a PC folder on the left (1020), a device folder on the right (1021), each
// with its path button, up button and sort button above it, and between them a column
// of six bitmap buttons (Copy To Device, Copy To PC; the other four do nothing here
// and are shown disabled). Context menus "CONTEXT1" (PC) and "CONTEXT2" (device) carry
// Copy, Rename, Open, Run..., Delete, New Folder, Select All and De-Select All; files
// dropped from the desktop are sent to the device folder. Menus, buttons and keys
// (Delete, F2 in either list) come from the command table (kExplorerCommands).
// Run... starts a device file whose name ends in .EXE, and a PC file with execute
// permission (with the arguments asked for, in the PC folder; a failure is shown).
//
// Each pane works on its folders through a FolderSide (files/PcSide.h,
// files/DeviceSide.h) and shows what it answers. Every device operation goes through a
// DeviceFileService: the window never waits on the link. While a device operation is
// under way the device pane shows the wait cursor; a listing that did not come leaves
// its reason in the pane (deviceNote); a transfer runs inside the modal "File Xfer
// Status" dialog, after which both panes are listed again.
//
// Thread: user-interface thread.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QPointer>
#include <QWidget>

#include "files/ExplorerModel.h"
#include "files/FolderSide.h"
#include "files/PcFolderListing.h"
#include "files/ui/TransferDialog.h"
#include "platform/UiPorts.h"
#include "view/CommandTable.h"

class QLabel;
class QMenu;
class QPushButton;
class QToolButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace sorvane {

class DeviceFileService;
class FolderPathButton;

class ExplorerWindow final : public QWidget {
    Q_OBJECT
public:
    struct Context {
        QString deviceName;
        std::unique_ptr<DeviceFileService> device;
        MessageBoxPort& messages;
        BeepPort& beep;
        std::vector<std::string> drives = defaultPcDrives(); // the places at the top of the PC tree
        std::string pcFolder;                                 // where the PC pane starts ("" = the drives)
    };

    explicit ExplorerWindow(Context context, QWidget* parent = nullptr);
    ~ExplorerWindow() override;

    void command(int id);

    const std::string& pcFolder() const { return pc_.folder; }
    const std::string& deviceFolder() const { return device_.folder; }
    void showPcFolder(const std::string& folder);
    void showDeviceFolder(const std::string& folder);
    SortKey sortKey() const { return sortKey_; }
    void setSortKey(SortKey key);

    QTreeWidget* pcList() const { return pc_.list; }
    QTreeWidget* deviceList() const { return device_.list; }
    // Why the device pane lists nothing ("The device is reconnecting."), empty when it
    // shows a listing.
    QString deviceNote() const;
    bool deviceBusy() const { return device_.busy > 0; }
    TransferDialog* transferDialog() const { return transfer_.data(); }

    // Sends these PC files into the device folder (Copy To Device, dropped files).
    void sendFiles(const std::vector<std::string>& pcPaths);

signals:
    // A device listing arrived and was shown (tests wait for it).
    void deviceListed();
    // A transfer ended and the panes were listed again.
    void transferEnded();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    // One of the two panes: its side (the PC's or the device's), its folder and widgets.
    struct Pane {
        std::unique_ptr<FolderSide> side;
        std::string folder;
        QTreeWidget* list = nullptr;
        QLabel* note = nullptr; // in place of the entries when a listing did not come: the reason
        FolderPathButton* path = nullptr;
        QToolButton* up = nullptr;
        QPushButton* sort = nullptr;
        QMenu* menu = nullptr;
        int openCommand = 0;
        // Open (run false) or Run... of one entry at path.
        std::function<void(const std::string& path, const PaneEntry& entry, bool run)> start;
        int busy = 0;
    };

    QTreeWidget* makeList(const char* id);
    QPushButton* makeSortButton(int id);
    void dropSortMenu(QPushButton* button);
    void layoutChildren();
    void showFolder(Pane& pane, const std::string& folder);
    void fillList(Pane& pane, const std::vector<PaneEntry>& entries);
    void contextMenu(Pane& pane, const QPoint& at);
    void rowActivated(Pane& pane, QTreeWidgetItem* item);
    void labelEdited(Pane& pane, QTreeWidgetItem* item);
    void startRename(Pane& pane);
    void openOrRun(Pane& pane, bool run);
    void startOnPc(const std::string& path, const PaneEntry& entry, bool run);
    void deleteSelected(Pane& pane);
    void newFolder(Pane& pane);
    void selectAll(Pane& pane, bool select);
    void receiveSelected();
    void startTransfer(bool sending, std::vector<TransferFile> files);
    std::vector<QTreeWidgetItem*> selectedRows(QTreeWidget* list) const;
    void begin(Pane& pane);
    void end(Pane& pane);

    Context ctx_;
    Pane pc_, device_;
    SortKey sortKey_ = SortKey::Name;
    std::vector<QToolButton*> bitmapButtons_;
    QPointer<TransferDialog> transfer_;
    std::shared_ptr<TransferState> transferState_;
    bool editing_ = false; // a label edit started by Rename or New Folder
};

} // namespace sorvane
