#pragma once
// Starting sorvane-sim and other programs from tests.
//
// sorvane-sim announces itself on standard output, one line per fact, then the line
// "ready":
//   tcp 127.0.0.1 40123        a TCP listener (address, port)
//   serial /dev/pts/7          a serial line on a pseudo-terminal
//   <key> <value...>           anything else a mode announces
// SimProcess starts it, waits for "ready" (bounded), and ends it when destroyed.

#include <chrono>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <sys/types.h>

namespace sorvane::test {

// Path of a program handed to the tests by CMake through an environment variable
// (SORVANE_SIM, SORVANE_CLI); fails the calling test when it is not set.
std::string programFromEnv(const char* variable);

class SimProcess {
public:
    // Starts the simulator with these arguments. Throws std::runtime_error when it
    // cannot start or does not print "ready" within the timeout.
    explicit SimProcess(const std::vector<std::string>& args,
                        std::chrono::milliseconds timeout = std::chrono::seconds(20));
    ~SimProcess();
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    // The announced facts, by key ("tcp", "serial", ...); the value is the rest of the line.
    std::optional<std::string> fact(const std::string& key) const;
    int tcpPort() const;            // port of the "tcp" line; throws if none
    std::string serialPath() const; // path of the "serial" line; throws if none

    // Reads one more line the simulator prints after "ready" (without the newline);
    // nullopt on time-out or end of output.
    std::optional<std::string> readLine(std::chrono::milliseconds timeout);

    // Sends a signal / waits for the process to end; returns its exit status
    // (or 128 + signal number), nullopt when it did not end in time.
    void signal(int sig);
    std::optional<int> wait(std::chrono::milliseconds timeout);

private:
    pid_t pid_ = -1;
    int out_ = -1;
    std::string pending_;
    std::multimap<std::string, std::string> facts_;
    std::optional<int> status_;
};

// The Refresh Display requests of the simulator's last connection but for those its palette
// changes called for, as --dump-dir counts them: 1 where the client refused no update.
int simRefreshes(const std::filesystem::path& dumpDir);

struct ProcessResult {
    int exitCode = -1; // exit status, or 128 + signal; -1 when killed for the time-out
    std::string out;
    std::string err;
};

// Runs a program to its end with no standard input, gathering its output. A program
// still running after the timeout is killed and reported with exitCode -1.
ProcessResult runProcess(const std::vector<std::string>& argv,
                         std::chrono::milliseconds timeout = std::chrono::seconds(60));

} // namespace sorvane::test
