#pragma once
// The path button of a folder pane: shows where the pane is (the last component of
// its folder, the root itself, or "My Computer" at the top) in bold 12-pixel Tahoma
// with a drop-down arrow after the text. A click drops the folder menu: the
// current folder (marked "* ") and each ancestor down to "My Computer"; choosing an
// entry emits folderChosen with its folder. While the menu is open the button says
// "Show". Shared by the Select Directory dialog and the file explorer's PC pane.
//
// Thread: user-interface thread.

#include <string>

#include <QPushButton>

class QMenu;

namespace sorvane {

class FolderPathButton final : public QPushButton {
    Q_OBJECT
public:
    explicit FolderPathButton(QWidget* parent = nullptr);

    // The device pane's button: device folders ("\\a\\b"), "My Device" at the top.
    void setDeviceSide(bool device) { device_ = device; setFolder(folder_); }
    void setFolder(const std::string& folder);
    const std::string& folder() const { return folder_; }

    // The menu for the current folder; each action's data is the entry's folder.
    QMenu* buildMenu(QWidget* parent) const;

    QSize sizeHint() const override;

signals:
    void folderChosen(const QString& folder);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void dropMenu();

    std::string folder_;
    bool device_ = false;
};

} // namespace sorvane
