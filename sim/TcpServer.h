#pragma once
// The agent's TCP listener: accepts connections and serves each on a thread of its own
// until the peer leaves or the simulator stops.

#include "Session.h"

#include <atomic>
#include <functional>
#include <list>
#include <memory>
#include <string>
#include <thread>

namespace sorvane::sim {

class TcpServer {
public:
    // Serves one accepted connection (peer address in host order). Empty: the device
    // agent (serveConnection).
    using Handler = std::function<void(ByteLink& link, const std::string& description, uint32_t peer)>;

    explicit TcpServer(SimContext& context, Handler handler = {});
    ~TcpServer(); // joins
    TcpServer(const TcpServer&) = delete;
    TcpServer& operator=(const TcpServer&) = delete;

    // Binds and listens; returns an empty string or the reason it failed.
    std::string open();
    std::string address() const { return address_; }
    int port() const { return port_; }

    void start(); // the accept thread
    void join();  // after the stop was requested: waits for every connection thread

private:
    struct Worker {
        std::thread thread;
        std::atomic<bool> done{false};
    };
    void acceptLoop();
    void reap(bool all);

    SimContext& context_;
    Handler handler_;
    int listenFd_ = -1;
    std::string address_;
    int port_ = 0;
    std::thread acceptor_;
    std::list<std::unique_ptr<Worker>> workers_;
};

} // namespace sorvane::sim
