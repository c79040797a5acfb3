#pragma once
// The file explorer ("KWXBROWSER", "KWX File Explorer - <device>") of one device
// window: a PC folder on the left (1020), a device folder on the right (1021), each
// with its path button, up button and sort button above it, and between them a column
// of six bitmap buttons (Copy To Device 40039, Copy To PC 40040; 40043, 40045, 40046
// and 40003 do nothing here and are shown disabled). Context menus "CONTEXT1" (PC) and
// "CONTEXT2" (device) carry Copy, Rename, Open, Run..., Delete, New Folder, Select All
// and De-Select All; files dropped from the desktop are sent to the device folder.
// Run... starts a device file whose name ends in .EXE, and a PC file with execute
// permission (with the arguments asked for, in the PC folder; a failure is shown).
//
// Every device operation goes through a DeviceFileService: the window never waits on
// the link. While a device operation is under way the device pane shows the wait
// cursor and takes no new device commands; a listing that did not come leaves its
// reason in the pane (deviceNote); a transfer runs inside the modal "File
// Xfer Status" dialog, after which both panes are listed again.
//
// Thread: user-interface thread.

#include <memory>
#include <string>
#include <vector>

#include <QPointer>
#include <QWidget>

#include "files/ExplorerModel.h"
#include "files/PcFolderListing.h"
#include "files/ui/TransferDialog.h"
#include "platform/UiPorts.h"

class QLabel;
class QMenu;
class QPushButton;
class QToolButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace sorvane {

class DeviceFileService;
class FolderPathButton;

namespace explorer_cmd {
inline constexpr int CopyToDevice = 40039, CopyToPc = 40040;
inline constexpr int PcRename = 40032, PcOpen = 40054, PcRun = 40053, PcDelete = 40025, PcNewFolder = 40041,
                     PcSelectAll = 40042, PcDeselectAll = 40044;
inline constexpr int DeviceRename = 40056, DeviceOpen = 40060, DeviceRun = 40037, DeviceDelete = 40055,
                     DeviceNewFolder = 40057, DeviceSelectAll = 40058, DeviceDeselectAll = 40059;
inline constexpr int PcUp = 40048, DeviceUp = 40079, PcPath = 40049, PcSort = 40050, DevicePath = 40051,
                     DeviceSort = 40052;
} // namespace explorer_cmd

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

    const std::string& pcFolder() const { return pcFolder_; }
    const std::string& deviceFolder() const { return deviceFolder_; }
    void showPcFolder(const std::string& folder);
    void showDeviceFolder(const std::string& folder);
    SortKey sortKey() const { return sortKey_; }
    void setSortKey(SortKey key);

    QTreeWidget* pcList() const { return pcList_; }
    QTreeWidget* deviceList() const { return deviceList_; }
    // Why the device pane lists nothing ("The device is reconnecting."), empty when it
    // shows a listing.
    QString deviceNote() const;
    bool deviceBusy() const { return busy_ > 0; }
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
    QTreeWidget* makeList(const char* id);
    QPushButton* makeSortButton(const char* id);
    void dropSortMenu(QPushButton* button);
    void layoutChildren();
    void contextMenu(bool device, const QPoint& at);
    void rowActivated(bool device, QTreeWidgetItem* item);
    void labelEdited(bool device, QTreeWidgetItem* item);
    void startRename(bool device);
    void openOrRun(bool device, bool run);
    void deleteSelected(bool device);
    void newPcFolder();
    void selectAll(bool device, bool select);
    void receiveSelected();
    void startTransfer(bool sending, std::vector<TransferFile> files);
    void fillDeviceList(const DeviceListing& listing);
    std::vector<QTreeWidgetItem*> selectedRows(QTreeWidget* list) const;
    std::string pcPathOf(const QTreeWidgetItem& row) const;
    std::string devicePathOf(const QTreeWidgetItem& row) const;
    void beginDevice();
    void endDevice();
    void showRenameError(const QString& oldName);

    Context ctx_;
    std::string pcFolder_, deviceFolder_;
    SortKey sortKey_ = SortKey::Name;
    QTreeWidget* pcList_ = nullptr;
    QTreeWidget* deviceList_ = nullptr;
    QLabel* deviceNote_ = nullptr;
    FolderPathButton* pcPath_ = nullptr;
    FolderPathButton* devicePath_ = nullptr;
    QToolButton* pcUp_ = nullptr;
    QToolButton* deviceUp_ = nullptr;
    QPushButton* pcSort_ = nullptr;
    QPushButton* deviceSort_ = nullptr;
    std::vector<QToolButton*> bitmapButtons_;
    QMenu* pcMenu_ = nullptr;
    QMenu* deviceMenu_ = nullptr;
    QPointer<TransferDialog> transfer_;
    std::shared_ptr<TransferState> transferState_;
    int busy_ = 0;
    bool editing_ = false; // a label edit started by Rename or New Folder
    QString editOldName_;
};

} // namespace sorvane
