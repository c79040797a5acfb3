#pragma once
// "Type text..." ("TYPETEXT"): a small box whose text is typed on the device's
// keyboard when OK is pressed. Characters that have no key on a US keyboard are named
// in the box and nothing is sent; the box stays open to mend the text.
//
// Thread: user-interface thread. The port outlives the dialog.

#include <QDialog>

#include "tools/ui/DeviceToolsPort.h"

class QLabel;
class QPlainTextEdit;

namespace sorvane {

class TypeTextDialog final : public QDialog {
    Q_OBJECT
public:
    explicit TypeTextDialog(DeviceToolsPort& port, QWidget* parent = nullptr);
    QPlainTextEdit* editor() const { return editor_; }
    void accept() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    DeviceToolsPort& port_;
    QPlainTextEdit* editor_ = nullptr;
    QLabel* note_ = nullptr;
};

// Types `text` on the device; returns the characters that have no key (then nothing
// was sent), empty when it was sent.
QString TypeOnDevice(DeviceToolsPort& port, const QString& text);

} // namespace sorvane
