// sorvane-sim: a simulated handheld that answers the device agent protocol on TCP and
// on a pseudo-terminal, for the tests and the demo. See --help for the options and
// Agent.h for the lines it prints.

#include "ConnectOut.h"
#include "Discovery.h"
#include "EventLog.h"
#include "Options.h"
#include "ProxyServer.h"
#include "SerialLine.h"
#include "Session.h"
#include "StopSignal.h"
#include "TcpServer.h"

#include <SorvaneVersion.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <memory>
#include <sys/stat.h>

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/signalfd.h>
#include <unistd.h>

using namespace sorvane::sim;

int main(int argc, char** argv)
{
    ParseResult parsed = parseOptions(std::vector<std::string>(argv + 1, argv + argc));
    if (parsed.version) {
        std::fputs("sorvane-sim " SORVANE_VERSION " (built " SORVANE_BUILD_DAY ")\n", stdout);
        return 0;
    }
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
    int packetLogFd = -1;
    {
        EventLog log(STDOUT_FILENO);
        StopSignal stop;
        SimContext context{options, log, stop};
        std::unique_ptr<EventLog> packets;
        if (!options.packetLog.empty()) {
            packetLogFd = ::open(options.packetLog.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
            if (packetLogFd < 0) {
                std::fprintf(stderr, "sorvane-sim: cannot write %s\n", options.packetLog.c_str());
                return 2;
            }
            packets = std::make_unique<EventLog>(packetLogFd);
            context.packets = packets.get();
        }
        std::unique_ptr<ProxyServer> proxy;
        std::unique_ptr<TcpServer> tcp;
        std::unique_ptr<SerialLine> serial;
        std::unique_ptr<DiscoveryResponder> discovery;
        std::unique_ptr<ConnectOut> connectOut;
        if (options.proxy.enabled)
            proxy = std::make_unique<ProxyServer>(context);
        if (options.tcp) {
            TcpServer::Handler handler;
            if (proxy)
                handler = [&proxy](ByteLink& link, const std::string& description, uint32_t peer) {
                    proxy->serve(link, description, peer);
                };
            tcp = std::make_unique<TcpServer>(context, handler);
            if (auto e = tcp->open(); !e.empty()) {
                std::fprintf(stderr, "sorvane-sim: %s\n", e.c_str());
                return 1;
            }
            log.line("tcp " + tcp->address() + " " + std::to_string(tcp->port()));
            if (proxy)
                log.line("proxy " + std::to_string(options.proxy.devices.size()));
        }
        if (options.discovery.enabled) {
            discovery = std::make_unique<DiscoveryResponder>(context);
            if (auto e = discovery->open(); !e.empty()) {
                std::fprintf(stderr, "sorvane-sim: %s\n", e.c_str());
                return 1;
            }
            log.line("discovery " + discovery->address() + " " + std::to_string(discovery->port()));
        }
        if (options.connectTo) {
            connectOut = std::make_unique<ConnectOut>(context);
            log.line("connect-to " + options.connectTo->first + " " + std::to_string(options.connectTo->second));
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
        if (discovery)
            discovery->start();
        if (connectOut)
            connectOut->start();

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
        if (discovery)
            discovery->join();
        if (connectOut)
            connectOut->join();
    }
    ::close(signalFd);
    if (packetLogFd >= 0)
        ::close(packetLogFd);
    return status;
}
