#include "connect/LanDiscovery.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <utility>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "platform/ByteOrder.h"

namespace sorvane {
namespace {

constexpr size_t kNameOffset = 4;
constexpr size_t kNameSize = PasswordTable::kPasswordOffset - kNameOffset; // 252
constexpr uint32_t kPollStepMs = 50; // how often a wait looks at the cancel token

} // namespace

std::array<uint8_t, kLanRequestSize> encodeLanRequest() { return {kLanMagic, 0, 0, 0}; }

std::optional<LanDevice> decodeLanReply(std::span<const uint8_t> d, uint32_t senderAddress)
{
    if (d.size() != kLanReplySize || d[0] != kLanMagic)
        return std::nullopt;
    LanDevice device;
    device.address = senderAddress;
    device.name = std::string(fixedString(d.subspan(kNameOffset, kNameSize)));
    std::memcpy(device.password.data(), d.data() + PasswordTable::kPasswordOffset, device.password.size());
    return device;
}

std::string dottedAddress(uint32_t a)
{
    return std::to_string(a >> 24) + "." + std::to_string((a >> 16) & 0xFF) + "." + std::to_string((a >> 8) & 0xFF) +
           "." + std::to_string(a & 0xFF);
}

std::optional<size_t> DiscoveredDevices::append(const LanDevice& device)
{
    for (size_t i = 0; i < count_; ++i)
        if (this->device(i).address == device.address)
            return std::nullopt;
    if (count_ >= PasswordTable::kRecords)
        return std::nullopt;
    std::span<uint8_t> r = table_.record(count_);
    // The address as it travels: first octet first.
    r[0] = uint8_t(device.address >> 24);
    r[1] = uint8_t(device.address >> 16);
    r[2] = uint8_t(device.address >> 8);
    r[3] = uint8_t(device.address);
    storeFixedString(r.subspan(kNameOffset, kNameSize), device.name);
    table_.setPasswordBytes(count_, device.password);
    return count_++;
}

LanDevice DiscoveredDevices::device(size_t i) const
{
    LanDevice d;
    std::span<const uint8_t> r = std::as_const(table_).record(i);
    if (i >= count_ || r.empty())
        return d;
    d.address = (uint32_t(r[0]) << 24) | (uint32_t(r[1]) << 16) | (uint32_t(r[2]) << 8) | r[3];
    d.name = std::string(fixedString(r.subspan(kNameOffset, kNameSize)));
    std::memcpy(d.password.data(), r.data() + PasswordTable::kPasswordOffset, d.password.size());
    return d;
}

LanDiscovery::~LanDiscovery() { close(); }

bool LanDiscovery::open(uint32_t address, int port, std::string& error)
{
    close();
    if (port < 1 || port > 65535) {
        error = "the discovery port " + std::to_string(port) + " is not a port number 1..65535";
        return false;
    }
    fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd_ < 0) {
        error = std::string("cannot create a UDP socket: ") + std::strerror(errno);
        return false;
    }
    address_ = address;
    port_ = uint16_t(port);
    broadcastOn_ = false;
    if (address == kLimitedBroadcast) {
        int on = 1;
        broadcastOn_ = ::setsockopt(fd_, SOL_SOCKET, SO_BROADCAST, &on, sizeof on) == 0;
    }
    return true;
}

void LanDiscovery::close()
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
    reported_.clear();
}

std::optional<LanDevice> LanDiscovery::tick(uint32_t waitMs, const CancelToken* cancel)
{
    if (fd_ < 0)
        return std::nullopt;
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port_);
    to.sin_addr.s_addr = htonl(address_);
    const auto request = encodeLanRequest();
    auto send = [&] {
        return ::sendto(fd_, request.data(), request.size(), MSG_NOSIGNAL, reinterpret_cast<sockaddr*>(&to),
                        sizeof to) == ssize_t(request.size());
    };
    sendFailed_ = !send();
    if (sendFailed_ && errno == EACCES && !broadcastOn_) {
        // The system says the address is a broadcast address (a subnet's, or the
        // loopback one): such sending has to be allowed first.
        int on = 1;
        broadcastOn_ = ::setsockopt(fd_, SOL_SOCKET, SO_BROADCAST, &on, sizeof on) == 0;
        sendFailed_ = !(broadcastOn_ && send());
    }

    // Replies that came before the wait (from earlier ticks) count at once.
    if (auto d = readQueued())
        return d;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
    for (;;) {
        if (cancel && cancel->cancelled())
            return std::nullopt;
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return std::nullopt;
        pollfd p{fd_, POLLIN, 0};
        int n = ::poll(&p, 1, int(std::min<long>(left.count(), kPollStepMs)));
        if (n < 0 && errno != EINTR)
            return std::nullopt;
        if (n > 0 && (p.revents & POLLIN)) {
            // Repeats and strays are dropped and the wait goes on: a new device may
            // still answer within it.
            if (auto d = readQueued())
                return d;
        }
    }
}

std::optional<LanDevice> LanDiscovery::readQueued()
{
    uint8_t buffer[2048];
    for (;;) {
        sockaddr_in from{};
        socklen_t len = sizeof from;
        // MSG_TRUNC: the datagram's real length, so a longer one is never taken for a reply.
        ssize_t n = ::recvfrom(fd_, buffer, sizeof buffer, MSG_TRUNC, reinterpret_cast<sockaddr*>(&from), &len);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return std::nullopt; // nothing more queued (or an error: the next tick tries again)
        }
        if (size_t(n) > sizeof buffer || len < sizeof(sockaddr_in) || from.sin_family != AF_INET)
            continue;
        auto device = decodeLanReply(std::span<const uint8_t>(buffer, size_t(n)), ntohl(from.sin_addr.s_addr));
        if (!device || reported_.count(device->address) || reported_.size() >= PasswordTable::kRecords)
            continue;
        reported_.insert(device->address);
        return device;
    }
}

} // namespace sorvane
