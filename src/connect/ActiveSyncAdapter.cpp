#include "connect/ActiveSyncAdapter.h"

#include <cerrno>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "settings/Profile.h"
#include "settings/SettingsStore.h"

extern char** environ;

namespace sorvane {
namespace {

namespace fs = std::filesystem;

constexpr size_t kCommLength = 15; // the kernel keeps this much of a process name

char lower(char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; }

bool equalNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (lower(a[i]) != lower(b[i]))
            return false;
    return true;
}

std::string baseName(std::string_view path)
{
    size_t slash = path.find_last_of('/');
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string readFile(const fs::path& path, size_t limit = 4096)
{
    std::ifstream in(path, std::ios::binary);
    std::string s;
    if (!in)
        return s;
    s.resize(limit);
    in.read(s.data(), std::streamsize(limit));
    s.resize(size_t(in.gcount()));
    return s;
}

std::vector<std::string> presenceNames(const PlatformSettings& settings)
{
    return splitList(settings.ActiveSyncProcesses);
}

} // namespace

std::vector<std::string> activeSyncStopNames(const PlatformSettings& settings)
{
    std::vector<std::string> names = splitList(settings.ActiveSyncProcesses);
    for (const char* own : {"WCESMgr.exe", "WCESCOMM.EXE"}) {
        bool listed = false;
        for (const std::string& n : names)
            listed = listed || equalNoCase(n, own);
        if (!listed)
            names.emplace_back(own);
    }
    return names;
}

bool processNameMatches(std::string_view process, const std::vector<std::string>& names, bool isComm)
{
    if (process.empty())
        return false;
    for (const std::string& name : names) {
        if (equalNoCase(process, name))
            return true;
        if (isComm && process.size() == kCommLength && name.size() > kCommLength &&
            equalNoCase(process, std::string_view(name).substr(0, kCommLength)))
            return true;
    }
    return false;
}

std::vector<ProcessEntry> listProcesses(const std::string& procRoot)
{
    std::vector<ProcessEntry> list;
    std::error_code ec;
    for (const fs::directory_entry& e : fs::directory_iterator(procRoot, ec)) {
        const std::string name = e.path().filename().string();
        if (name.empty() || name.find_first_not_of("0123456789") != std::string::npos)
            continue;
        ProcessEntry p;
        p.pid = std::atoi(name.c_str());
        p.comm = readFile(e.path() / "comm", 256);
        while (!p.comm.empty() && (p.comm.back() == '\n' || p.comm.back() == '\0'))
            p.comm.pop_back();
        std::string cmdline = readFile(e.path() / "cmdline");
        p.command = baseName(std::string_view(cmdline.c_str())); // the first word ends at its NUL
        list.push_back(std::move(p));
    }
    return list;
}

std::vector<int> matchingProcesses(const std::vector<ProcessEntry>& processes, const std::vector<std::string>& names)
{
    std::vector<int> pids;
    for (const ProcessEntry& p : processes)
        if (processNameMatches(p.comm, names, true) || processNameMatches(p.command, names, false))
            pids.push_back(p.pid);
    return pids;
}

bool rndisLinkUp(const std::string& netRoot)
{
    std::error_code ec;
    for (const fs::directory_entry& e : fs::directory_iterator(netRoot, ec)) {
        std::error_code linkError;
        fs::path driver = fs::read_symlink(e.path() / "device" / "driver", linkError);
        if (linkError || driver.filename() != "rndis_host")
            continue;
        std::string state = readFile(e.path() / "operstate", 64);
        if (state.rfind("up", 0) == 0)
            return true;
    }
    return false;
}

std::optional<MessageRequest> activeSyncRefusal(ActiveSyncAdapter& adapter, uint32_t linkKind)
{
    if (linkKind != uint32_t(LinkKind::ActiveSync) || adapter.isRunning())
        return std::nullopt;
    return MessageRequest{"ActiveSync is not currently running", "Connect", MessageIcon::Stop, MessageButtons::Ok};
}

LinuxActiveSync::LinuxActiveSync(const PlatformSettings& settings, SettingsStore* store, std::string procRoot,
                                 std::string netRoot, std::function<int(int, int)> sendSignal)
    : settings_(settings), store_(store), procRoot_(std::move(procRoot)), netRoot_(std::move(netRoot)),
      sendSignal_(std::move(sendSignal))
{
    if (!sendSignal_)
        sendSignal_ = [](int pid, int sig) { return ::kill(pid, sig); };
}

bool LinuxActiveSync::isRunning()
{
    const std::vector<std::string> names = presenceNames(settings_);
    if (!names.empty() && !matchingProcesses(listProcesses(procRoot_), names).empty())
        return true;
    return rndisLinkUp(netRoot_);
}

void LinuxActiveSync::start()
{
    const std::string& command = settings_.ActiveSyncStartCommand;
    if (command.find_first_not_of(" \t") == std::string::npos)
        return;
    // The shell puts the command in the background and ends at once, so the program
    // neither waits for the service nor leaves a child behind unreaped.
    const std::string line = "(" + command + ") </dev/null >/dev/null 2>&1 &";
    const char* argv[] = {"/bin/sh", "-c", line.c_str(), nullptr};
    pid_t pid = 0;
    if (posix_spawn(&pid, "/bin/sh", nullptr, nullptr, const_cast<char* const*>(argv), environ) != 0)
        return;
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
}

void LinuxActiveSync::stop()
{
    lastStopped_.clear();
    const pid_t self = ::getpid();
    const uid_t uid = ::getuid();
    for (int pid : matchingProcesses(listProcesses(procRoot_), activeSyncStopNames(settings_))) {
        if (pid <= 1 || pid == self)
            continue;
        // Only this user's own processes: others are not ours to end.
        struct stat st{};
        if (::stat((procRoot_ + "/" + std::to_string(pid)).c_str(), &st) != 0 || st.st_uid != uid)
            continue;
        if (sendSignal_(pid, SIGTERM) == 0)
            lastStopped_.push_back(pid);
    }
}

void LinuxActiveSync::registerProxyPort()
{
    if (store_)
        store_->RegisterProxyPort();
}

bool ScriptedActiveSync::isRunning()
{
    if (present)
        return true;
    const std::vector<std::string> names = presenceNames(settings_);
    for (const std::string& p : running)
        if (processNameMatches(p, names, true))
            return true;
    return false;
}

void ScriptedActiveSync::start() { ++starts; }

void ScriptedActiveSync::stop()
{
    const std::vector<std::string> names = activeSyncStopNames(settings_);
    for (auto it = running.begin(); it != running.end();) {
        if (processNameMatches(*it, names, true)) {
            ended.push_back(*it);
            it = running.erase(it);
        } else {
            ++it;
        }
    }
}

} // namespace sorvane
