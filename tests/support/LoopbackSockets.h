#pragma once
// Plain TCP sockets on 127.0.0.1 for tests of listeners and servers: a client
// connection, another program's listener, a port nobody listens on. Header-only.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace sorvane::test {

// A socket of the test's own (-1: none), closed with the object.
struct Socket {
    int fd = -1;
    explicit Socket(int f) : fd(f) {}
    ~Socket() { reset(); }
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
    void reset()
    {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
};

inline sockaddr_in loopbackAddress(int port)
{
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(uint16_t(port));
    a.sin_addr.s_addr = htonl(0x7F000001);
    return a;
}

// Connects to 127.0.0.1:port: the socket, or -1 when refused.
inline int connectLoopback(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_in a = loopbackAddress(port);
    if (fd >= 0 && ::connect(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a) == 0)
        return fd;
    if (fd >= 0)
        ::close(fd);
    return -1;
}

// Another program's listener on 127.0.0.1, on a port the system picks (port 0 when
// none could be had).
struct OtherListener {
    Socket socket{::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)};
    int port = 0;
    explicit OtherListener(bool listening = true)
    {
        sockaddr_in a = loopbackAddress(0);
        socklen_t len = sizeof a;
        if (::bind(socket.fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 && (!listening || ::listen(socket.fd, 1) == 0) &&
            ::getsockname(socket.fd, reinterpret_cast<sockaddr*>(&a), &len) == 0)
            port = ntohs(a.sin_port);
    }
};

// A loopback port nobody listens on right now (bound for a moment, then closed).
inline int freeLoopbackPort() { return OtherListener(false).port; }

} // namespace sorvane::test
