#pragma once
// What the benchmarks' light devices share: a connected pair of loopback TCP sockets,
// whole reads and writes on a blocking socket, and a thread's CPU time.

#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <utility>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

namespace sorvane::bench {

inline double threadCpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

// A connected pair of loopback TCP sockets, both sending small messages at once: the
// program's end, the device's end.
inline std::pair<int, int> loopbackPair()
{
    int l = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (::bind(l, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(l, 1) != 0 ||
        ::getsockname(l, reinterpret_cast<sockaddr*>(&a), &len) != 0)
        std::abort();
    int c = ::socket(AF_INET, SOCK_STREAM, 0);
    if (::connect(c, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0)
        std::abort();
    int d = ::accept(l, nullptr, nullptr);
    ::close(l);
    int one = 1;
    setsockopt(c, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    setsockopt(d, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return {c, d};
}

inline bool readAll(int fd, uint8_t* p, size_t n)
{
    while (n) {
        ssize_t r = ::read(fd, p, n);
        if (r <= 0)
            return false;
        p += r, n -= size_t(r);
    }
    return true;
}

inline bool writeAll(int fd, const uint8_t* p, size_t n)
{
    while (n) {
        ssize_t r = ::write(fd, p, n);
        if (r <= 0)
            return false;
        p += r, n -= size_t(r);
    }
    return true;
}

} // namespace sorvane::bench
