// ActiveSync control: process matching over a /proc tree of the test's own, the RNDIS
// test over a /sys/class/net tree, Stop against a real process of this user. The
// refusal's text is seen from the main window (view_ui ConnectTest).

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <spawn.h>
#include <sys/wait.h>

#include "connect/ActiveSyncAdapter.h"
#include "connect/ConnectContext.h"
#include "settings/SettingsStore.h"
#include "support/TempDir.h"

using namespace sorvane;
using namespace sorvane::test;
namespace fs = std::filesystem;

extern char** environ;

namespace {

void process(const TempDir& root, int pid, const std::string& comm, const std::string& cmdline)
{
    fs::create_directories(root / std::to_string(pid));
    std::ofstream(root / std::to_string(pid) / "comm") << comm << "\n";
    std::ofstream(root / std::to_string(pid) / "cmdline", std::ios::binary) << cmdline;
}

PlatformSettings settingsWith(const std::string& processes)
{
    PlatformSettings s = PlatformSettings::defaults();
    s.ActiveSyncProcesses = processes;
    return s;
}

} // namespace

TEST(ActiveSync, ProcessMatchingOnAProcTree)
{
    TempDir proc;
    process(proc, 11, "wcesmgr.EXE", std::string("C:\\x\0", 5));
    process(proc, 12, "sh", std::string("/usr/sbin/odccm\0--daemon\0", 25));
    process(proc, 13, "WCESCOMM.EXE", "");
    process(proc, 14, "bash", std::string("bash\0", 5));
    process(proc, 15, "synce-serial-ch", ""); // the kernel cut "synce-serial-chat" to 15
    fs::create_directories(proc / "self");      // not a process number
    auto list = listProcesses(proc.path().string());
    EXPECT_EQ(list.size(), 5u);

    const PlatformSettings s = settingsWith("odccm, synce-serial-chat");
    auto stopNames = activeSyncStopNames(s);
    EXPECT_EQ(stopNames, (std::vector<std::string>{"odccm", "synce-serial-chat", "WCESMgr.exe", "WCESCOMM.EXE"}));
    auto pids = matchingProcesses(list, stopNames);
    std::sort(pids.begin(), pids.end());
    EXPECT_EQ(pids, (std::vector<int>{11, 12, 13, 15}));

    // Stop signals each of them once, and only them.
    std::vector<std::pair<int, int>> signals;
    LinuxActiveSync adapter(s, nullptr, proc.path().string(), "/nonexistent",
                            [&](int pid, int sig) {
                                signals.emplace_back(pid, sig);
                                return 0;
                            });
    adapter.stop();
    std::sort(signals.begin(), signals.end());
    EXPECT_EQ(signals, (std::vector<std::pair<int, int>>{{11, SIGTERM}, {12, SIGTERM}, {13, SIGTERM}, {15, SIGTERM}}));
    EXPECT_TRUE(adapter.isRunning()); // odccm runs

    const PlatformSettings other = settingsWith("vdccm");
    LinuxActiveSync absent(other, nullptr, proc.path().string(), "/nonexistent");
    EXPECT_FALSE(absent.isRunning());
    EXPECT_FALSE(activeSyncRefusal(absent, uint32_t(LinkKind::Wan)).has_value());
}

TEST(ActiveSync, RndisLinkUpMeansPresent)
{
    TempDir net;
    auto iface = [&](const std::string& name, const std::string& driver, const std::string& state) {
        fs::create_directories(net / name / "device");
        fs::create_directories(net / "drivers" / driver);
        fs::create_directory_symlink(net / "drivers" / driver, net / name / "device" / "driver");
        std::ofstream(net / name / "operstate") << state << "\n";
    };
    iface("eth0", "e1000e", "up");
    iface("usb0", "rndis_host", "down");
    TempDir proc;
    const PlatformSettings none = settingsWith("");
    LinuxActiveSync adapter(none, nullptr, proc.path().string(), net.path().string());
    EXPECT_FALSE(adapter.isRunning());
    std::ofstream(net / "usb0" / "operstate") << "up\n";
    EXPECT_TRUE(adapter.isRunning());
}

// A real process of this user called "wcesmgr.EXE" is ended by Stop with SIGTERM.
TEST(ActiveSync, StopEndsARealProcessByItsName)
{
    TempDir dir;
    const fs::path program = dir / "wcesmgr.EXE";
    fs::create_symlink("/bin/sleep", program);
    const std::string path = program.string();
    const char* argv[] = {path.c_str(), "60", nullptr};
    pid_t child = 0;
    ASSERT_EQ(posix_spawn(&child, path.c_str(), nullptr, nullptr, const_cast<char* const*>(argv), environ), 0);
    const PlatformSettings s = settingsWith("sorvane-test-nothing");
    LinuxActiveSync adapter(s, nullptr);
    // The new process shows its name once it has started the program.
    bool named = false;
    for (int i = 0; i < 2000 && !named; ++i) {
        std::ifstream comm("/proc/" + std::to_string(child) + "/comm");
        std::string name;
        std::getline(comm, name);
        named = name == "wcesmgr.EXE";
        if (!named)
            usleep(1000);
    }
    ASSERT_TRUE(named);
    adapter.stop();
    EXPECT_NE(std::find(adapter.lastStopped().begin(), adapter.lastStopped().end(), child),
              adapter.lastStopped().end());
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM);
}

TEST(ActiveSync, StartRunsTheCommandAndRegistrationWritesTheStore)
{
    TempDir dir;
    PlatformSettings s = settingsWith("");
    const fs::path marker = dir / "started";
    s.ActiveSyncStartCommand = "touch '" + marker.string() + "'";
    SettingsStore store(dir / "config");
    LinuxActiveSync adapter(s, &store);
    adapter.start();
    for (int i = 0; i < 5000 && !fs::exists(marker); ++i)
        usleep(1000);
    EXPECT_TRUE(fs::exists(marker));
    s.ActiveSyncStartCommand = "";
    adapter.start(); // nothing to run: nothing happens

    EXPECT_FALSE(store.registeredProxyPort());
    adapter.registerProxyPort();
    EXPECT_EQ(store.registeredProxyPort(), std::optional<uint32_t>(1899));
}

// The ActiveSync candidates and serial device patterns the connect flows dial with.
TEST(LinkConfig, FromTheStoredPlatformSettings)
{
    PlatformSettings stored;
    stored.ActiveSyncAddresses = "127.0.0.2, 127.0.0.3";
    stored.ComDevicePattern = "/dev/ttyACM{n-1}";
    LinkConfig config;
    config.agentPort = 5555;
    const std::string usbDefault = config.usbDevicePattern;
    std::string error;
    ASSERT_TRUE(linkConfigFrom(stored, config, error)) << error;
    EXPECT_EQ(config.activeSyncCandidates, (std::vector<uint32_t>{0x7F000002u, 0x7F000003u}));
    EXPECT_EQ(config.comDevicePattern, "/dev/ttyACM{n-1}");
    EXPECT_EQ(config.usbDevicePattern, usbDefault);
    EXPECT_EQ(config.agentPort, 5555);

    stored.ActiveSyncAddresses = "127.0.0.2,,127.0.0.4";
    stored.ComDevicePattern = "/dev/other{n}";
    EXPECT_FALSE(linkConfigFrom(stored, config, error));
    EXPECT_NE(error.find("entry 2"), std::string::npos) << error;
    EXPECT_EQ(config.comDevicePattern, "/dev/ttyACM{n-1}");
}
