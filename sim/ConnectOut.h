#pragma once
// The agent connecting out to a PC's inbound port (--connect-to): it tries every
// 100 ms until the PC accepts, then serves that one connection like an accepted one
// ("connected <n> tcp-out <address:port>" ... "disconnected <n>"). One thread.

#include "Session.h"

#include <thread>

namespace sorvane::sim {

class ConnectOut {
public:
    explicit ConnectOut(SimContext& context);
    ~ConnectOut(); // joins
    ConnectOut(const ConnectOut&) = delete;
    ConnectOut& operator=(const ConnectOut&) = delete;

    void start();
    void join();

private:
    void run();
    int connectOnce(); // a connected socket, or -1

    SimContext& context_;
    std::thread thread_;
};

} // namespace sorvane::sim
