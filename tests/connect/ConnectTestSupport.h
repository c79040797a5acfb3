#pragma once
// A program's worth of state for the connect flows, over the system's transports, with
// the shared UI port doubles, a scripted password prompt and a record of the device
// windows opened; and helpers for the simulators the flows talk to. Everything stays
// on loopback.

#include <atomic>
#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "../link/ScriptedTransport.h"
#include "connect/ConnectContext.h"
#include "view/Connection.h"
#include "link/LinkTransport.h"
#include "platform/PosixTransports.h"
#include "support/ScriptedUiPorts.h"
#include "support/SimProcess.h"

namespace sorvane::test {

struct OpenedWindow {
    int profileIndex;
    int slot;
    std::string name;
    int scale;
    int lowColor;
    SlotUse link; // kind, port and address of the link it was given
};

// The program state a connect flow borrows.
struct ConnectProgram {
    SystemClock clock;
    Links links{clock};
    Settings settings = Settings::defaults("/nonexistent/");
    ProfileTable profiles;
    PlatformSettings platform = PlatformSettings::defaults();
    PasswordTable passwords;
    ScriptedPrompt prompt;
    PosixTransportFactory transports;
    ScriptedMessageBox messages;
    CountingBeep beep;
    std::vector<OpenedWindow> windows;
    // The connections the flows made, as the program's device windows would hold them
    // (not started).
    std::vector<std::unique_ptr<Connection>> connections;
    ConnectContext ctx{links, settings, profiles, platform, passwords, prompt, transports, messages, beep,
                       [this](int profileIndex, int slot, std::unique_ptr<LinkSlot> link, const ViewStart& start,
                              std::shared_ptr<Relinker>) {
                           std::string error;
                           Profile p;
                           if (const Profile* given = profiles.get(profileIndex))
                               p = *given;
                           const SlotUse use{link->linkKind, link->port, link->ipAddress};
                           auto c = Connection::Open(links, slot, std::move(link), p, profileIndex, start, error);
                           if (!c)
                               return false;
                           windows.push_back(OpenedWindow{profileIndex, slot, c->deviceName(), start.scale,
                                                          c->screen().lowColor.load(), use});
                           connections.push_back(std::move(c));
                           return true;
                       }};

    ConnectProgram() : ConnectProgram(clock) {}
    // The links and the inbound engine run on linkClock (a test's driven one).
    explicit ConnectProgram(Clock& linkClock) : links(linkClock)
    {
        // Nothing in a test may reach beyond loopback.
        platform.LanBroadcastAddress = "127.0.0.1";
        platform.ActiveSyncAddresses = "127.0.0.1";
    }
    ~ConnectProgram() { connections.clear(); }

    int addProfile(uint32_t kind, const char* name, int scale = 1, int lowColor = 0)
    {
        Profile p;
        p.linkKind = kind;
        p.setName(name);
        p.scale = scale;
        p.lowColor = lowColor;
        p.refreshRate = 10;
        EXPECT_TRUE(profiles.AddProfile(p));
        return profiles.ConnTypes() - 1;
    }
};

// The UDP port a simulator announced for its discovery ("discovery ADDR PORT").
inline std::string discoveryPort(const SimProcess& sim)
{
    const std::string v = sim.fact("discovery").value_or("");
    return v.substr(v.rfind(' ') + 1);
}

// Waits up to `limit` for cond, looking every few milliseconds.
template <class Cond> bool waitUntil(Cond cond, std::chrono::milliseconds limit = std::chrono::seconds(20))
{
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!cond()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

// Reads simulator lines until one starts with prefix; false when none comes in time.
inline bool awaitLine(SimProcess& sim, const std::string& prefix)
{
    while (std::optional<std::string> line = sim.readLine(std::chrono::seconds(20)))
        if (line->rfind(prefix, 0) == 0)
            return true;
    return false;
}

} // namespace sorvane::test
