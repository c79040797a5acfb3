#include "support/SimProcess.h"
#include "support/TempDir.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

extern char** environ;

namespace sorvane::test {
namespace {

using Clock = std::chrono::steady_clock;

int remainingMs(Clock::time_point deadline)
{
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left < 0 ? 0 : int(left);
}

std::vector<char*> cStrings(std::vector<std::string>& v)
{
    std::vector<char*> out;
    for (auto& s : v)
        out.push_back(s.data());
    out.push_back(nullptr);
    return out;
}

int decodeStatus(int status)
{
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    if (WIFSIGNALED(status))
        return 128 + WTERMSIG(status);
    return -1;
}

// Starts argv[0] with no standard input and standard output (and error, when err is
// not -1) on these descriptors, which are then closed here; posix_spawn's error number.
int spawn(std::vector<std::string> argv, int out, int err, pid_t& pid)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out, 1);
    if (err >= 0)
        posix_spawn_file_actions_adddup2(&actions, err, 2);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    auto cargv = cStrings(argv);
    const int rc = posix_spawn(&pid, argv[0].c_str(), &actions, nullptr, cargv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(out);
    if (err >= 0)
        close(err);
    return rc;
}

} // namespace

std::string programFromEnv(const char* variable)
{
    const char* v = std::getenv(variable);
    if (!v || !*v)
        throw std::runtime_error(std::string(variable) + " is not set (run the tests through ctest)");
    return v;
}

int simRefreshes(const std::filesystem::path& dumpDir) { return std::atoi(readFile(dumpDir / "refreshes").c_str()); }

SimProcess::SimProcess(const std::vector<std::string>& args, std::chrono::milliseconds timeout)
{
    std::vector<std::string> argv{programFromEnv("SORVANE_SIM")};
    argv.insert(argv.end(), args.begin(), args.end());
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe failed");
    if (const int rc = spawn(argv, fds[1], -1, pid_); rc != 0) {
        close(fds[0]);
        throw std::runtime_error("cannot start " + argv[0] + ": " + std::strerror(rc));
    }
    out_ = fds[0];
    for (;;) {
        auto line = readLine(timeout);
        if (!line) {
            signal(SIGKILL);
            wait(std::chrono::seconds(5));
            throw std::runtime_error("sorvane-sim did not announce \"ready\"");
        }
        if (*line == "ready")
            break;
        auto space = line->find(' ');
        facts_.emplace(line->substr(0, space), space == std::string::npos ? "" : line->substr(space + 1));
    }
}

SimProcess::~SimProcess()
{
    if (pid_ > 0 && !status_) {
        signal(SIGTERM);
        if (!wait(std::chrono::seconds(5))) {
            signal(SIGKILL);
            wait(std::chrono::seconds(5));
        }
    }
    if (out_ >= 0)
        close(out_);
}

std::optional<std::string> SimProcess::fact(const std::string& key) const
{
    auto it = facts_.find(key);
    if (it == facts_.end())
        return std::nullopt;
    return it->second;
}

int SimProcess::tcpPort() const
{
    auto v = fact("tcp");
    if (!v)
        throw std::runtime_error("sorvane-sim announced no TCP listener");
    return std::stoi(v->substr(v->rfind(' ') + 1));
}

std::string SimProcess::serialPath() const
{
    auto v = fact("serial");
    if (!v)
        throw std::runtime_error("sorvane-sim announced no serial line");
    return *v;
}

std::optional<std::string> SimProcess::readLine(std::chrono::milliseconds timeout)
{
    auto deadline = Clock::now() + timeout;
    for (;;) {
        auto nl = pending_.find('\n');
        if (nl != std::string::npos) {
            std::string line = pending_.substr(0, nl);
            pending_.erase(0, nl + 1);
            return line;
        }
        pollfd p{out_, POLLIN, 0};
        int n = ::poll(&p, 1, remainingMs(deadline));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return std::nullopt;
        char buf[4096];
        ssize_t got = ::read(out_, buf, sizeof buf);
        if (got <= 0)
            return std::nullopt;
        pending_.append(buf, size_t(got));
    }
}

void SimProcess::signal(int sig)
{
    if (pid_ > 0 && !status_)
        ::kill(pid_, sig);
}

std::optional<int> SimProcess::wait(std::chrono::milliseconds timeout)
{
    if (status_)
        return status_;
    auto deadline = Clock::now() + timeout;
    for (;;) {
        int status = 0;
        pid_t r = ::waitpid(pid_, &status, WNOHANG);
        if (r == pid_) {
            status_ = decodeStatus(status);
            return status_;
        }
        if (Clock::now() >= deadline)
            return std::nullopt;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

ProcessResult runProcess(const std::vector<std::string>& argv, std::chrono::milliseconds timeout)
{
    int outp[2], errp[2];
    if (pipe2(outp, O_CLOEXEC) != 0 || pipe2(errp, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe failed");
    pid_t pid = -1;
    const int rc = spawn(argv, outp[1], errp[1], pid);
    ProcessResult result;
    if (rc != 0) {
        close(outp[0]);
        close(errp[0]);
        result.err = "cannot start " + argv[0] + ": " + std::strerror(rc);
        return result;
    }
    auto deadline = Clock::now() + timeout;
    pollfd fds[2] = {{outp[0], POLLIN, 0}, {errp[0], POLLIN, 0}};
    int open = 2;
    bool killed = false;
    while (open > 0) {
        int n = ::poll(fds, 2, remainingMs(deadline));
        if (n < 0 && errno == EINTR)
            continue;
        if (n == 0) {
            ::kill(pid, SIGKILL);
            killed = true;
            break;
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            char buf[4096];
            ssize_t got = ::read(fds[i].fd, buf, sizeof buf);
            if (got <= 0) {
                close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            } else {
                (i == 0 ? result.out : result.err).append(buf, size_t(got));
            }
        }
    }
    for (auto& f : fds)
        if (f.fd >= 0)
            close(f.fd);
    int status = 0;
    ::waitpid(pid, &status, 0);
    result.exitCode = killed ? -1 : decodeStatus(status);
    return result;
}

} // namespace sorvane::test
