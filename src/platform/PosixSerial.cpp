#include "platform/PosixTransports.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <chrono>

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace sorvane {
namespace {

using SteadyClock = std::chrono::steady_clock;

// The line's time-outs, as a handheld's serial link expects them.
constexpr int kReadIntervalMs = 100;
constexpr int kTotalPerByteMs = 1;
constexpr int kTotalConstantMs = 1000;

int msLeft(SteadyClock::time_point deadline)
{
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - SteadyClock::now());
    return left.count() < 0 ? 0 : int(left.count());
}

SteadyClock::time_point totalDeadline(size_t bytes)
{
    // Bounded so that a huge request cannot overflow the arithmetic.
    size_t perByte = bytes > 10'000'000 ? 10'000'000 : bytes;
    return SteadyClock::now() + std::chrono::milliseconds(perByte * kTotalPerByteMs + kTotalConstantMs);
}

class SerialLine final : public Transport {
public:
    SerialLine(int fd, int wake) : fd_(fd), wake_(wake) {}
    ~SerialLine() override { close(); }

    Family family() const override { return Family::File; }

    IoResult receive(std::span<uint8_t> buffer) override
    {
        auto deadline = totalDeadline(buffer.size());
        size_t got = 0;
        while (got < buffer.size()) {
            if (shut_.load())
                return fail(got);
            // Before the first byte only the total time-out counts; after it, a gap
            // longer than the interval time-out ends the read too.
            int wait = msLeft(deadline);
            if (got > 0 && wait > kReadIntervalMs)
                wait = kReadIntervalMs;
            int ready = waitFor(POLLIN, wait);
            if (ready < 0)
                return fail(got);
            if (ready == 0)
                return {IoStatus::Ok, got};
            ssize_t n = ::read(fd_, buffer.data() + got, buffer.size() - got);
            if (n > 0) {
                got += size_t(n);
                continue;
            }
            if (n < 0 && (errno == EAGAIN || errno == EINTR))
                continue;
            return fail(got); // hang-up (0 or EIO) or another error
        }
        return {IoStatus::Ok, got};
    }

    IoResult send(std::span<const uint8_t> data) override
    {
        auto deadline = totalDeadline(data.size());
        size_t done = 0;
        while (done < data.size()) {
            if (shut_.load())
                return fail(done);
            ssize_t n = ::write(fd_, data.data() + done, data.size() - done);
            if (n > 0) {
                done += size_t(n);
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 && errno != EAGAIN)
                return fail(done);
            int ready = waitFor(POLLOUT, msLeft(deadline));
            if (ready < 0)
                return fail(done);
            if (ready == 0)
                return {IoStatus::Ok, done}; // write time-out: what went out so far
        }
        return {IoStatus::Ok, done};
    }

    // Waits for the line to have bytes to read (or a hang-up, or our shutdown, which the
    // next read reports).
    bool waitReadable(uint32_t ms) override
    {
        if (fd_ < 0)
            return false;
        (void)waitFor(POLLIN, int(std::min<uint32_t>(ms, INT32_MAX)));
        return true;
    }

    // A terminal keeps no sticky error state, so there is nothing to clear after a
    // failed read or write (and the input queue is kept: it may hold good bytes).
    void clearError() override {}

    void shutdown() override
    {
        shut_.store(true);
        uint64_t one = 1;
        if (wake_ >= 0)
            (void)!::write(wake_, &one, sizeof one);
    }

    bool close() override
    {
        if (wake_ >= 0) {
            ::close(wake_);
            wake_ = -1;
        }
        if (fd_ < 0)
            return true;
        int rc = ::close(fd_);
        fd_ = -1;
        return rc == 0;
    }

private:
    // 1 ready, 0 time-out, -1 shut down or failed.
    int waitFor(short events, int timeoutMs)
    {
        auto deadline = SteadyClock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            pollfd p[2] = {{fd_, events, 0}, {wake_, POLLIN, 0}};
            int n = ::poll(p, 2, msLeft(deadline));
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 || p[1].revents)
                return -1;
            if (n == 0)
                return 0;
            if (p[0].revents & POLLNVAL)
                return -1;
            return 1; // readable/writable, or hang-up/error for the read/write to report
        }
    }

    IoResult fail(size_t moved) const
    {
        return moved > 0 ? IoResult{IoStatus::Ok, moved} : IoResult{IoStatus::Error, 0};
    }

    int fd_;
    int wake_;
    std::atomic<bool> shut_{false};
};

void makeRaw(termios& t)
{
    t.c_iflag &= ~tcflag_t(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF | IXANY);
    t.c_oflag &= ~tcflag_t(OPOST);
    t.c_lflag &= ~tcflag_t(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    t.c_cflag |= CREAD | CLOCAL;
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
}

} // namespace

std::unique_ptr<Transport> openSerialLine(const std::string& path, SerialSetup setup)
{
    int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    termios t{};
    // Not shared: another program holding the line's lock keeps it.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || ::tcgetattr(fd, &t) != 0) {
        ::close(fd);
        return nullptr;
    }
    makeRaw(t);
    if (setup == SerialSetup::FullLine) {
        t.c_cflag &= ~tcflag_t(CSIZE | PARENB | CSTOPB | CRTSCTS);
        t.c_cflag |= CS8;
        t.c_iflag &= ~tcflag_t(INPCK);
        cfsetispeed(&t, B115200);
        cfsetospeed(&t, B115200);
    }
    if (::tcsetattr(fd, TCSANOW, &t) != 0) {
        ::close(fd);
        return nullptr;
    }
    if (setup == SerialSetup::FullLine)
        ::tcflush(fd, TCIOFLUSH);
    // Raise DTR, then RTS. Lines without modem control (pseudo-terminals) refuse; that is fine.
    int dtr = TIOCM_DTR, rts = TIOCM_RTS;
    ::ioctl(fd, TIOCMBIS, &dtr);
    ::ioctl(fd, TIOCMBIS, &rts);
    int wake = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wake < 0) {
        ::close(fd);
        return nullptr;
    }
    return std::make_unique<SerialLine>(fd, wake);
}

} // namespace sorvane
