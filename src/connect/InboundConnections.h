#pragma once
// Accepting the connections that device agents open towards the PC, under the user's
// control.
//
// Anything may connect to the inbound port. So:
//  - Every pending connection is accepted at once and gets its own handshake on a
//    worker thread, as a WAN link (kind 4), in a PendingLink: it holds no program
//    slot until it has passed. A slow or silent peer holds up nobody else.
//  - The exchange with the device has an overall deadline (InboundHandshakeSeconds,
//    10 s by default) whatever its byte rate; time spent waiting for the user's
//    answer to a question shown for it does not count, time waiting in line for the
//    question does.
//  - Once the device's information block has arrived (its name is known), a device
//    from an address not allowed yet waits for the user: one question naming the
//    device and its address, "Allow once", "Always allow" or "Refuse". Only after
//    that comes a password question, if the device has a password. Refused devices
//    are closed at once. At most one question is shown at a time; the others wait in
//    line within their deadline.
//  - Allowed addresses: PlatformSettings::InboundAllowed ("Always allow" adds to it),
//    and 127.0.0.0/8 while InboundTrustLoopback is on.
//  - At most kMaxInboundInFlight handshakes run at once, and at most
//    kMaxInboundPerAddress of them from one address, so that one peer reopening silent
//    connections cannot fill the room. When the room is full, a connection from an
//    allowed address takes the place of a stranger's handshake (one not yet named
//    first, the oldest first; never one whose question is on the screen), which is
//    cancelled; other connections beyond the limits are closed when accepted.
//  - "Refuse" holds for the address until the program ends: its later connections are
//    closed when accepted, and its devices waiting in line are refused with it, so
//    the user is asked once. Allowing the address in the settings lifts it.
//
// Threads: InboundHandshakes and InboundAcceptor are driven from one thread (the
// user-interface thread, or sorvane-cli's main thread): acceptAll, takeEnded,
// nextQuestion, answer, the destructors. The workers never call into that thread;
// they wait on the engine's own condition variable for answers, so the destructor,
// which wakes and cancels them all, can join them at once. The wake callback is
// called from workers and must only post.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "connect/ConnectContext.h"
#include "connect/InboundListener.h"
#include "connect/PendingLink.h"

namespace sorvane {

inline constexpr size_t kMaxInboundInFlight = 64;
inline constexpr size_t kMaxInboundPerAddress = 4;

// Makes an accepted connection the transport of link: non-blocking, link kind 4, the
// peer's address (network byte order, as accepted) in ipAddress. False when the socket
// cannot be switched to non-blocking (it is closed then).
bool AdoptInbound(PendingLink& link, AcceptedSocket socket);

// The settings a device window of profile index uses: that profile, or with -1 (no
// profile defined) a profile of the default settings for new connections.
Profile windowProfile(const ProfileTable& profiles, const Settings& settings, int profileIndex);

// Who may connect without being asked, and how long a handshake may take.
struct InboundPolicy {
    std::vector<uint32_t> allowed; // host order
    bool trustLoopback = true;
    bool allowEveryone = false; // sorvane-cli: the user asked for whoever connects
    std::chrono::milliseconds handshakeTime{10000};

    bool allows(uint32_t address) const;
};

// The policy the platform settings give (a bad entry of the allowed list is skipped).
InboundPolicy inboundPolicyFrom(const PlatformSettings& platform);
// The listener's bind address from InboundListenAddress (host order); 0 (every
// interface) when it is empty or not an IPv4 address.
uint32_t inboundListenAddressFrom(const PlatformSettings& platform);
// Adds an address to InboundAllowed (once).
void addInboundAllowed(PlatformSettings& platform, uint32_t address);

struct InboundPeer {
    uint32_t address = 0; // host order
    uint16_t port = 0;
    std::string text() const; // "a.b.c.d:port"
};

enum class InboundEnd {
    Passed,    // the link is ready to install
    Failed,    // the handshake failed (see `handshake`), or the peer went away
    TimedOut,  // the deadline passed
    Refused,   // the user refused the device
    Cancelled, // the engine was stopped
};

struct InboundResult {
    InboundPeer peer;
    std::string deviceName; // empty when the information block never came
    InboundEnd end = InboundEnd::Failed;
    HandshakeStatus handshake = HandshakeStatus::NoLink;
    // Passed only: the link ready to install (it keeps what it borrows from its
    // attempt alive).
    std::shared_ptr<PendingLink> link;
};

// A one-line reason for a result that did not pass.
std::string inboundEndText(const InboundResult& result);

struct InboundQuestion {
    enum class Kind { Admission, Password };
    Kind kind = Kind::Admission;
    uint64_t id = 0;
    InboundPeer peer;
    std::string deviceName;
    // Password: the table whose record 0 holds the device's password. Valid until
    // the question is answered.
    const PasswordTable* passwords = nullptr;
};

enum class InboundAnswer { AllowOnce, AlwaysAllow, Refuse };

// Asks the user about a device from an address not allowed yet. Called on the
// thread that drives the acceptor; may run a modal dialog.
class InboundAdmissionPrompt {
public:
    virtual ~InboundAdmissionPrompt() = default;
    virtual InboundAnswer askAdmission(const std::string& deviceName, const std::string& address) = 0;
};

class InboundHandshakes {
public:
    // clock: the program's clock. The link rules' pauses run on it, and the deadline,
    // the time in line and the time a question is shown are counted on its ticks.
    InboundHandshakes(Clock& clock, InboundListener& listener, InboundPolicy policy = {});
    // Ends every handshake in flight: their links are shut down, their waits woken,
    // their threads joined (none of them waits for the calling thread).
    ~InboundHandshakes();
    InboundHandshakes(const InboundHandshakes&) = delete;
    InboundHandshakes& operator=(const InboundHandshakes&) = delete;

    void setWake(std::function<void()> wake);
    void setPolicy(InboundPolicy policy);

    // Accepts every pending connection and starts its handshake. Returns at once.
    void acceptAll();
    // The attempts that have ended since the last call, in the order they ended.
    std::vector<InboundResult> takeEnded();
    // The next question a device waits for, unless one is being answered now: it
    // counts as shown from here until answer() (its deadline pauses).
    std::optional<InboundQuestion> nextQuestion();
    // Admission: 1 let it through, 0 refuse (remembered for the address). Password:
    // the prompt's result (1 = right).
    void answer(uint64_t id, int value);
    // Lets every device from this address through, those waiting in line included.
    void allowAddress(uint32_t address);

    size_t inFlight() const;

private:
    struct Attempt;
    class Bridge;
    void run(Attempt& a);
    bool admit(Attempt& a, const std::string& name);
    int ask(Attempt& a, InboundQuestion::Kind kind);
    void wake();
    bool refused(uint32_t address) const;
    std::shared_ptr<Attempt> roomFor(uint32_t address, bool& room);

    Clock& clock_;
    InboundListener& listener_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    InboundPolicy policy_;
    std::function<void()> wake_;
    bool stopping_ = false;
    uint64_t nextId_ = 1;
    std::vector<std::shared_ptr<Attempt>> attempts_;
    std::vector<uint32_t> refused_; // addresses the user refused (host order)
};

// The program's inbound connections: the engine above, with passed links installed
// as device windows and questions put to the user.
class InboundAcceptor {
public:
    InboundAcceptor(ConnectContext& ctx, InboundListener& listener, InboundAdmissionPrompt& admission);
    InboundAcceptor(const InboundAcceptor&) = delete;
    InboundAcceptor& operator=(const InboundAcceptor&) = delete;

    // Called from a worker when poll() has something to do; should post poll() to the
    // user-interface thread. May be empty (the next timer tick does it then).
    void setWake(std::function<void()> wake) { handshakes_.setWake(std::move(wake)); }
    // Called on the poll's thread when "Always allow" has added an address to the
    // settings: the caller saves them at once, so the answer outlives a crash.
    void setRemembered(std::function<void()> remembered) { remembered_ = std::move(remembered); }

    // Accepts every pending connection (unless accept is false: AcceptInbound is off,
    // they wait in the system's queue), installs the devices that passed (lowest
    // free slot, the peer's address in ipAddress, scale 1, no low colour, a device
    // window with the settings of profile 0 or, with no profile, windowProfile(-1)),
    // and asks the questions devices wait for, one at a time. Re-entrant: a poll from
    // the event loop of a question's dialog does everything but ask.
    void poll(bool accept = true);

    // Slots installed since start, for the caller that wants them.
    const std::vector<int>& installed() const { return installed_; }
    size_t inFlight() const { return handshakes_.inFlight(); }

private:
    ConnectContext& ctx_;
    InboundAdmissionPrompt& admission_;
    InboundHandshakes handshakes_;
    bool asking_ = false;
    std::vector<int> installed_;
    std::function<void()> remembered_;
};

// The timer's entry point: acceptor.poll().
inline void PollInbound(InboundAcceptor& acceptor) { acceptor.poll(); }

} // namespace sorvane
