#pragma once
// One sorvane-cli run's program state: the link slots, the password table, the
// settings the link layer reads, and the one connection the command works on. It
// opens, connects and runs the handshake with the same functions the desktop
// program uses, under an overall time bound: when the bound passes, the link is shut
// down so every wait returns, and the run fails with that reason.

#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "cli/CliOptions.h"
#include "connect/CancelToken.h"
#include "connect/PendingLink.h"
#include "link/Handshake.h"
#include "link/LinkConfig.h"
#include "link/Links.h"
#include "link/PasswordTable.h"
#include "platform/Clock.h"
#include "platform/PosixTransports.h"

namespace sorvane::cli {

// Answers the password question with the --password text, or refuses when it does
// not match (the dialog's comparison: ASCII letters without case).
class GivenPasswordPrompt final : public PasswordPrompt {
public:
    explicit GivenPasswordPrompt(std::string password) : password_(std::move(password)) {}
    int askPassword(const PasswordTable& table, size_t record) override;
    bool refused() const { return refused_; }

private:
    std::string password_;
    bool refused_ = false;
};

class CliSession {
public:
    explicit CliSession(const CliOptions& options);
    ~CliSession();

    // Opens the link and runs the handshake; on failure returns false and sets
    // error to a one-line reason.
    bool connect(std::string& error);

    const CliOptions& options() const { return options_; }
    Links& links() { return links_; }
    int slotIndex() const { return slot_; }
    LinkSlot& slot() { return *links_.find(slot_); }
    Clock& clock() { return clock_; }
    // True once the overall time bound has passed.
    bool timedOut();

private:
    bool connectDirect(std::string& error);
    bool connectLan(std::string& error);
    bool connectProxy(std::string& error);
    bool connectInbound(std::string& error);
    // Makes a passed pending link the session's connection.
    void adopt(PendingLink& link);
    std::string withinBound() const;

    void startWatchdog();
    void stopWatchdog();
    void release();

    const CliOptions& options_;
    SystemClock clock_;
    Links links_{clock_};
    PasswordTable passwords_;
    LinkConfig config_;
    PosixTransportFactory factory_;
    int slot_ = 0;
    bool open_ = false;
    CancelToken cancel_; // cancelled when the time bound passes

    std::mutex mutex_;
    std::condition_variable wake_;
    bool stop_ = false;
    bool fired_ = false;
    std::thread watchdog_;
};

} // namespace sorvane::cli
