#pragma once
// The "MAKECONNECTION" dialog ("Connecting"): timed connect attempts for one profile
// of the kinds IrDA, COM, ActiveSync and WAN (and LAN profiles connected at start-up,
// which go straight to the profile's address).
//
// An ActiveSync profile while the synchronisation service does not run shows
// "ActiveSync is not currently running" (caption "Connect") and the dialog does not
// open; neither does it with all 33 slots live (a message says so). Otherwise the
// dialog shows "Connecting to <name>..." and makes an attempt each time the attempt
// period (7 s) passes, the first when it has passed once. An attempt dials the
// profile (Dialer.h) on a thread of its own, while the dialog stays modal; a password
// the device asks for is asked through the context's prompt. A tick that comes while
// an attempt still runs (a slow handshake, a password being typed) is skipped: one
// attempt at a time. USB and proxy profiles make no attempt: the dialog waits for
// Cancel. When an attempt passes, the link is installed in the lowest free slot and
// its device window opens (InstallLink), and the dialog closes. Successive
// ActiveSync attempts go to the candidates in turn.
//
// No program slot is used before an attempt has passed, so Cancel (also Escape and
// the close box) leaves every slot as it was: a running attempt is cancelled (its
// transport shut down, which ends it at once; its link is closed) and the dialog
// closes.
//
// A WAN profile with an SSH gateway dials through it (ProfileSshRoute), asking
// through the context's SSH questions, and its reconnections go through it too. A
// gateway that cannot be reached now, or that would not open the channel to the
// device, is named under the progress line and the attempts go on. One that refuses
// for good (a changed host key: Stop icon; an unknown key not accepted; the
// authentication refused) says so in a message and the dialog closes; so does it,
// with nothing said, when the user cancelled one of the gateway's questions.
//
// Thread: user-interface thread. The context is borrowed.

#include <memory>

#include <QDialog>

#include "connect/ConnectContext.h"
#include "connect/Dialer.h"
#include "connect/ui/BackgroundTask.h"
#include "settings/Profile.h"

class QLabel;
class QPushButton;
class QTimer;

namespace sorvane {

class PendingLink;

class MakeConnectionDialog final : public QDialog {
    Q_OBJECT
public:
    MakeConnectionDialog(ConnectContext& context, int profileIndex, QWidget* parent = nullptr);
    ~MakeConnectionDialog() override;

    // Checks what refuses the dialog (showing its message) and starts the attempt
    // timer; false when the dialog is not to be shown.
    bool prepare();

    int attemptsStarted() const { return attempts_; }
    bool attemptRunning() const { return task_.running(); }
    // The slot of the connection the dialog made, -1 while there is none.
    int slot() const { return slot_; }
    QString progressText() const;
    // The note under the progress line: why the last attempt failed at the gateway.
    QString gatewayNote() const;

    void reject() override;

signals:
    // An attempt has ended; passed: its device window is open.
    void attemptEnded(bool passed);

private:
    void tick();
    void attemptDone(DialOutcome outcome);
    // A dial through the gateway failed there: a note, or a message and the end.
    void gatewayFailed(const SshReport& report);

    ConnectContext& context_;
    const int profileIndex_;
    Profile profile_;
    std::optional<SshRoute> ssh_; // the profile's gateway, read with the profile
    DialTarget dialled_;          // the attempt in hand's (its relinker's) target
    int attempts_ = 0;
    int slot_ = -1;
    QLabel* progress_ = nullptr;
    QLabel* gatewayNote_ = nullptr; // why the last attempt failed at the gateway
    QPushButton* cancel_ = nullptr;
    QTimer* timer_ = nullptr;
    BackgroundTask task_{this};
};

// Runs the dialog modally over `parent` for a profile; returns once it has closed.
void RunMakeConnectionDialog(QWidget* parent, ConnectContext& context, int profileIndex);

} // namespace sorvane
