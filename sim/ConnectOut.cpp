#include "ConnectOut.h"

#include "ByteLink.h"
#include "Options.h"
#include "StopSignal.h"

#include <cerrno>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <pthread.h>
#include <sys/socket.h>
#include <unistd.h>

namespace sorvane::sim {

ConnectOut::ConnectOut(SimContext& context) : context_(context) {}

ConnectOut::~ConnectOut()
{
    context_.stop.request();
    join();
}

void ConnectOut::start()
{
    thread_ = std::thread([this] { run(); });
}

void ConnectOut::join()
{
    if (thread_.joinable())
        thread_.join();
}

int ConnectOut::connectOnce()
{
    const auto& [host, port] = *context_.options.connectTo;
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return -1;
    const std::string& from = context_.options.connectFrom;
    if (!from.empty()) {
        sockaddr_in local{};
        local.sin_family = AF_INET;
        inet_pton(AF_INET, from.c_str(), &local.sin_addr);
        if (::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
            ::close(fd);
            return -1;
        }
    }
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(uint16_t(port));
    inet_pton(AF_INET, host.c_str(), &a.sin_addr);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 && errno != EINPROGRESS) {
        ::close(fd);
        return -1;
    }
    pollfd p[2] = {{fd, POLLOUT, 0}, {context_.stop.fd(), POLLIN, 0}};
    int n = ::poll(p, 2, 2000);
    int error = 0;
    socklen_t len = sizeof error;
    if (n <= 0 || (p[1].revents & POLLIN) || !(p[0].revents & POLLOUT) ||
        ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &len) != 0 || error != 0) {
        ::close(fd);
        return -1;
    }
    int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return fd;
}

void ConnectOut::run()
{
    pthread_setname_np(pthread_self(), "sim-connect-out");
    const auto& [host, port] = *context_.options.connectTo;
    int fd = -1;
    while (!context_.stop.requested() && (fd = connectOnce()) < 0)
        context_.stop.sleepFor(100);
    if (fd < 0)
        return;
    ByteLink link(fd, ByteLink::Kind::Socket, true, context_.stop);
    serveConnection(context_, link, "tcp-out " + host + ":" + std::to_string(port));
}

} // namespace sorvane::sim
