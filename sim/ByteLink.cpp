#include "ByteLink.h"

#include "StopSignal.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace sorvane::sim {

ByteLink::ByteLink(int fd, Kind kind, bool ownsFd, const StopSignal& stop)
    : fd_(fd), kind_(kind), ownsFd_(ownsFd), stop_(stop)
{
    int flags = fcntl(fd_, F_GETFL);
    if (flags >= 0)
        fcntl(fd_, F_SETFL, flags | O_NONBLOCK);
}

ByteLink::~ByteLink() { close(); }

bool ByteLink::fill()
{
    if (ended_)
        return false;
    uint8_t buf[8192];
    for (;;) {
        pollfd p[2] = {{fd_, POLLIN, 0}, {stop_.fd(), POLLIN, 0}};
        int n = ::poll(p, 2, -1);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 || (p[1].revents & POLLIN)) {
            ended_ = true;
            return false;
        }
        ssize_t got = ::read(fd_, buf, sizeof buf);
        if (got > 0) {
            if (inPos_ == in_.size()) {
                in_.clear();
                inPos_ = 0;
            }
            in_.insert(in_.end(), buf, buf + got);
            return true;
        }
        if (got < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        // 0: the peer closed; EIO on a terminal master: the other side hung up.
        ended_ = true;
        return false;
    }
}

bool ByteLink::readExact(uint8_t* out, size_t n)
{
    while (n > 0) {
        if (inPos_ == in_.size() && !fill())
            return false;
        size_t take = std::min(n, in_.size() - inPos_);
        std::memcpy(out, in_.data() + inPos_, take);
        inPos_ += take;
        out += take;
        n -= take;
    }
    return true;
}

bool ByteLink::writeAll(const uint8_t* data, size_t n)
{
    while (n > 0 && !ended_) {
        ssize_t w = kind_ == Kind::Socket ? ::send(fd_, data, n, MSG_NOSIGNAL) : ::write(fd_, data, n);
        if (w > 0) {
            data += w;
            n -= size_t(w);
            continue;
        }
        if (w < 0 && errno == EINTR)
            continue;
        if (w < 0 && errno == EAGAIN) {
            pollfd p[2] = {{fd_, POLLOUT, 0}, {stop_.fd(), POLLIN, 0}};
            int r = ::poll(p, 2, -1);
            if (r < 0 && errno == EINTR)
                continue;
            if (r < 0 || (p[1].revents & POLLIN))
                ended_ = true;
            continue;
        }
        ended_ = true;
    }
    return n == 0;
}

void ByteLink::close()
{
    if (fd_ < 0)
        return;
    if (kind_ == Kind::Socket && !ended_) {
        // Closing a socket with unread input resets the connection and may destroy the
        // answer still on its way; shut down our side, then read until the peer closes.
        ::shutdown(fd_, SHUT_WR);
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(1000);
        uint8_t sink[4096];
        for (;;) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
            if (left <= 0)
                break;
            pollfd p[2] = {{fd_, POLLIN, 0}, {stop_.fd(), POLLIN, 0}};
            int r = ::poll(p, 2, int(left));
            if (r < 0 && errno == EINTR)
                continue;
            if (r <= 0 || (p[1].revents & POLLIN))
                break;
            ssize_t got = ::read(fd_, sink, sizeof sink);
            if (got < 0 && (errno == EINTR || errno == EAGAIN))
                continue;
            if (got <= 0)
                break;
        }
    }
    if (kind_ == Kind::Terminal && !ended_) {
        // Hanging up a terminal throws away what the client has not read yet; wait until
        // its input queue (seen through a slave descriptor of our own) has stayed empty
        // for a while: the kernel moves written bytes into that queue a little later.
        if (const char* slave = ptsname(fd_)) {
            int s = ::open(slave, O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
            for (int waited = 0, quiet = 0; s >= 0 && waited < 3000 && quiet < 100; waited += 10) {
                int queued = 0;
                if (::ioctl(s, FIONREAD, &queued) != 0 || stop_.sleepFor(10))
                    break;
                quiet = queued == 0 ? quiet + 10 : 0;
            }
            if (s >= 0)
                ::close(s);
        }
    }
    ended_ = true;
    if (ownsFd_)
        ::close(fd_);
    fd_ = -1;
}

} // namespace sorvane::sim
