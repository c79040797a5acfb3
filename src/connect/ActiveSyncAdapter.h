#pragma once
// Control of the desktop's device synchronisation service ("ActiveSync"): whether it
// runs, starting and stopping it, and registering the agent port with it.
//
// On this platform the service is whatever connection manager the user runs for
// handhelds (its process names are a setting), or the kernel's RNDIS network driver,
// which puts a device on USB at one of the ActiveSync link's addresses:
//  - presence: a process of one of PlatformSettings::ActiveSyncProcesses runs (the
//    names compared ignoring case with /proc/<pid>/comm and with the base name of the
//    first word of /proc/<pid>/cmdline), or a network interface of the rndis_host
//    driver is up;
//  - start: PlatformSettings::ActiveSyncStartCommand through /bin/sh, not waited for;
//    nothing when it is empty;
//  - stop: SIGTERM to every process of this user whose name is one of the configured
//    names or "WCESMgr.exe" or "WCESCOMM.EXE" (ignoring case);
//  - port registration: "Halvard" = 1899 under the ProxyPorts key of the settings store.
// None of them shows a message; the connect flow words "ActiveSync is not currently
// running".
//
// Threads: user-interface thread. start() and stop() return at once.

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/UiPorts.h"
#include "settings/Settings.h"

namespace sorvane {

class SettingsStore;

class ActiveSyncAdapter {
public:
    virtual ~ActiveSyncAdapter() = default;
    virtual bool isRunning() = 0;  // IsActiveSyncRunning
    virtual void start() = 0;      // StartActiveSync (command 40074)
    virtual void stop() = 0;       // StopActiveSync (command 40073)
    virtual void registerProxyPort() = 0; // RegisterProxyPort, once at start-up
};

// The names that Stop ends: the configured ones and the service's own two.
std::vector<std::string> activeSyncStopNames(const PlatformSettings& settings);
// A process called `process` (a comm name or a path) matches one of names, ignoring
// the case of ASCII letters. The kernel cuts comm names to 15 characters, so a comm of
// 15 characters also matches a longer name that starts with it.
bool processNameMatches(std::string_view process, const std::vector<std::string>& names, bool isComm);

struct ProcessEntry {
    int pid = 0;
    std::string comm;    // /proc/<pid>/comm without the newline
    std::string command; // base name of the first word of /proc/<pid>/cmdline
};
// The processes listed under procRoot ("/proc" on the system).
std::vector<ProcessEntry> listProcesses(const std::string& procRoot);
// The pids of the processes matching names.
std::vector<int> matchingProcesses(const std::vector<ProcessEntry>& processes, const std::vector<std::string>& names);
// True when an interface under netRoot ("/sys/class/net") of the rndis_host driver is up.
bool rndisLinkUp(const std::string& netRoot);

// The message the connect flow shows for an ActiveSync profile while the service is
// not running ("ActiveSync is not currently running", caption "Connect", stop icon);
// nullopt for other kinds or when it runs.
std::optional<MessageRequest> activeSyncRefusal(ActiveSyncAdapter& adapter, uint32_t linkKind);

class LinuxActiveSync final : public ActiveSyncAdapter {
public:
    // settings and store are borrowed (store may be null: no registration). The roots
    // are the system's unless a test points them at a tree of its own.
    // sendSignal (pid, signal) -> 0 on success; empty: the system's kill().
    LinuxActiveSync(const PlatformSettings& settings, SettingsStore* store, std::string procRoot = "/proc",
                    std::string netRoot = "/sys/class/net", std::function<int(int, int)> sendSignal = {});

    bool isRunning() override;
    void start() override;
    void stop() override;
    void registerProxyPort() override;

    // What stop() did last: the pids it signalled.
    const std::vector<int>& lastStopped() const { return lastStopped_; }

private:
    const PlatformSettings& settings_;
    SettingsStore* store_;
    std::string procRoot_;
    std::string netRoot_;
    std::function<int(int, int)> sendSignal_;
    std::vector<int> lastStopped_;
};

// A stand-in for tests: a list of running process names and a presence flag.
class ScriptedActiveSync final : public ActiveSyncAdapter {
public:
    explicit ScriptedActiveSync(const PlatformSettings& settings) : settings_(settings) {}

    bool present = false;              // presence apart from the process list (an RNDIS link)
    std::vector<std::string> running;  // process names, as comm names
    int starts = 0;
    int registrations = 0;
    std::vector<std::string> ended;    // what stop() ended, in order

    bool isRunning() override;
    void start() override;
    void stop() override;
    void registerProxyPort() override { ++registrations; }

private:
    const PlatformSettings& settings_;
};

} // namespace sorvane
