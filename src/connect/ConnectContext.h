#pragma once
// What every connect flow borrows from the program: the link slot numbers,
// the settings and profiles, the password table and prompt, the UI ports for messages
// and beeps, and the way to open a device window once a handshake has passed.
//
// Thread: the user-interface thread. Everything is borrowed; the program owns it.

#include <functional>
#include <memory>

#include "link/Handshake.h"
#include "link/LinkConfig.h"
#include "link/Links.h"
#include "link/PasswordTable.h"
#include "platform/Transport.h"
#include "platform/UiPorts.h"
#include "settings/Settings.h"
#include "view/Relink.h"
#include "view/ViewRecord.h"

namespace sorvane {

class ActiveSyncAdapter;

struct ConnectContext {
    Links& links;
    Settings& settings;
    ProfileTable& profiles;
    PlatformSettings& platform;
    PasswordTable& passwords;
    PasswordPrompt& passwordPrompt;
    TransportFactory& transports;
    MessageBoxPort& messages;
    BeepPort& beep;
    // Makes the connection of a link whose handshake passed, installed as slot number
    // `slot`, and opens its device window (OpenDeviceWindow): the Connection (which
    // takes the link) with its view from the profile and `start`, then the window,
    // which starts it. False when the device's display cannot be shown (the link is
    // then closed). profileIndex -1 (an inbound
    // connection while no profile is defined): the connection takes
    // windowProfile(profiles, settings, -1) (InboundConnections.h), the default settings
    // for new connections. `relinker`: how to dial a link the program dialled again
    // when it drops (the connection takes it); null for the others. Must be set.
    std::function<bool(int profileIndex, int slot, std::unique_ptr<LinkSlot> link, const ViewStart& start,
                       std::shared_ptr<Relinker> relinker)>
        openDeviceWindow;
    // The link settings (ActiveSync candidates, serial device patterns, agent port)
    // from the platform settings.
    LinkConfig linkConfig() const;

    // The synchronisation service's presence test for ActiveSync attempts; nullptr:
    // it counts as not running.
    ActiveSyncAdapter* activeSync = nullptr;
    // Asked about an SSH gateway's unknown host key and for the secrets it wants (a key
    // file's passphrase, the account's password) by the dials of profiles that go
    // through one; from a dial's worker thread. nullptr: nothing is asked (an unknown
    // key then fails the dial). The program keeps one for its whole run.
    SshQuestions* sshQuestions = nullptr;
    // Time between the attempts of the timed connect dialog ("MAKECONNECTION"); the
    // first attempt is made when it has passed once. Tests shorten it.
    int attemptPeriodMs = 7000;
};

// The link settings from the stored platform settings. An empty pattern keeps the
// default; a bad address list fails with error naming the entry (out is unchanged).
bool linkConfigFrom(const PlatformSettings& settings, LinkConfig& out, std::string& error);
// How links through SSH gateways are made, from the platform settings (the timeout
// brought into 1..300 seconds).
SshSettings sshSettingsFrom(const PlatformSettings& settings);

} // namespace sorvane
