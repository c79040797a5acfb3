// sorvane-sim: a simulated handheld that answers the device agent protocol on TCP and
// on a pseudo-terminal, for the tests and the demo. See --help for the options and
// Agent.h for the lines it prints.

#include "EventLog.h"
#include "Options.h"
#include "SerialLine.h"
#include "Session.h"
#include "StopSignal.h"
#include "TcpServer.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <memory>
#include <sys/stat.h>

#include <poll.h>
#include <pthread.h>
#include <sys/signalfd.h>
#include <unistd.h>

using namespace sorvane::sim;

int main(int argc, char** argv)
{
    ParseResult parsed = parseOptions(std::vector<std::string>(argv + 1, argv + argc));
    if (parsed.help) {
        std::fputs(usageText(), stdout);
        return 0;
    }
    if (!parsed.options) {
        std::fprintf(stderr, "sorvane-sim: %s\n%s", parsed.error.c_str(), usageText());
        return 2;
    }
    const SimOptions& options = *parsed.options;
    if (!options.dumpDir.empty()) {
        struct stat st{};
        if (::stat(options.dumpDir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
            std::fprintf(stderr, "sorvane-sim: --dump-dir %s is not a folder\n", options.dumpDir.c_str());
            return 2;
        }
    }

    // Signals arrive through a descriptor of the main thread; every other thread has
    // them blocked (they inherit this mask).
    std::signal(SIGPIPE, SIG_IGN);
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    int signalFd = signalfd(-1, &signals, SFD_CLOEXEC);
    if (signalFd < 0) {
        std::perror("sorvane-sim: signalfd");
        return 1;
    }

    int status = 0;
    {
        EventLog log(STDOUT_FILENO);
        StopSignal stop;
        SimContext context{options, log, stop};
        std::unique_ptr<TcpServer> tcp;
        std::unique_ptr<SerialLine> serial;
        if (options.tcp) {
            tcp = std::make_unique<TcpServer>(context);
            if (auto e = tcp->open(); !e.empty()) {
                std::fprintf(stderr, "sorvane-sim: %s\n", e.c_str());
                return 1;
            }
            log.line("tcp " + tcp->address() + " " + std::to_string(tcp->port()));
        }
        if (options.serial) {
            serial = std::make_unique<SerialLine>(context);
            if (auto e = serial->open(); !e.empty()) {
                std::fprintf(stderr, "sorvane-sim: %s\n", e.c_str());
                return 1;
            }
            log.line("serial " + serial->path());
        }
        log.line("ready");
        if (tcp)
            tcp->start();
        if (serial)
            serial->start();

        pollfd p[2] = {{signalFd, POLLIN, 0}, {stop.fd(), POLLIN, 0}};
        for (;;) {
            int n = ::poll(p, 2, -1);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 || (p[0].revents & POLLIN) || (p[1].revents & POLLIN))
                break;
        }
        stop.request();
        if (tcp)
            tcp->join();
        if (serial)
            serial->join();
    }
    ::close(signalFd);
    return status;
}
