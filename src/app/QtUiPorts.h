#pragma once
// Qt implementations of the user-interface ports (platform/UiPorts.h): message
// boxes, beep, file dialogs and the colour chooser.
//
// Thread: the user-interface thread only. Each dialog is modal over the active
// window (or over `owner` when one is set) and blocks in its own event loop.

#include <QPointer>
#include <QWidget>

#include "platform/UiPorts.h"

namespace sorvane {

class QtMessageBox final : public MessageBoxPort {
public:
    MessageResult show(const MessageRequest& request) override;
};

class QtBeep final : public BeepPort {
public:
    void beep() override;
};

class QtFileDialogs final : public FileDialogPort {
public:
    std::optional<std::string> openFile(const FileDialogRequest& request) override;
    std::vector<std::string> openFiles(const FileDialogRequest& request) override;
    std::optional<std::string> saveFile(const FileDialogRequest& request) override;
    std::optional<SavedFile> saveFileAs(const FileDialogRequest& request) override;
    std::optional<std::string> chooseDirectory(const std::string& title,
                                               const std::string& initialDirectory) override;
};

class QtColorChooser final : public ColorChooserPort {
public:
    std::optional<uint32_t> chooseColor(uint32_t initial, std::array<uint32_t, 16>& customColors) override;
};

// The Qt ports of one program run, owned together.
struct QtUiPortSet {
    QtMessageBox messages;
    QtBeep beep;
    QtFileDialogs files;
    QtColorChooser colors;
    UiPorts ports() { return UiPorts{messages, beep, files, colors}; }
};

// "Script files (*.txt);;All files (*)" from the port's filter list.
QString qtFilterString(const std::vector<FileFilter>& filters);

} // namespace sorvane
