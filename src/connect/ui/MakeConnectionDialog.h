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
// Thread: user-interface thread. The context is borrowed.

#include <memory>

#include <QDialog>

#include "connect/ConnectContext.h"
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

    void reject() override;

signals:
    // An attempt has ended; passed: its device window is open.
    void attemptEnded(bool passed);

private:
    void tick();
    void attemptDone(std::shared_ptr<PendingLink> link);

    ConnectContext& context_;
    const int profileIndex_;
    Profile profile_;
    int attempts_ = 0;
    int slot_ = -1;
    QLabel* progress_ = nullptr;
    QPushButton* cancel_ = nullptr;
    QTimer* timer_ = nullptr;
    BackgroundTask task_{this};
};

// Runs the dialog modally over `parent` for a profile; returns once it has closed.
void RunMakeConnectionDialog(QWidget* parent, ConnectContext& context, int profileIndex);

} // namespace sorvane
