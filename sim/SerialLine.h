#pragma once
// The agent on a serial line, simulated by a pseudo-terminal: the client opens the
// slave path ("serial <path>" on the event log) as it would open a serial port. A
// session lasts from the client's open to its close (the master reports a hang-up); the
// next open starts a new one. When the agent itself ends a session (--close-after,
// --close-mid-update) it hangs up the line by closing the master, then offers a fresh
// pseudo-terminal and reports its path again. One thread serves the line.

#include "Session.h"

#include <string>
#include <thread>

namespace sorvane::sim {

class SerialLine {
public:
    explicit SerialLine(SimContext& context);
    ~SerialLine(); // joins
    SerialLine(const SerialLine&) = delete;
    SerialLine& operator=(const SerialLine&) = delete;

    std::string open(); // empty string or the reason it failed
    const std::string& path() const { return path_; }

    void start();
    void join();

private:
    void run();
    bool waitForClient();

    SimContext& context_;
    int master_ = -1;
    std::string path_;
    std::thread thread_;
};

} // namespace sorvane::sim
