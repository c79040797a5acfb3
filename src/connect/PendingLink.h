#pragma once
// A link being connected, kept apart from the program's 33 slots until its handshake
// has passed (InstallLink.h has the step that then makes it one of them).
//
// Every connect flow here (USB probing and connecting, LAN, proxy, inbound) opens and
// hands-shakes on a PendingLink, which may run on a worker thread: it has its own
// link, its own connect target, its own password table (the handshake's record 0)
// and registers its transport with the attempt's CancelToken. Nothing the user-interface
// thread reads is written meanwhile. InstallLink then takes the lowest free program
// slot on the user-interface thread, moves the link into it, builds the pictures and
// opens the device window, all in one step, so two attempts never share a slot.
//
// Threads: a PendingLink is used by one thread at a time (the attempt's), except
// cancel through its token. InstallLink: user-interface thread.

#include <cstdint>
#include <functional>
#include <string>
#include <memory>
#include <optional>

#include "ssh/SshTunnel.h"
#include "connect/CancelToken.h"
#include "connect/ConnectContext.h"
#include "link/Handshake.h"
#include "link/LinkConfig.h"
#include "link/LinkTransport.h"
#include "link/Links.h"
#include "link/PasswordTable.h"
#include "settings/Profile.h"
#include "view/ViewRecord.h"

namespace sorvane {

class PendingLink {
public:
    // clock: the program's clock (pauses of the link rules). cancel: may be null.
    explicit PendingLink(Clock& clock, CancelToken* cancel = nullptr);
    ~PendingLink(); // closes a transport still held
    PendingLink(const PendingLink&) = delete;
    PendingLink& operator=(const PendingLink&) = delete;

    LinkSlot& slot() { return *link_; }
    const LinkSlot& slot() const { return *link_; }
    Clock& clock() { return clock_; }
    // Where a TCP link of this attempt connects to (and the ActiveSync rotation).
    TargetAddress& target() { return target_; }
    PasswordTable& passwords() { return passwords_; }
    // Through an SSH gateway: what the user gave that worked (the relinker's).
    SshCredentials& sshCredentials() { return sshCredentials_; }

    // Link kind, port and address as the profile gives them.
    void describe(const Profile& profile);
    // OpenLinkTransport for the profile (describe() included); false when nothing
    // could be opened.
    bool open(const LinkConfig& config, const Profile& profile, TransportFactory& factory);
    // Takes a transport made elsewhere (a proxy socket, an accepted connection).
    void attach(std::unique_ptr<Transport> transport);
    bool hasTransport() const { return slot().transport != nullptr; }

    // DeviceHandshake on this link. prompt: asked for WAN devices with a password.
    // admit: the admission hook (HandshakeEnv::admit), empty for none.
    HandshakeStatus handshake(PasswordPrompt* prompt, std::function<bool(const std::string&)> admit = {});
    // ConnectLink (socket kinds 0, 3, 4, 5): connect to the target and hand-shake.
    ConnectOutcome connect(PasswordPrompt* prompt);

    // True once a handshake passed (the device has a name).
    bool passed() const { return !slot().isFree(); }
    // Closes the transport and forgets the device name.
    void close();

    // Hands the whole link over (its transport no longer watched by the cancel token);
    // this pending link is empty afterwards.
    std::unique_ptr<LinkSlot> take();
    // Hands the transport over (no longer watched by the cancel token); the link keeps
    // its record.
    std::unique_ptr<Transport> release();

private:
    Clock& clock_;
    std::unique_ptr<LinkSlot> link_;
    TargetAddress target_;
    PasswordTable passwords_;
    SshCredentials sshCredentials_;
    CancelToken* cancel_;
};

// The view settings a profile gives its connections: its scale and low colour mode.
ViewStart viewStartFor(const Profile& profile);

} // namespace sorvane
