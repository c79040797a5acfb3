#include "SerialLine.h"

#include "ByteLink.h"
#include "EventLog.h"
#include "Options.h"
#include "StopSignal.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace sorvane::sim {
namespace {

// Raw mode for the line: no echo, no character translation, 8-bit bytes. Set through
// the master, it applies to the terminal the client opens.
void makeRaw(int fd)
{
    termios t{};
    if (tcgetattr(fd, &t) != 0)
        return;
    cfmakeraw(&t);
    cfsetispeed(&t, B115200);
    cfsetospeed(&t, B115200);
    tcsetattr(fd, TCSANOW, &t);
}

} // namespace

SerialLine::SerialLine(SimContext& context) : context_(context) {}

SerialLine::~SerialLine()
{
    context_.stop.request();
    join();
    if (master_ >= 0)
        ::close(master_);
}

std::string SerialLine::open()
{
    int master = -1, slave = -1;
    char name[256] = {};
    if (openpty(&master, &slave, name, nullptr, nullptr) != 0)
        return std::string("cannot open a pseudo-terminal: ") + std::strerror(errno);
    makeRaw(master);
    fcntl(master, F_SETFD, FD_CLOEXEC);
    // Without our own slave descriptor the master reports a hang-up until the client opens
    // the line, which is how a session's start and end are seen.
    ::close(slave);
    master_ = master;
    path_ = name;
    return {};
}

void SerialLine::start()
{
    thread_ = std::thread([this] { run(); });
}

void SerialLine::join()
{
    if (thread_.joinable())
        thread_.join();
}

bool SerialLine::waitForClient()
{
    // A master whose slave is closed polls as hung up; there is no event for the open,
    // so look again every 20 ms.
    StopSignal& stop = context_.stop;
    while (!stop.requested()) {
        pollfd p{master_, POLLIN, 0};
        int n = ::poll(&p, 1, 0);
        if (n < 0 && errno != EINTR)
            return false;
        if (n >= 0 && !(p.revents & POLLHUP))
            return true;
        if (stop.sleepFor(20))
            return false;
    }
    return false;
}

void SerialLine::run()
{
    pthread_setname_np(pthread_self(), "sim-serial");
    while (!context_.stop.requested()) {
        if (!waitForClient())
            break;
        makeRaw(master_);
        Agent::Ending ending;
        {
            ByteLink link(master_, ByteLink::Kind::Terminal, false, context_.stop);
            ending = serveConnection(context_, link, "serial " + path_);
        }
        if (ending == Agent::Ending::AgentClosed && !context_.stop.requested()) {
            ::close(master_);
            master_ = -1;
            if (auto e = open(); !e.empty()) {
                context_.log.line("error " + e);
                break;
            }
            context_.log.line("serial " + path_);
        }
    }
}

} // namespace sorvane::sim
