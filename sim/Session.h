#pragma once
// What every connection of the simulator shares, and the running of one connection.
// The context is made by main and outlives every thread; it is passed by reference.

#include "Agent.h"

#include <atomic>
#include <string>

namespace sorvane::sim {

class EventLog;
class StopSignal;
struct SimOptions;

struct SimContext {
    const SimOptions& options;
    EventLog& log;
    StopSignal& stop;
    std::atomic<int> nextConnection{1};
    EventLog* packets = nullptr; // --packet-log
};

// Runs one connection to its end, reporting "connected <n> <description>" before and
// "disconnected <n>" after; requests the stop when --once is set. Blocks; thread-safe
// (each connection on its own thread).
Agent::Ending serveConnection(SimContext& context, ByteLink& link, const std::string& description);

} // namespace sorvane::sim
