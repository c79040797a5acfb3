#pragma once
// The "MAKECONNECTION" dialog ("Connecting"): timed connect attempts for one profile
// of the kinds IrDA, COM, ActiveSync and WAN (and LAN or USB profiles connected at
// start-up).
//
// Opening takes the lowest free link slot and prepares it from the profile (link
// kind, port and address into the link slot, scale and low colour into the view
// record). An ActiveSync profile while the synchronisation service does not run shows
// "ActiveSync is not currently running" (caption "Connect") and the dialog does not
// open; so does a program with all 33 slots live, with its own message. Otherwise the
// dialog shows "Connecting to <name>..." and makes an attempt each time the attempt
// period (7 s) passes, the first when it has passed once. An attempt runs on a thread
// of its own (ConnectAttempt) while the dialog stays modal; a tick that comes while
// one still runs (a slow handshake, a password being asked) is skipped, so the slot is
// never used by two attempts. USB and proxy profiles make no attempt: the dialog waits
// for Cancel. When an attempt passes, the device window opens
// (ConnectContext::openDeviceWindow) and the dialog closes.
//
// Cancel (also Escape and the close box) stops the attempts: a running attempt is
// cancelled at once (its transport shut down) and the dialog closes as soon as it has
// ended, leaving the slot free.
//
// Thread: user-interface thread. The context is borrowed.

#include <QDialog>

#include "connect/ConnectAttempt.h"
#include "connect/ConnectContext.h"
#include "settings/Profile.h"

class QLabel;
class QPushButton;
class QTimer;

namespace sorvane {

class MakeConnectionDialog final : public QDialog {
    Q_OBJECT
public:
    MakeConnectionDialog(ConnectContext& context, int profileIndex, QWidget* parent = nullptr);
    ~MakeConnectionDialog() override;

    // Takes and prepares the slot and starts the attempt timer; shows the refusing
    // message and returns false when the dialog is not to be shown.
    bool prepare();

    int slot() const { return slot_; }
    int attemptsStarted() const { return attempts_; }
    bool attemptRunning() const { return attempt_.running(); }
    QString progressText() const;

    void reject() override;

signals:
    // An attempt has ended (whatever its outcome); for tests and progress.
    void attemptEnded(AttemptOutcome outcome);

private:
    void tick();
    void attemptFinished();

    ConnectContext& context_;
    const int profileIndex_;
    Profile profile_;
    int slot_ = -1;
    int attempts_ = 0;
    bool cancelled_ = false;
    ConnectAttempt attempt_;
    QLabel* progress_ = nullptr;
    QPushButton* cancel_ = nullptr;
    QTimer* timer_ = nullptr;
};

// Runs the dialog modally over `parent` for a profile; returns once it has closed.
void RunMakeConnectionDialog(QWidget* parent, ConnectContext& context, int profileIndex);

} // namespace sorvane
