#include "cli/TerminalQuestions.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

namespace sorvane::cli {
namespace {

void writeAll(int fd, const std::string& text)
{
    size_t at = 0;
    while (at < text.size()) {
        const ssize_t n = ::write(fd, text.data() + at, text.size() - at);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        at += size_t(n);
    }
}

} // namespace

std::unique_ptr<TerminalQuestions> TerminalQuestions::open()
{
    const int fd = ::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    if (!::isatty(fd)) {
        ::close(fd);
        return nullptr;
    }
    return std::unique_ptr<TerminalQuestions>(new TerminalQuestions(fd));
}

TerminalQuestions::~TerminalQuestions()
{
    ::close(fd_);
}

std::optional<std::string> TerminalQuestions::askSecret(SshSecretKind, const std::string& prompt,
                                                        const std::function<bool()>& cancelled)
{
    termios saved{};
    if (::tcgetattr(fd_, &saved) != 0)
        return std::nullopt;
    termios quiet = saved;
    quiet.c_lflag &= ~tcflag_t(ECHO);
    quiet.c_lflag |= ICANON | ECHONL;
    ::tcsetattr(fd_, TCSAFLUSH, &quiet);
    writeAll(fd_, prompt + " ");
    std::string line;
    bool answered = false;
    // Lines of at most 1 KiB; the question ends with the line, end of input or a cancel.
    while (!answered && line.size() < 1024) {
        pollfd p{fd_, POLLIN, 0};
        const int ready = ::poll(&p, 1, 100);
        if (ready < 0 && errno != EINTR)
            break;
        if (cancelled && cancelled())
            break;
        if (ready <= 0)
            continue;
        char c = 0;
        const ssize_t n = ::read(fd_, &c, 1);
        if (n < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (n <= 0)
            break;
        if (c == '\n' || c == '\r')
            answered = true;
        else
            line += c;
    }
    ::tcsetattr(fd_, TCSAFLUSH, &saved);
    if (!answered) {
        writeAll(fd_, "\n");
        return std::nullopt;
    }
    return line;
}

} // namespace sorvane::cli
