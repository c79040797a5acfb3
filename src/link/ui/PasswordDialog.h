#pragma once
// The "PASSWORD" dialog: asks for the device password during the handshake of a
// WAN connection whose agent has one set.
//
// Result codes: 1 when the typed password matched, 2 on Cancel (or Escape, or the
// close box). A wrong password shows "The password is incorrect" and leaves the
// dialog open. The "Hide Password" check box writes the HidePassword setting at
// once, whatever the dialog's outcome.
//
// Thread: user-interface thread; exec() blocks in a modal loop. The dialog
// borrows the setting and the message port; both must outlive it.
//
// DialogPasswordPrompt is the handshake's PasswordPrompt: it runs the dialog for
// a record of the password table, on the user-interface thread whichever thread
// the handshake runs on.

#include <cstdint>
#include <string>
#include <string_view>

#include <QDialog>
#include <QPointer>

#include "link/Handshake.h"

class QCheckBox;
class QLineEdit;

namespace sorvane {

class MessageBoxPort;

class PasswordDialog final : public QDialog {
    Q_OBJECT
public:
    static constexpr int kMaxLength = 32;
    static constexpr int kAccepted = 1;
    static constexpr int kCancelled = 2;

    PasswordDialog(std::string expected, int32_t& hidePasswordSetting, MessageBoxPort& messages,
                   QWidget* owner = nullptr);

    // Runs the dialog modally and returns 1 or 2.
    static int ask(std::string expected, int32_t& hidePasswordSetting, MessageBoxPort& messages,
                   QWidget* owner = nullptr);

    void reject() override; // Cancel, Escape and the close box end with 2

protected:
    void showEvent(QShowEvent* event) override;

private:
    void onOk();
    void onHideToggled(bool hide);

    std::string expected_;
    int32_t& hidePassword_;
    MessageBoxPort& messages_;
    QLineEdit* edit_ = nullptr;
    QCheckBox* hide_ = nullptr;
};

class DialogPasswordPrompt final : public PasswordPrompt {
public:
    // `owner`: the main window (may be null). The setting and the port are borrowed.
    DialogPasswordPrompt(int32_t& hidePasswordSetting, MessageBoxPort& messages, QWidget* owner = nullptr);

    // Shows the dialog for the password of `record` and returns 1 or 2. Called
    // from another thread, it waits while the user-interface thread runs the
    // dialog (that thread must not be waiting for the caller).
    int askPassword(const PasswordTable& table, size_t record) override;
    // From another thread: waits for the answer while `cancelled` is false; once it is
    // true, withdraws the question (closing the dialog if shown) and returns 2.
    int askPassword(const PasswordTable& table, size_t record, const std::function<bool()>& cancelled) override;

private:
    int32_t& hidePassword_;
    MessageBoxPort& messages_;
    QPointer<QWidget> owner_;
};

} // namespace sorvane
