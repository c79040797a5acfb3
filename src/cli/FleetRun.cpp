#include "cli/FleetRun.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include "cli/CliSession.h"
#include "cli/Commands.h"
#include "cli/DeviceList.h"
#include "platform/RegularFile.h"
#include "program/FleetNames.h"
#include "tools/DeviceText.h"

namespace sorvane::cli {
namespace {

// A line longer than this is passed on in pieces.
constexpr size_t kMaxLine = 64 * 1024;
constexpr size_t kMaxName = 1024;
constexpr size_t kMaxEarlyLines = 1000;

// The ends the parent keeps of one child's pipes; -1 once closed.
struct Child {
    pid_t pid = -1;
    std::string startError; // why it could not be started
    int out = -1, err = -1; // its standard output and error
    int name = -1;          // its device name, ended by a NUL (closed without: it did not connect)
    int label = -1;         // its label, ended by a line feed
    std::string outPart, errPart, nameText;
    bool named = false;
    // Lines that came before the labels were made: (to standard error, text), at most
    // kMaxEarlyLines (an inbound port's "rejected" lines), then only counted.
    std::vector<std::pair<bool, std::string>> early;
    size_t earlyLeftOut = 0;
    std::string label_;
};

void closeFd(int& fd)
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

// The child: runs the command as a run on one device does; never returns.
[[noreturn]] void runChild(const CliOptions& device, const CliCommand& command, int nameFd, int labelFd)
{
    std::signal(SIGPIPE, SIG_DFL);
    int status = 1;
    {
        CliSession session(device);
        std::string error;
        if (!session.connect(error)) {
            ::close(nameFd);
            std::fprintf(stderr, "sorvane-cli: %s\n", error.c_str());
        } else {
            std::string name = FromDeviceText(session.slot().deviceName);
            name.push_back('\0');
            const bool told = WriteAll(nameFd, name.data(), name.size());
            ::close(nameFd);
            std::string label;
            char c = 0;
            while (told && ::read(labelFd, &c, 1) == 1 && c != '\n')
                label += c;
            if (c != '\n' || label.empty()) {
                std::fprintf(stderr, "sorvane-cli: the run on several devices ended before this one started\n");
            } else {
                session.setLabel(label);
                status = command.run(session, device.arguments);
            }
        }
    }
    ::close(labelFd);
    std::exit(FlushedOutput(status));
}

class Fleet {
public:
    Fleet(const CliOptions& options, const CliCommand& command) : options_(options), command_(command) {}

    int run()
    {
        // A child that has ended leaves its label unread; that must not end the parent.
        std::signal(SIGPIPE, SIG_IGN);
        children_.resize(options_.devices.size());
        for (size_t i = 0; i < children_.size(); ++i)
            start(i);
        pump();
        return finish();
    }

private:
    void start(size_t i)
    {
        Child& c = children_[i];
        int out[2], err[2], name[2], label[2];
        bool piped = ::pipe(out) == 0;
        piped = piped && (::pipe(err) == 0 || (closeBoth(out), false));
        piped = piped && (::pipe(name) == 0 || (closeBoth(out), closeBoth(err), false));
        piped = piped && (::pipe(label) == 0 || (closeBoth(out), closeBoth(err), closeBoth(name), false));
        if (!piped) {
            c.startError = std::string("cannot start: ") + std::strerror(errno);
            return;
        }
        std::fflush(stdout);
        std::fflush(stderr);
        c.pid = ::fork();
        if (c.pid == 0) {
            for (Child& other : children_) // the parent's ends, this one's included
                for (int* fd : {&other.out, &other.err, &other.name, &other.label})
                    closeFd(*fd);
            ::close(out[0]);
            ::close(err[0]);
            ::close(name[0]);
            ::close(label[1]);
            ::dup2(out[1], 1);
            ::dup2(err[1], 2);
            ::close(out[1]);
            ::close(err[1]);
            runChild(options_.devices[i], command_, name[1], label[0]);
        }
        ::close(out[1]);
        ::close(err[1]);
        ::close(name[1]);
        ::close(label[0]);
        if (c.pid < 0) {
            c.startError = std::string("cannot start: ") + std::strerror(errno);
            ::close(out[0]);
            ::close(err[0]);
            ::close(name[0]);
            ::close(label[1]);
            return;
        }
        c.out = out[0];
        c.err = err[0];
        c.name = name[0];
        c.label = label[1];
    }

    static void closeBoth(int fds[2])
    {
        ::close(fds[0]);
        ::close(fds[1]);
    }

    // Passes on what the children print until every one has closed its output.
    void pump()
    {
        for (;;) {
            if (!labelled_ && allNamed())
                makeLabels();
            std::vector<pollfd> fds;
            std::vector<std::pair<size_t, int*>> whose;
            for (size_t i = 0; i < children_.size(); ++i)
                for (int* fd : {&children_[i].out, &children_[i].err, &children_[i].name})
                    if (*fd >= 0) {
                        fds.push_back({*fd, POLLIN, 0});
                        whose.emplace_back(i, fd);
                    }
            if (fds.empty())
                return;
            if (::poll(fds.data(), fds.size(), -1) < 0) {
                if (errno == EINTR)
                    continue;
                std::fprintf(stderr, "sorvane-cli: cannot wait for the devices' output: %s\n", std::strerror(errno));
                std::exit(1);
            }
            for (size_t k = 0; k < fds.size(); ++k)
                if (fds[k].revents != 0)
                    readFrom(whose[k].first, *whose[k].second);
            std::fflush(stdout);
            std::fflush(stderr);
        }
    }

    void readFrom(size_t i, int& fd)
    {
        Child& c = children_[i];
        char buffer[16384];
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            return;
        if (&fd == &c.name) {
            if (n > 0 && c.nameText.size() < kMaxName)
                c.nameText.append(buffer, size_t(n));
            if (const size_t end = c.nameText.find('\0'); end != std::string::npos) {
                c.nameText.resize(end);
                c.named = true;
                closeFd(fd);
            } else if (n <= 0) {
                c.nameText.clear();
                closeFd(fd);
            }
            return;
        }
        const bool toErr = &fd == &c.err;
        std::string& part = toErr ? c.errPart : c.outPart;
        if (n > 0)
            part.append(buffer, size_t(n));
        size_t at = 0;
        for (size_t nl; (nl = part.find('\n', at)) != std::string::npos; at = nl + 1)
            line(i, toErr, part.substr(at, nl - at));
        part.erase(0, at);
        if (part.size() > kMaxLine || (n <= 0 && !part.empty())) {
            line(i, toErr, part);
            part.clear();
        }
        if (n <= 0)
            closeFd(fd);
    }

    void line(size_t i, bool toErr, const std::string& text)
    {
        Child& c = children_[i];
        if (labelled_)
            std::fprintf(toErr ? stderr : stdout, "%s: %s\n", c.label_.c_str(), text.c_str());
        else if (c.early.size() < kMaxEarlyLines)
            c.early.emplace_back(toErr, text);
        else
            ++c.earlyLeftOut;
    }

    bool allNamed() const
    {
        for (const Child& c : children_)
            if (c.name >= 0)
                return false;
        return true;
    }

    void makeLabels()
    {
        std::vector<FleetMember> members;
        for (size_t i = 0; i < children_.size(); ++i) {
            const std::string place = ConnectionPlace(options_.devices[i]);
            members.push_back({children_[i].named ? children_[i].nameText : place, place, int(i + 1)});
        }
        const std::vector<std::string> labels = UniqueDeviceLabels(members);
        labelled_ = true;
        for (size_t i = 0; i < children_.size(); ++i) {
            Child& c = children_[i];
            c.label_ = labels[i];
            if (c.named && c.label >= 0) {
                const std::string text = labels[i] + "\n";
                WriteAll(c.label, text.data(), text.size()); // a child that has gone does not read it
            }
            closeFd(c.label);
            for (const auto& [toErr, text] : c.early)
                line(i, toErr, text);
            if (c.earlyLeftOut > 0)
                line(i, true, "(" + std::to_string(c.earlyLeftOut) + " more lines left out)");
            c.early.clear();
        }
    }

    int finish()
    {
        int passed = 0, failed = 0;
        for (Child& c : children_) {
            std::string why = c.startError;
            if (c.pid > 0) {
                int status = 0;
                while (::waitpid(c.pid, &status, 0) < 0 && errno == EINTR) {
                }
                if (WIFSIGNALED(status))
                    why = "ended by signal " + std::to_string(WTERMSIG(status)) + ", " + strsignal(WTERMSIG(status));
                else if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
                    why = "exit status " + std::to_string(WIFEXITED(status) ? WEXITSTATUS(status) : -1);
            }
            if (why.empty()) {
                ++passed;
                continue;
            }
            ++failed;
            std::printf("%s: failed (%s)\n", c.label_.c_str(), why.c_str());
        }
        std::printf("%d passed, %d failed\n", passed, failed);
        return FlushedOutput(failed == 0 ? 0 : 1);
    }

    const CliOptions& options_;
    const CliCommand& command_;
    std::vector<Child> children_;
    bool labelled_ = false;
};

} // namespace

int RunFleet(const CliOptions& options, const CliCommand& command) { return Fleet(options, command).run(); }

} // namespace sorvane::cli
