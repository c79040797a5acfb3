#pragma once
// Connecting a profile without its dialog, to the device it remembers: what Connect on
// several profiles and Connect All do for each profile, each on a worker of its own.
//
//   IrDA, serial, ActiveSync, WAN  one dial of the profile (a WAN device's password
//                                  question goes to the prompt given)
//   USB    the port the profile remembers (1..32); nothing answering there: NotThere
//   LAN    discovery at the platform's broadcast address and port until the device
//          whose discovery name the profile remembers answers (a few quiet ticks end
//          the search); its password, when it has one, asked through the prompt; then
//          a dial to the address it answered from. No name remembered, or the device
//          does not answer: NotThere
//   proxy  the proxy's table and the row listing the remembered name; no name
//          remembered, or no such row: NotThere
//
// A WAN or proxy request with an SSH route dials through its gateway, which may ask
// its questions; a failure there is Failed with the gateway's reason.
//
// NotThere says the profile's own dialog is the way to connect it now. Failed comes
// with a reason for the user, escaped where it carries a device's text.
//
// Threads: DialRemembered blocks and runs on an attempt's worker; cancel through the
// token. TurnTakingPrompt may be asked from any number of threads at once.

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "connect/CancelToken.h"
#include "connect/Dialer.h"
#include "connect/LanDiscovery.h"
#include "link/Handshake.h"
#include "settings/Profile.h"

namespace sorvane {

struct LanSearchTiming {
    uint32_t replyWaitMs = kLanReplyWaitMs; // how long each request waits for replies
    int quietTicks = 2;                     // requests in a row that bring no new device end the search
};

struct RememberedRequest {
    Profile profile;
    std::string remembered;  // LAN: the discovery name; proxy: the row's name
    std::string lanBroadcast; // LAN discovery: where the requests go
    int lanPort = 0;
    LanSearchTiming lanTiming;
    unsigned activeSyncNext = 0; // ActiveSync: the candidate whose turn it is
    std::optional<SshRoute> ssh;  // WAN, proxy: through this gateway (ProfileSshRoute)
};

enum class RememberedStatus { Passed, NotThere, Failed };

struct RememberedResult {
    RememberedStatus status = RememberedStatus::Failed;
    std::string reason;                // Failed: why, for the user
    DialTarget target;                 // as dialled (the relinker's, the profile's new address)
    std::shared_ptr<PendingLink> link; // Passed: ready to install
    std::string device;                // LAN, proxy: the name to remember
};

// One attempt for the request's profile. prompt: asked for passwords (null: none given).
RememberedResult DialRemembered(const Dialer& dialer, const RememberedRequest& request, CancelToken& cancel,
                                PasswordPrompt* prompt);

// Why a dial of target that did not pass failed, in a line for the user; a failure at
// its SSH gateway in the gateway's words (knownHostsFile: as the settings name it).
std::string DialFailureReason(const DialOutcome& outcome, const DialTarget& target,
                              const std::string& knownHostsFile);

// Hands a prompt's questions out one at a time: attempts running in parallel wait their
// turn, so the user is asked for one password after another; an attempt cancelled while
// it waits stops waiting at once and gets 2.
class TurnTakingPrompt final : public PasswordPrompt {
public:
    explicit TurnTakingPrompt(PasswordPrompt& inner) : inner_(inner) {}

    int askPassword(const PasswordTable& table, size_t record) override;
    int askPassword(const PasswordTable& table, size_t record, const std::function<bool()>& cancelled) override;
    // The same; onTurn (may be empty) is called on the asking thread once its turn has
    // come, just before the question.
    int ask(const PasswordTable& table, size_t record, const std::function<bool()>& cancelled,
            const std::function<void()>& onTurn);
    // Any other question in the same turns (an SSH gateway's): once the turn has come,
    // onTurn (may be empty) then question, both on the asking thread. False, neither
    // called, when cancelled first.
    bool inTurn(const std::function<bool()>& cancelled, const std::function<void()>& onTurn,
                const std::function<void()>& question);

private:
    PasswordPrompt& inner_;
    std::timed_mutex turn_;
};

} // namespace sorvane
