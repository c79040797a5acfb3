#pragma once
// What a dial through an SSH gateway asks the user, as dialogs.
//
//   "SSHHOSTKEY"  (caption "SSH Host Key") a gateway whose host key is not in the
//                 known hosts: its host:port, the key's type and SHA256 fingerprint
//                 (selectable), and "Connect once" ("connectOnce"), "Always trust"
//                 ("alwaysTrust"), "Cancel" ("cancel", the default and Escape)
//   "SSHSECRET"   a key file's passphrase or the account's password: the gateway's or
//                 the key's prompt, a line edit that shows no characters ("secret"),
//                 OK and Cancel
//
// DialogSshQuestions is the program's SshQuestions: asked on a dial's worker thread, it
// shows the dialog on the user-interface thread and blocks the worker until the
// answer, looking at `cancelled` meanwhile; a cancelled attempt withdraws its
// question (closing the dialog if shown) and gets Cancel / nullopt at once. Questions
// of attempts running in parallel are shown one after another. Asked on the
// user-interface thread itself, it runs the dialog there. What the user types is
// handed to the asker only: never logged, never kept.
//
// Thread: the dialogs on the user-interface thread; DialogSshQuestions from any thread
// (the user-interface thread must not be waiting for the asker). The owner is
// borrowed and may go away first; the object must outlive the attempts that ask it.

#include <mutex>
#include <optional>
#include <string>

#include <QDialog>
#include <QMessageBox>
#include <QPointer>

#include "ssh/SshGateway.h"

class QLineEdit;

namespace sorvane {

class SshHostKeyBox final : public QMessageBox {
    Q_OBJECT
public:
    explicit SshHostKeyBox(const SshHostKey& key, QWidget* owner = nullptr);
    // The button the user pressed; Cancel when none (Escape, the close box, withdrawn).
    HostKeyAnswer answer() const;

private:
    QAbstractButton* once_ = nullptr;
    QAbstractButton* always_ = nullptr;
};

class SshSecretDialog final : public QDialog {
    Q_OBJECT
public:
    SshSecretDialog(SshSecretKind kind, const std::string& prompt, QWidget* owner = nullptr);
    // What was typed once OK was pressed, else nullopt; the field is emptied.
    std::optional<std::string> takeAnswer();

private:
    QLineEdit* edit_ = nullptr;
};

class DialogSshQuestions final : public SshQuestions {
public:
    explicit DialogSshQuestions(QWidget* owner = nullptr) : owner_(owner) {}

    HostKeyAnswer unknownHostKey(const SshHostKey& key, const std::function<bool()>& cancelled) override;
    std::optional<std::string> askSecret(SshSecretKind kind, const std::string& prompt,
                                         const std::function<bool()>& cancelled) override;

private:
    // Waits for the turn to ask; false when cancelled first.
    bool takeTurn(std::unique_lock<std::timed_mutex>& turn, const std::function<bool()>& cancelled);

    QPointer<QWidget> owner_;
    std::timed_mutex turn_;
};

} // namespace sorvane
