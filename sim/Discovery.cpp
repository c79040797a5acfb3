#include "Discovery.h"

#include "EventLog.h"
#include "Options.h"
#include "StopSignal.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <pthread.h>
#include <sys/socket.h>
#include <unistd.h>

namespace sorvane::sim {
namespace {

constexpr size_t kReplySize = 288;
constexpr size_t kNameAt = 4, kNameSize = 252, kPasswordAt = 256, kPasswordSize = 32;

int udpSocket(const std::string& host, int port, bool shared, std::string& error)
{
    int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        error = std::string("cannot create a UDP socket: ") + std::strerror(errno);
        return -1;
    }
    if (shared) {
        int one = 1;
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    }
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(uint16_t(port));
    inet_pton(AF_INET, host.c_str(), &a.sin_addr);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        error = "cannot bind UDP " + host + " port " + std::to_string(port) + ": " + std::strerror(errno);
        ::close(fd);
        return -1;
    }
    return fd;
}

} // namespace

std::vector<uint8_t> discoveryReply(const SimOptions& o)
{
    std::vector<uint8_t> full(kReplySize, 0);
    full[0] = 'U';
    std::memcpy(full.data() + kNameAt, o.name.data(), std::min(o.name.size(), kNameSize - 1));
    std::memcpy(full.data() + kPasswordAt, o.password.data(), std::min(o.password.size(), kPasswordSize - 1));
    full.resize(o.discovery.replySize, 0);
    return full;
}

DiscoveryResponder::DiscoveryResponder(SimContext& context) : context_(context) {}

DiscoveryResponder::~DiscoveryResponder()
{
    context_.stop.request();
    join();
    if (replyFd_ >= 0 && replyFd_ != receiveFd_)
        ::close(replyFd_);
    if (receiveFd_ >= 0)
        ::close(receiveFd_);
}

std::string DiscoveryResponder::open()
{
    const SimOptions& o = context_.options;
    const bool separate = !o.discovery.bindAddress.empty() && o.discovery.bindAddress != o.host;
    const std::string at = separate ? o.discovery.bindAddress : o.host;
    std::string error;
    receiveFd_ = udpSocket(at, o.discovery.port, separate, error);
    if (receiveFd_ < 0)
        return error;
    if (separate) {
        replyFd_ = udpSocket(o.host, 0, false, error);
        if (replyFd_ < 0)
            return error;
    } else {
        replyFd_ = receiveFd_;
    }
    sockaddr_in a{};
    socklen_t len = sizeof a;
    ::getsockname(receiveFd_, reinterpret_cast<sockaddr*>(&a), &len);
    address_ = at;
    port_ = ntohs(a.sin_port);
    return {};
}

void DiscoveryResponder::start()
{
    thread_ = std::thread([this] { run(); });
}

void DiscoveryResponder::join()
{
    if (thread_.joinable())
        thread_.join();
}

void DiscoveryResponder::run()
{
    pthread_setname_np(pthread_self(), "sim-discovery");
    const SimOptions& o = context_.options;
    const std::vector<uint8_t> reply = discoveryReply(o);
    StopSignal& stop = context_.stop;
    while (!stop.requested()) {
        pollfd p[2] = {{receiveFd_, POLLIN, 0}, {stop.fd(), POLLIN, 0}};
        int n = ::poll(p, 2, -1);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 || (p[1].revents & POLLIN))
            break;
        uint8_t request[64];
        sockaddr_in from{};
        socklen_t len = sizeof from;
        ssize_t got = ::recvfrom(receiveFd_, request, sizeof request, MSG_TRUNC, reinterpret_cast<sockaddr*>(&from), &len);
        if (got != 4 || request[0] != 'U')
            continue;
        if (!isLoopback(ntohl(from.sin_addr.s_addr)) && !o.allowAnyAddress)
            continue;
        char text[INET_ADDRSTRLEN] = {};
        inet_ntop(AF_INET, &from.sin_addr, text, sizeof text);
        for (int i = 0; i < o.discovery.repeat; ++i)
            ::sendto(replyFd_, reply.data(), reply.size(), MSG_NOSIGNAL, reinterpret_cast<sockaddr*>(&from), len);
        context_.log.line(std::string("discovery ") + text + ":" + std::to_string(ntohs(from.sin_port)));
    }
}

} // namespace sorvane::sim
