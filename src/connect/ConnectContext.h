#pragma once
// What every connect flow borrows from the program: the link slots and view records,
// the settings and profiles, the password table and prompt, the UI ports for messages
// and beeps, and the way to open a device window once a handshake has passed.
//
// Thread: the user-interface thread. Everything is borrowed; the program owns it.

#include <functional>

#include "link/Handshake.h"
#include "link/LinkConfig.h"
#include "link/Links.h"
#include "link/PasswordTable.h"
#include "platform/Transport.h"
#include "platform/UiPorts.h"
#include "settings/Settings.h"
#include "view/ViewRecord.h"

namespace sorvane {

class ActiveSyncAdapter;

struct ConnectContext {
    Links& links;
    Views& views;
    Settings& settings;
    ProfileTable& profiles;
    PlatformSettings& platform;
    PasswordTable& passwords;
    PasswordPrompt& passwordPrompt;
    TransportFactory& transports;
    MessageBoxPort& messages;
    BeepPort& beep;
    // Opens the device window for a slot whose handshake passed (OpenDeviceWindow):
    // the window, its view record and the connection thread. The flows have set the
    // view's scale and low colour mode already. profileIndex -1 (an inbound connection
    // while no profile is defined): the window takes windowProfile(profiles, settings,
    // -1) (InboundConnections.h), the default settings for new connections. Must be set.
    std::function<void(int profileIndex, int slot)> openDeviceWindow;
    // The link settings (ActiveSync candidates, serial device patterns, agent port)
    // from the platform settings.
    LinkConfig linkConfig() const;

    // The synchronisation service's presence test for ActiveSync attempts; nullptr:
    // it counts as not running.
    ActiveSyncAdapter* activeSync = nullptr;
    // Time between the attempts of the timed connect dialog ("MAKECONNECTION"); the
    // first attempt is made when it has passed once. Tests shorten it.
    int attemptPeriodMs = 7000;
};

} // namespace sorvane
