#pragma once
// "Type text..." ("TYPETEXT"): a small box whose text is typed on the device's
// keyboard when OK is pressed. Characters that have no key on a US keyboard are named
// in the box and nothing is sent; the box stays open to mend the text. With "Use the
// device clipboard for characters without a key" (off unless the user chose it last
// time) they are pasted through the device's clipboard instead, which they replace;
// only characters Windows-1252 lacks are then refused.
//
// Thread: user-interface thread. The port outlives the dialog.

#include <QDialog>

#include "tools/ui/DeviceToolsPort.h"

#include <functional>

class QCheckBox;
class QLabel;
class QPlainTextEdit;

namespace sorvane {

// The clipboard choice as the program keeps it between dialogs.
struct TypeTextChoice {
    bool viaClipboard = false;
    std::function<void(bool)> remember; // called when OK sends with a changed choice
};

class TypeTextDialog final : public QDialog {
    Q_OBJECT
public:
    explicit TypeTextDialog(DeviceToolsPort& port, QWidget* parent = nullptr, TypeTextChoice* choice = nullptr);
    QCheckBox* viaClipboard() const { return viaClipboard_; }
    QPlainTextEdit* editor() const { return editor_; }
    void accept() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    DeviceToolsPort& port_;
    QPlainTextEdit* editor_ = nullptr;
    QLabel* note_ = nullptr;
    QCheckBox* viaClipboard_ = nullptr;
    TypeTextChoice* choice_ = nullptr;
};

// Types `text` on the device; returns the characters that have no key (with
// viaClipboard: that Windows-1252 lacks); then nothing was sent. Empty when it was sent.
QString TypeOnDevice(DeviceToolsPort& port, const QString& text, bool viaClipboard = false);

} // namespace sorvane
