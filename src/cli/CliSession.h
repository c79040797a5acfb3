#pragma once
// One sorvane-cli run's program state: a Program from built-in settings (it never
// reads or writes the user's settings file) with its slot numbers and password table,
// the settings the link layer reads, and the one device the command works on, opened
// through the Program's device table once its handshake passed. It dials through the
// desktop program's Dialer (after its own LAN discovery or proxy table step, as the
// connect dialogs do theirs).
//
// --timeout bounds two things: connecting (discovery, connect, handshake) as a whole,
// and afterwards every single wait for the device, measured as a silence: a receive
// through channel() that has seen no byte for that long. A command may run as long as
// it needs while the device keeps answering. When a bound passes, the link is shut
// down so every wait returns, timedOut() turns true and the run fails with that reason
// (timeoutReason()).
//
// Threads: the command runs on the main thread; a watchdog thread owns the bound.

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "cli/CliOptions.h"
#include "cli/PollPace.h"
#include "connect/CancelToken.h"
#include "connect/Dialer.h"
#include "connect/PendingLink.h"
#include "screen/ScreenState.h"
#include "link/Handshake.h"
#include "link/LinkConfig.h"
#include "link/LinkChannel.h"
#include "link/Links.h"
#include "link/PasswordTable.h"
#include "platform/Clock.h"
#include "platform/PosixTransports.h"
#include "program/Program.h"

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

// The screen sink of the commands that poll: it only notes that the device closed
// the link.
struct LinkDropSink final : ScreenSink {
    bool dropped = false;
    void pictureChanged(int, int, int, int) override {}
    void picturesRebuilt() override {}
    void linkDropped() override { dropped = true; }
};

class CliSession {
public:
    explicit CliSession(const CliOptions& options);
    ~CliSession();

    // Opens the link and runs the handshake; on failure returns false and sets
    // error to a one-line reason. On success the time bound turns into the silence
    // bound of the command's waits.
    bool connect(std::string& error);

    // The connection as the command's exchanges see it; its receives are the waits
    // the silence bound watches. Valid after connect() succeeded.
    LinkChannel& channel() { return *channel_; }

    const CliOptions& options() const { return options_; }
    Program& program() { return program_; }
    Links& links() { return links_; }
    int slotIndex() const { return slot_; }
    LinkSlot& slot() { return *link_; }
    Clock& clock() { return clock_; }
    // The pictures of the session's device, refreshed at --refresh; nullptr when its
    // display cannot be shown.
    std::unique_ptr<ScreenState> screenState();
    // On several devices at once: the device's label (program/FleetNames), which every
    // file the command writes carries; empty on one device.
    void setLabel(std::string label) { label_ = std::move(label); }
    const std::string& label() const { return label_; }
    // A file the command writes: path as given on one device, with the label put before
    // its extension on several (LabelledFileName).
    std::string outputPath(const std::string& path) const;
    // True once a time bound has passed (the link is shut down then).
    bool timedOut();
    // "no answer from the device for N s (--timeout)".
    std::string timeoutReason() const;
    // Why a poll found the link gone: the time bound; a read that ended in silence
    // while the link stayed open (a serial line gives up after a second), "no answer
    // from the device for N s"; else the device closing the link.
    std::string lostReason();

    // Bookkeeping of the silence bound (WatchedTransport, WaitScope).
    struct Silence {
        std::atomic<int64_t> lastByteMs{0};   // steady time of the last byte received
        std::atomic<int64_t> waitStartMs{0};  // steady time the current wait began
        std::atomic<int> waiting{0};          // receives in progress through channel()
        std::atomic<bool> quiet{false};       // the last receive ended for want of bytes
    };

private:
    // A device to dial as the options name it, and what a reason calls it.
    struct Dial {
        DialTarget target;
        std::string label;      // "HOST:PORT", "NAME at ADDRESS:PORT", the serial line, the proxy's row
        std::string proxy;      // the proxy server's "HOST:PORT"; empty for the other kinds
        std::string connection; // the proxy row's connection ("Available" or its client)
        bool password = false;  // the handshake's question is answered with --password
    };
    // --ssh: the target goes through the gateway (asking on the terminal, if any).
    void routeThroughGateway(Dial& dial);
    // Why a link through the gateway failed; empty when it was not the gateway.
    std::string gatewayFailure(const SshReport& report);
    bool directTarget(Dial& dial, std::string& error);
    bool lanTarget(Dial& dial, std::string& error);
    bool proxyTarget(Dial& dial, std::string& error);
    // Dials through the program's Dialer and adopts the link that passed.
    bool dial(const Dial& dial, std::string& error);
    bool connectInbound(std::string& error);
    bool connectAny(std::string& error);
    // Makes a passed pending link the session's connection.
    void adopt(PendingLink& link);
    std::string withinBound() const;

    void startWatchdog();
    void stopWatchdog();
    void release();

    const CliOptions& options_;
    std::string label_;
    Program program_{ProgramSetup{}};
    Clock& clock_ = program_.clock();
    Links& links_ = program_.links();
    PasswordTable& passwords_ = program_.passwords();
    LinkConfig config_;
    std::unique_ptr<SshQuestions> sshQuestions_; // the terminal, when --ssh may ask
    PosixTransportFactory factory_;
    int slot_ = 0; // the device's number (written under mutex_)
    std::unique_ptr<LinkSlot> link_ = std::make_unique<LinkSlot>(); // replaced under mutex_ (the watchdog reads it)
    bool open_ = false;
    Silence silence_;
    std::unique_ptr<LinkChannel> channel_;
    CancelToken cancel_; // cancelled when the time bound passes

    std::mutex mutex_;
    std::condition_variable wake_;
    bool stop_ = false;
    bool fired_ = false;
    bool watchSilence_ = false; // false: the connect bound runs
    std::thread watchdog_;
};

} // namespace sorvane::cli
