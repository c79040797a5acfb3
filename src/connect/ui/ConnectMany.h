#pragma once
// Connect on several profiles at once, and "Connect All" (every profile marked to
// connect at start, proxy profiles included): the "CONNECTMANY" dialog ("Connect").
//
// Every profile gets an attempt of its own on a worker (BackgroundTask), all at once,
// without its dialog: it connects to the device it remembers (RememberedDial.h: a WAN
// profile's address, a USB profile's port, the LAN device's discovery name, the proxy
// row's name). A device that asks for a password is asked through the program's prompt,
// one question after another (TurnTakingPrompt); its row says so meanwhile. WAN and
// proxy profiles with an SSH gateway go through it (ProfileSshRoute); its questions
// (host key, passphrase, password) take their turn with the passwords, and a failure
// at the gateway is listed in the gateway's words. Each passed
// attempt opens its device window (InstallLink) as soon as it passes, whatever the
// others do. A profile already in use (ProfileInUse), or using the same link as one
// before it in the list, makes no attempt: the first is "Already connected", the second
// fails with the single-instance text. An ActiveSync profile while the synchronisation
// service does not run fails with its text.
//
// When every attempt has ended, the profiles whose remembered device was not there (or
// who remember none) run their own dialog (USBCONNECT, LANCONNECT, PROXYCONNECT), one
// after the other. Then, when anything failed, the dialog lists the failures once,
// profile name and reason (escaped), with a Close button; otherwise it closes. No
// message box is shown for a failure. A connected LAN profile remembers the address
// and name of its device; a proxy profile the row's name.
//
// Cancel (also Escape and the close box) while attempts run cancels every one in hand
// (transports shut, a password question withdrawn) and closes the dialog; what has
// connected stays connected.
//
// Thread: user-interface thread; modal. The context is borrowed.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QDialog>

#include "connect/ConnectContext.h"
#include "connect/RememberedDial.h"
#include "connect/ui/BackgroundTask.h"
#include "settings/Profile.h"

class QLabel;
class QPushButton;
class QTreeWidget;

namespace sorvane {

struct ConnectManyOptions {
    // Runs the dialog of a profile whose remembered device is not there; empty: the
    // Connect command's (ConnectProfile). Tests hand in their own.
    std::function<void(QWidget* owner, ConnectContext& ctx, int profileIndex)> fallback;
    LanSearchTiming lanTiming;
};

struct ConnectFailure {
    std::string profile; // the profile's name, escaped
    std::string reason;
};

class ConnectManyDialog final : public QDialog {
    Q_OBJECT
public:
    ConnectManyDialog(ConnectContext& ctx, std::vector<int> profileIndexes, ConnectManyOptions options = {},
                      QWidget* parent = nullptr);
    ~ConnectManyDialog() override;

    // Starts every attempt. Call once, before or after the dialog is shown.
    void start();
    // Attempts still running.
    int attemptsRunning() const;
    // True once the failures are listed (the dialog stays open until Close).
    bool showingFailures() const { return showingFailures_; }
    const std::vector<ConnectFailure>& failures() const { return failures_; }
    QTreeWidget& list() { return *list_; }

    void reject() override;

signals:
    // Every attempt and every dialog after them has ended.
    void ended();

private:
    enum class State { Connecting, Asking, AskingGateway, Connected, AlreadyConnected, NotThere, Failed };
    class RowPrompt;
    class RowQuestions;
    struct Row;

    void setState(size_t row, State state, const std::string& reason = {});
    void attemptDone(size_t row, RememberedResult result);
    void afterAttempts();
    void showFailures();
    void fail(size_t row, const std::string& reason);

    ConnectContext& ctx_;
    ConnectManyOptions options_;
    TurnTakingPrompt turns_;
    std::vector<std::unique_ptr<Row>> rows_; // their workers end before turns_ goes
    std::vector<ConnectFailure> failures_; // in row order
    std::vector<size_t> failedRows_;       // their rows
    QLabel* heading_ = nullptr;
    QTreeWidget* list_ = nullptr;
    QPushButton* button_ = nullptr;
    bool started_ = false;
    bool afterAttemptsDone_ = false;
    bool cancelled_ = false;
    bool showingFailures_ = false;
};

// Runs the dialog modally over owner for the profiles given; returns once it has closed.
// No profile given: a beep, no dialog.
void RunConnectMany(QWidget* owner, ConnectContext& ctx, const std::vector<int>& profileIndexes,
                    ConnectManyOptions options = {});

// The Connect command on the profiles selected: one runs its dialog (ConnectProfile),
// several connect at once (RunConnectMany).
void ConnectProfiles(QWidget* owner, ConnectContext& ctx, const std::vector<int>& profileIndexes);

// The profiles "Connect All" connects: every one marked to connect at start, proxy
// profiles included, in table order.
std::vector<int> AutoConnectIndexes(const ProfileTable& profiles);

} // namespace sorvane
