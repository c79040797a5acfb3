#include "TcpServer.h"

#include "ByteLink.h"
#include "Options.h"
#include "StopSignal.h"

#include <cerrno>
#include <cstring>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <pthread.h>
#include <sys/socket.h>
#include <unistd.h>

namespace sorvane::sim {

TcpServer::TcpServer(SimContext& context, Handler handler) : context_(context), handler_(std::move(handler)) {}

TcpServer::~TcpServer()
{
    context_.stop.request();
    join();
    if (listenFd_ >= 0)
        ::close(listenFd_);
}

std::string TcpServer::open()
{
    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (listenFd_ < 0)
        return std::string("cannot create a socket: ") + std::strerror(errno);
    int one = 1;
    ::setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(uint16_t(context_.options.port));
    if (inet_pton(AF_INET, context_.options.host.c_str(), &a.sin_addr) != 1)
        return "bad address " + context_.options.host;
    if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0)
        return "cannot listen on " + context_.options.host + " port " + std::to_string(context_.options.port) + ": " +
               std::strerror(errno);
    if (::listen(listenFd_, 16) != 0)
        return std::string("listen failed: ") + std::strerror(errno);
    socklen_t len = sizeof a;
    ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&a), &len);
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &a.sin_addr, text, sizeof text);
    address_ = text;
    port_ = ntohs(a.sin_port);
    return {};
}

void TcpServer::start()
{
    acceptor_ = std::thread([this] { acceptLoop(); });
}

void TcpServer::join()
{
    if (acceptor_.joinable())
        acceptor_.join();
    reap(true);
}

void TcpServer::reap(bool all)
{
    for (auto it = workers_.begin(); it != workers_.end();) {
        if (all || (*it)->done.load()) {
            (*it)->thread.join();
            it = workers_.erase(it);
        } else {
            ++it;
        }
    }
}

void TcpServer::acceptLoop()
{
    pthread_setname_np(pthread_self(), "sim-accept");
    StopSignal& stop = context_.stop;
    while (!stop.requested()) {
        pollfd p[2] = {{listenFd_, POLLIN, 0}, {stop.fd(), POLLIN, 0}};
        int n = ::poll(p, 2, -1);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 || (p[1].revents & POLLIN))
            break;
        sockaddr_in peer{};
        socklen_t len = sizeof peer;
        int fd = ::accept4(listenFd_, reinterpret_cast<sockaddr*>(&peer), &len, SOCK_CLOEXEC);
        if (fd < 0)
            continue;
        int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        char text[INET_ADDRSTRLEN] = {};
        inet_ntop(AF_INET, &peer.sin_addr, text, sizeof text);
        std::string description = "tcp " + std::string(text) + ":" + std::to_string(ntohs(peer.sin_port));
        reap(false);
        auto worker = std::make_unique<Worker>();
        Worker* w = worker.get();
        const uint32_t peerAddress = ntohl(peer.sin_addr.s_addr);
        worker->thread = std::thread([this, fd, description, w, peerAddress] {
            pthread_setname_np(pthread_self(), "sim-conn");
            ByteLink link(fd, ByteLink::Kind::Socket, true, context_.stop);
            if (handler_)
                handler_(link, description, peerAddress);
            else
                serveConnection(context_, link, description);
            w->done = true;
        });
        workers_.push_back(std::move(worker));
    }
}

} // namespace sorvane::sim
