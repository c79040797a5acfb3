#include "platform/PosixTransports.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace sorvane {
namespace {

// The kernel's IrDA socket interface (Linux dropped it in 4.17; these values are its
// fixed ABI, from the days it existed).
constexpr int kAfIrda = 23;
constexpr int kSolIrlmp = 266;
constexpr int kIrlmpEnumDevices = 1;
constexpr size_t kIrdaEnumBuffer = 512;
constexpr size_t kIrdaDeviceInfoSize = 36; // saddr, daddr, info[22], charset, hints[2], padding
constexpr size_t kIrdaDaddrOffset = 4;

struct SockaddrIrda {
    sa_family_t family;
    uint8_t lsapSel;
    uint32_t address;
    char name[25];
};

int msLeft(std::chrono::steady_clock::time_point deadline)
{
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    return left.count() < 0 ? 0 : int(left.count());
}

class IrdaSocket final : public PosixSocket {
public:
    using PosixSocket::PosixSocket;

    std::vector<uint32_t> irdaDevices() override
    {
        uint8_t buffer[kIrdaEnumBuffer] = {};
        socklen_t length = sizeof buffer;
        if (::getsockopt(fd_, kSolIrlmp, kIrlmpEnumDevices, buffer, &length) != 0 || length < 4)
            return {};
        uint32_t count;
        std::memcpy(&count, buffer, 4);
        std::vector<uint32_t> ids;
        for (uint32_t i = 0; i < count; ++i) {
            size_t at = 4 + i * kIrdaDeviceInfoSize;
            if (at + kIrdaDeviceInfoSize > length)
                break;
            uint32_t id;
            std::memcpy(&id, buffer + at + kIrdaDaddrOffset, 4);
            ids.push_back(id);
        }
        return ids;
    }

    ConnectStatus connectIrda(uint32_t deviceId, const std::string& service) override
    {
        SockaddrIrda address{};
        address.family = kAfIrda;
        address.address = deviceId;
        std::strncpy(address.name, service.c_str(), sizeof address.name - 1);
        if (::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0)
            return ConnectStatus::Connected;
        return errno == EINPROGRESS || errno == EALREADY ? ConnectStatus::InProgress : ConnectStatus::Failed;
    }
};

std::unique_ptr<SocketTransport> makeSocket(int domain, bool irda)
{
    int fd = ::socket(domain, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return nullptr;
    if (irda)
        return std::make_unique<IrdaSocket>(fd);
    // Every message is written whole and most are small (input packets, requests that
    // wait for their reply): none should wait for an earlier one's acknowledgement.
    int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return std::make_unique<PosixSocket>(fd);
}

} // namespace

PosixSocket::~PosixSocket()
{
    if (fd_ >= 0)
        ::close(fd_);
}

std::unique_ptr<PosixSocket> PosixSocket::adopt(int fd)
{
    int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) != 0)
        return nullptr;
    // As for the links we open: small messages go at once (fails harmlessly where the
    // socket is not TCP).
    int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return std::make_unique<PosixSocket>(fd);
}

bool PosixSocket::waitReadable(uint32_t ms)
{
    if (fd_ < 0)
        return false;
    if (aheadFirst_ < aheadEnd_ || failed_)
        return true; // the next receive has something without waiting
    // Wake once the rest of what the last receive wanted is there, rather than at every
    // piece of it; the system also wakes a wait whose buffer is full, so a mark larger
    // than the buffer cannot hold the wait up. Above kMaxLowWater it wakes per piece.
    constexpr size_t kMaxLowWater = size_t(1) << 20;
    const int want = int(std::clamp<size_t>(stillWanted_.load(std::memory_order_relaxed), 1, kMaxLowWater));
    if (want != lowWater_ && ::setsockopt(fd_, SOL_SOCKET, SO_RCVLOWAT, &want, sizeof want) == 0)
        lowWater_ = want;
    pollfd p{fd_, POLLIN, 0};
    // Interrupted: the caller pauses instead, so the pause is never cut short by it.
    return ::poll(&p, 1, int(ms)) >= 0;
}

IoResult PosixSocket::receive(std::span<uint8_t> buffer)
{
    if (shut_.load() || fd_ < 0 || failed_)
        return {IoStatus::Error, 0};
    if (buffer.empty())
        return {IoStatus::Ok, 0};
    // Bytes read ahead go first.
    size_t got = std::min(buffer.size(), aheadEnd_ - aheadFirst_);
    if (got > 0) {
        std::memcpy(buffer.data(), ahead_.get() + aheadFirst_, got);
        aheadFirst_ += got;
    }
    const std::span<uint8_t> rest = buffer.subspan(got);
    if (!rest.empty()) {
        IoResult r;
        if (rest.size() >= kReadAhead) {
            r = receiveFromSystem(rest);
        } else {
            if (!ahead_)
                ahead_ = std::make_unique<uint8_t[]>(kReadAhead);
            r = receiveFromSystem({ahead_.get(), kReadAhead});
            if (r.status == IoStatus::Ok) {
                aheadEnd_ = r.bytes;
                r.bytes = std::min(r.bytes, rest.size());
                std::memcpy(rest.data(), ahead_.get(), r.bytes);
                aheadFirst_ = r.bytes;
            }
        }
        if (got == 0) {
            stillWanted_.store(r.status == IoStatus::Ok || r.status == IoStatus::WouldBlock ? rest.size() - r.bytes : 0,
                               std::memory_order_relaxed);
            return r;
        }
        // Read-ahead bytes were handed out: they are this receive's result, and an error
        // is kept for the next one (a close the system reports again).
        if (r.status == IoStatus::Ok)
            got += r.bytes;
        else if (r.status == IoStatus::Error)
            failed_ = true;
    }
    stillWanted_.store(buffer.size() - got, std::memory_order_relaxed);
    return {IoStatus::Ok, got};
}

IoResult PosixSocket::receiveFromSystem(std::span<uint8_t> buffer)
{
    for (;;) {
        ssize_t n = ::recv(fd_, buffer.data(), buffer.size(), MSG_DONTWAIT);
        if (n > 0)
            return {IoStatus::Ok, size_t(n)};
        if (n == 0)
            // After our own shutdown the socket reads as closed; that is no close by the peer.
            return {shut_.load() ? IoStatus::Error : IoStatus::PeerClosed, 0};
        if (errno == EINTR)
            continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            return {IoStatus::WouldBlock, 0};
        return {IoStatus::Error, 0};
    }
}

IoResult PosixSocket::send(std::span<const uint8_t> data)
{
    stillWanted_.store(0, std::memory_order_relaxed); // a request: its reply is awaited from its first byte
    for (;;) {
        if (shut_.load() || fd_ < 0)
            return {IoStatus::Error, 0};
        if (data.empty())
            return {IoStatus::Ok, 0};
        ssize_t n = ::send(fd_, data.data(), data.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
        if (n >= 0)
            return {IoStatus::Ok, size_t(n)};
        if (errno == EINTR)
            continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            return {IoStatus::WouldBlock, 0};
        return {IoStatus::Error, 0};
    }
}

void PosixSocket::shutdown()
{
    shut_.store(true);
    if (fd_ >= 0)
        ::shutdown(fd_, SHUT_RDWR);
}

bool PosixSocket::close()
{
    if (fd_ < 0)
        return true;
    int rc = ::close(fd_);
    fd_ = -1;
    return rc == 0;
}

ConnectStatus PosixSocket::connect(const Ipv4Endpoint& target)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(target.port);
    address.sin_addr.s_addr = htonl(target.address);
    for (;;) {
        if (::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0)
            return ConnectStatus::Connected;
        switch (errno) {
        case EINTR:
        case EINPROGRESS:
        case EALREADY:
            return ConnectStatus::InProgress;
        case EISCONN:
            return ConnectStatus::Connected;
        default:
            return ConnectStatus::Failed;
        }
    }
}

ConnectStatus PosixSocket::waitConnected(uint32_t timeoutMs)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (shut_.load())
            return ConnectStatus::Failed;
        pollfd p{fd_, POLLOUT, 0};
        int n = ::poll(&p, 1, msLeft(deadline));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return ConnectStatus::Failed;
        // Writable also means "failed" on this system: the socket's error decides.
        int error = 0;
        socklen_t length = sizeof error;
        if (::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error != 0)
            return ConnectStatus::Failed;
        return (p.revents & POLLOUT) && !shut_.load() ? ConnectStatus::Connected : ConnectStatus::Failed;
    }
}

std::unique_ptr<SocketTransport> PosixTransportFactory::openTcp() { return makeSocket(AF_INET, false); }

std::unique_ptr<SocketTransport> PosixTransportFactory::openIrda() { return makeSocket(kAfIrda, true); }

std::unique_ptr<Transport> PosixTransportFactory::openSerial(const std::string& path, SerialSetup setup)
{
    return openSerialLine(path, setup);
}

} // namespace sorvane
