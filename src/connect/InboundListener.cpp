#include "connect/InboundListener.h"

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <utility>

namespace sorvane {

AcceptedSocket::AcceptedSocket(AcceptedSocket&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), peerAddress_(other.peerAddress_), peerPort_(other.peerPort_)
{
}

AcceptedSocket& AcceptedSocket::operator=(AcceptedSocket&& other) noexcept
{
    if (this != &other) {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = std::exchange(other.fd_, -1);
        peerAddress_ = other.peerAddress_;
        peerPort_ = other.peerPort_;
    }
    return *this;
}

AcceptedSocket::~AcceptedSocket()
{
    if (fd_ >= 0)
        ::close(fd_);
}

int AcceptedSocket::release() { return std::exchange(fd_, -1); }

InboundListener::InboundListener(uint32_t bindAddress) : bindAddress_(bindAddress) {}

InboundListener::~InboundListener() { close(); }

void InboundListener::close()
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
    port_ = 0;
}

InboundListener::StartResult InboundListener::StartInboundListener(int port)
{
    close();
    if (port < 0 || port > 65535)
        return StartResult::BindFailed;
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return StartResult::NoSocket;
    // Connections the listener accepted earlier may linger in TIME_WAIT on this port;
    // they must not keep the listener from coming back. A port another socket listens
    // on is still refused.
    int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(uint16_t(port));
    addr.sin_addr.s_addr = htonl(bindAddress_);
    // Room for many connections arriving together: each poll accepts all of them, and
    // a flood of strangers must not make the system turn a real device away meanwhile.
    constexpr int kBacklog = 64;
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0 || ::listen(fd, kBacklog) != 0) {
        ::close(fd);
        return StartResult::BindFailed;
    }
    sockaddr_in bound{};
    socklen_t len = sizeof bound;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &len) != 0) {
        ::close(fd);
        return StartResult::BindFailed;
    }
    fd_ = fd;
    port_ = ntohs(bound.sin_port);
    return StartResult::Listening;
}

std::optional<AcceptedSocket> InboundListener::acceptPending()
{
    if (fd_ < 0)
        return std::nullopt;
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, 0) <= 0 || !(p.revents & POLLIN))
        return std::nullopt;
    sockaddr_in peer{};
    socklen_t len = sizeof peer;
    int fd = ::accept4(fd_, reinterpret_cast<sockaddr*>(&peer), &len, SOCK_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    return AcceptedSocket(fd, peer.sin_addr.s_addr, ntohs(peer.sin_port));
}

bool InboundListener::reopen(int newPort)
{
    if (newPort < 1 || newPort > 65535)
        return false;
    const int oldPort = port_;
    if (StartInboundListener(newPort) == StartResult::Listening)
        return true;
    if (oldPort != 0)
        StartInboundListener(oldPort);
    return false;
}

} // namespace sorvane
