#include "RawClient.h"

#include "support/SimProcess.h"

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace sorvane::test {

Bytes packet(uint8_t code) { return {code, 0xFF, code, 0x11}; }

Bytes le32(uint32_t v) { return {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)}; }

Bytes inputPacket(uint8_t code, uint16_t a, uint16_t b)
{
    return packet(code) + Bytes{uint8_t(a), uint8_t(a >> 8), uint8_t(b), uint8_t(b >> 8)};
}

Bytes operator+(Bytes a, const Bytes& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

RawClient::RawClient(int port)
{
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(uint16_t(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd_ < 0 || ::connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0)
        throw std::runtime_error(std::string("cannot connect to the simulator: ") + std::strerror(errno));
}

RawClient::RawClient(int fd, bool terminal) : fd_(fd), terminal_(terminal) {}

RawClient::~RawClient() { close(); }

void RawClient::close()
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

void RawClient::send(const Bytes& b)
{
    size_t done = 0;
    while (done < b.size()) {
        ssize_t w = terminal_ ? ::write(fd_, b.data() + done, b.size() - done)
                              : ::send(fd_, b.data() + done, b.size() - done, MSG_NOSIGNAL);
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0)
            throw std::runtime_error("send failed");
        done += size_t(w);
    }
}

std::optional<Bytes> RawClient::read(size_t n, std::chrono::milliseconds timeout)
{
    Bytes out(n);
    size_t got = 0;
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (got < n) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return std::nullopt;
        pollfd p{fd_, POLLIN, 0};
        int r = ::poll(&p, 1, int(left.count()));
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
            return std::nullopt;
        ssize_t k = ::read(fd_, out.data() + got, n - got);
        if (k < 0 && errno == EINTR)
            continue;
        if (k <= 0)
            return std::nullopt;
        got += size_t(k);
    }
    return out;
}

bool RawClient::closedByPeer(std::chrono::milliseconds timeout)
{
    auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return false;
        pollfd p{fd_, POLLIN, 0};
        int r = ::poll(&p, 1, int(left.count()));
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
            return false;
        uint8_t sink[256];
        ssize_t k = ::read(fd_, sink, sizeof sink);
        if (k == 0 || (k < 0 && errno != EINTR && errno != EAGAIN))
            return true;
    }
}

Bytes RawClient::hello()
{
    send(packet(80));
    auto r = read(4);
    if (!r || *r != packet(97))
        throw std::runtime_error("hello not answered with 'a'");
    return *r;
}

Bytes RawClient::info()
{
    send(packet(92));
    auto r = read(332);
    if (!r)
        throw std::runtime_error("no device information block");
    return *r;
}

std::optional<std::string> nextLine(SimProcess& sim, const std::string& prefix, std::chrono::milliseconds timeout)
{
    auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return std::nullopt;
        auto line = sim.readLine(left);
        if (!line)
            return std::nullopt;
        if (line->rfind(prefix, 0) == 0)
            return line;
    }
}

} // namespace sorvane::test
