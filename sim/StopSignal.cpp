#include "StopSignal.h"

#include <cerrno>
#include <stdexcept>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace sorvane::sim {

StopSignal::StopSignal()
{
    if (pipe2(pipe_, O_CLOEXEC | O_NONBLOCK) != 0)
        throw std::runtime_error("cannot create the stop pipe");
}

StopSignal::~StopSignal()
{
    ::close(pipe_[0]);
    ::close(pipe_[1]);
}

void StopSignal::request()
{
    if (requested_.exchange(true))
        return;
    char b = 1;
    while (::write(pipe_[1], &b, 1) < 0 && errno == EINTR) {
    }
}

bool StopSignal::sleepFor(int ms) const
{
    pollfd p{pipe_[0], POLLIN, 0};
    while (::poll(&p, 1, ms) < 0 && errno == EINTR) {
    }
    return requested();
}

} // namespace sorvane::sim
