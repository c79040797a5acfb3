// sorvane-cli connecting by LAN discovery, through a proxy server, and by waiting for
// an agent to connect in; each then runs "info".

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "support/LoopbackSim.h"
#include "support/LoopbackSockets.h"
#include "support/SimProcess.h"

using namespace sorvane::test;

extern char** environ;

namespace {

ProcessResult cli(std::vector<std::string> args)
{
    args.insert(args.begin(), programFromEnv("SORVANE_CLI"));
    return runProcess(args, std::chrono::seconds(60));
}

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// Runs sorvane-cli: its exit status, and each part in its output (status 0) or errors.
void expectCli(std::vector<std::string> args, int exit, std::vector<std::string> parts)
{
    const ProcessResult r = cli(std::move(args));
    EXPECT_EQ(r.exitCode, exit) << r.err;
    for (const std::string& part : parts)
        EXPECT_TRUE(has(exit == 0 ? r.out : r.err, part)) << part << " in:\n" << r.out << r.err;
}

std::vector<std::string> operator+(std::vector<std::string> a, const std::vector<std::string>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

std::string word(const SimProcess& sim, const std::string& key, size_t i)
{
    std::string v = sim.fact(key).value_or("");
    for (size_t k = 0; k < i && v.find(' ') != std::string::npos; ++k)
        v = v.substr(v.find(' ') + 1);
    return v.substr(0, v.find(' '));
}

// sorvane-cli running in the background, its standard error read line by line.
class RunningCli {
public:
    explicit RunningCli(std::vector<std::string> args)
    {
        args.insert(args.begin(), programFromEnv("SORVANE_CLI"));
        int out[2], err[2];
        EXPECT_EQ(pipe2(out, O_CLOEXEC), 0);
        EXPECT_EQ(pipe2(err, O_CLOEXEC), 0);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_adddup2(&actions, err[1], 2);
        std::vector<char*> argv;
        for (auto& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        EXPECT_EQ(posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ), 0);
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        ::close(err[1]);
        out_ = out[0];
        err_ = err[0];
    }
    ~RunningCli()
    {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        ::close(out_);
        ::close(err_);
    }
    // The next line on standard error, waiting up to 20 s.
    std::string errLine()
    {
        std::string line;
        char c = 0;
        pollfd p{err_, POLLIN, 0};
        while (::poll(&p, 1, 20000) > 0 && ::read(err_, &c, 1) == 1 && c != '\n')
            line += c;
        return line;
    }
    // Waits for the end; its exit status and standard output.
    int finish(std::string& out)
    {
        char buffer[4096];
        ssize_t n;
        while ((n = ::read(out_, buffer, sizeof buffer)) > 0)
            out.append(buffer, size_t(n));
        int status = 0;
        ::waitpid(pid_, &status, 0);
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    pid_t pid_ = -1;
    int out_ = -1, err_ = -1;
};

} // namespace

TEST(CliConnect, Lan)
{
    LoopbackSim alpha = startLoopbackSim({"--name", "Alpha", "--discovery-port", "0", "--discovery-bind",
                                          "127.255.255.255", "--discovery-repeat", "2"});
    const std::string port = word(*alpha.process, "discovery", 1);
    LoopbackSim beta = startLoopbackSim({"--name", "Beta", "--password", "Secret", "--discovery-port", port,
                                         "--discovery-bind", "127.255.255.255"});
    const std::vector<std::string> lan{"--lan", "--bcast", "127.255.255.255", "--bport", port, "--timeout", "15"};
    expectCli(lan + std::vector<std::string>{"--pick", "Beta", "--password", "SECRET", "info"}, 0, {"name: Beta\n"});
    expectCli(lan + std::vector<std::string>{"--pick", "Beta", "info"}, 1, {"requires a password"});
    expectCli(lan + std::vector<std::string>{"--pick", "Alpha", "info"}, 0, {"depth: 16\n", "name: Alpha\n"});
    expectCli(lan + std::vector<std::string>{"--pick", "Nobody", "--timeout", "4", "info"}, 1,
              {"no device called \"Nobody\" answered"});
}

TEST(CliConnect, Proxy)
{
    SimProcess proxy({"--proxy", "--port", "0", "--proxy-devices", "Free,Busy*"});
    const std::string at = "127.0.0.1:" + std::to_string(proxy.tcpPort());
    expectCli({"--proxy", at, "--pick", "Free", "info"}, 0, {"name: Free\n"});
    expectCli({"--proxy", at, "--pick", "0", "info"}, 0, {"name: Free\n"}); // by its index in the table
    expectCli({"--proxy", at, "--pick", "Busy", "info"}, 1,
              {"The connection attempt failed; the device may be in use"});
    // A device the proxy passes on is refused for what it is, not for a hello.
    SimProcess huge({"--proxy", "--port", "0", "--proxy-devices", "Big", "--width", "4096", "--height", "4096"});
    expectCli({"--proxy", "127.0.0.1:" + std::to_string(huge.tcpPort()), "--pick", "Big", "info"}, 1,
              {"refused: its display of 4096 x 4096 is larger than 2048 x 2048 (through the proxy server)"});
    SimProcess badCount({"--proxy", "--port", "0", "--proxy-count-override", "34"});
    expectCli({"--proxy", "127.0.0.1:" + std::to_string(badCount.tcpPort()), "--pick", "0", "info"}, 1,
              {"Unable to connect to the proxy server"});
    expectCli({"--proxy", "127.0.0.1:65536", "--pick", "0", "info"}, 1, {"65536 is not a port number 1..65535"});
    expectCli({"--proxy", at, "info"}, 2, {"--pick"});
}

TEST(CliConnect, ListenForAnAgentPastScansAndSlowPeers)
{
    RunningCli waiting({"--listen", "127.0.0.1:0", "--timeout", "30", "info"});
    const std::string line = waiting.errLine();
    ASSERT_EQ(line.rfind("listening ", 0), 0u) << line;
    const int port = std::stoi(line.substr(10));
    Socket(connectLoopback(port)).reset(); // a port scan
    Socket silent(connectLoopback(port));  // a peer that never says anything
    EXPECT_EQ(waiting.errLine().rfind("sorvane-cli: rejected 127.0.0.1:", 0), 0u);
    SimProcess agent({"--connect-to", "127.0.0.1:" + std::to_string(port), "--name", "Caller", "--depth", "8"});
    std::string out;
    EXPECT_EQ(waiting.finish(out), 0);
    EXPECT_TRUE(has(out, "depth: 8\n") && has(out, "name: Caller\n")) << out;
}

TEST(CliConnect, UsageErrors)
{
    for (auto args : std::vector<std::vector<std::string>>{{"--bcast", "127.0.0.1", "--host", "x", "info"},
                                                           {"--lan", "--proxy", "127.0.0.1:1", "--pick", "a", "info"},
                                                           {"--listen", "127.0.0.1:70000", "info"},
                                                           {"--pick", "a", "--host", "x", "info"}})
        expectCli(args, 2, {});
    expectCli({"--listen", "127.0.0.1:0", "--timeout", "1", "info"}, 1, {"no device connected"});
}
