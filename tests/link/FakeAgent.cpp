#include "FakeAgent.h"

#include <cerrno>
#include <chrono>
#include <stdexcept>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <pty.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include "platform/ByteOrder.h"

namespace sorvane::test {

std::vector<uint8_t> replyPacket(uint8_t code) { return {code, 0xFF, code, 0x11}; }

AgentScript deviceScript(int32_t depth, const std::string& password)
{
    AgentScript s;
    s.info.depth = depth;
    s.info.width = 240;
    s.info.height = 320;
    s.info.orientation = depth == 4 ? 90 : 0;
    s.info.altDepth = 8;
    s.info.altWidth = 128;
    s.info.altHeight = 96;
    s.info.altOrientation = 180;
    s.info.spareInfo = 0x5150;
    s.info.setName("Sim " + std::to_string(depth));
    s.info.setPassword(password);
    if (depth >= 0 && depth < 16) {
        s.palette.resize(size_t(4) << depth);
        for (size_t i = 0; i < s.palette.size(); ++i)
            s.palette[i] = uint8_t(i * 5 + depth);
    }
    return s;
}

FakeAgent::FakeAgent(Kind kind, AgentScript script) : kind_(kind), script_(std::move(script))
{
    stop_ = ::eventfd(0, EFD_CLOEXEC);
    if (kind == Kind::Tcp) {
        listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        if (::bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(listener_, 4) != 0 ||
            ::getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &len) != 0)
            throw std::runtime_error("cannot listen on loopback");
        port_ = ntohs(a.sin_port);
    } else {
        char name[256];
        if (::openpty(&master_, &slave_, name, nullptr, nullptr) != 0)
            throw std::runtime_error("openpty failed");
        termios t{};
        ::tcgetattr(slave_, &t);
        ::cfmakeraw(&t);
        ::tcsetattr(slave_, TCSANOW, &t);
        path_ = name;
    }
    thread_ = std::thread([this] { run(); });
}

FakeAgent::~FakeAgent()
{
    uint64_t one = 1;
    (void)!::write(stop_, &one, sizeof one);
    thread_.join();
    for (int fd : {listener_, master_, slave_, stop_})
        if (fd >= 0)
            ::close(fd);
}

std::vector<uint8_t> FakeAgent::commandsAfterClose()
{
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, std::chrono::seconds(20), [this] { return clientGone_; });
    return commands_;
}

void FakeAgent::run()
{
    if (kind_ == Kind::Pty) {
        serve(master_);
        return;
    }
    pollfd p[2] = {{listener_, POLLIN, 0}, {stop_, POLLIN, 0}};
    if (::poll(p, 2, -1) <= 0 || p[1].revents)
        return;
    int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0)
        return;
    serve(fd);
    ::close(fd);
}

bool FakeAgent::writeAll(int fd, const std::vector<uint8_t>& bytes)
{
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += size_t(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN)
            return false;
        // Full: wait for room, or for the test to end.
        pollfd p[2] = {{fd, POLLOUT, 0}, {stop_, POLLIN, 0}};
        if (::poll(p, 2, -1) < 0 && errno != EINTR)
            return false;
        if (p[1].revents)
            return false;
    }
    return true;
}

void FakeAgent::serve(int fd)
{
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    std::vector<uint8_t> pending;
    for (;;) {
        pollfd p[2] = {{fd, POLLIN, 0}, {stop_, POLLIN, 0}};
        if (::poll(p, 2, -1) < 0 && errno == EINTR)
            continue;
        if (p[1].revents)
            break;
        uint8_t buf[4096];
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (n <= 0) {
            // The client closed its end (a pseudo-terminal's master reads EIO then).
            std::lock_guard lock(mutex_);
            clientGone_ = true;
            changed_.notify_all();
            break;
        }
        if (slave_ >= 0) {
            // The client has the terminal open now (it wrote to it); ours kept it
            // alive until then, and would hide the client's close from us.
            ::close(slave_);
            slave_ = -1;
        }
        pending.insert(pending.end(), buf, buf + n);
        while (pending.size() >= 4) {
            uint8_t code = pending[0];
            pending.erase(pending.begin(), pending.begin() + 4);
            {
                std::lock_guard lock(mutex_);
                commands_.push_back(code);
            }
            if (script_.silent)
                continue;
            std::vector<uint8_t> answer;
            if (code == 'P') {
                answer = script_.helloAnswer;
            } else if (code == 92) {
                answer.resize(DeviceInfoBlock::kSize);
                script_.info.encode(std::span<uint8_t, DeviceInfoBlock::kSize>(answer.data(), answer.size()));
                answer.resize(script_.infoBytes);
            } else if (code == ']') {
                answer.resize(4);
                storeLe32(answer.data(), script_.paletteFlag);
                if (script_.paletteFlag != 0)
                    answer.insert(answer.end(), script_.palette.begin(), script_.palette.end());
                answer.insert(answer.end(), script_.afterPalette.begin(), script_.afterPalette.end());
            }
            writeAll(fd, answer);
            if (code == 92 && script_.infoBytes < DeviceInfoBlock::kSize && kind_ == Kind::Tcp)
                ::shutdown(fd, SHUT_WR);
        }
    }
}

} // namespace sorvane::test
