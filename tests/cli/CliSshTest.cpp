// sorvane-cli through a real OpenSSH server on loopback: the link in a direct-tcpip
// channel, host keys checked against a known-hosts file that ssh-keygen reads too, and
// each refusal named for what it is.

#include <gtest/gtest.h>

#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <random>

#include "support/LoopbackSockets.h"
#include "support/SimProcess.h"
#include "support/SshServer.h"
#include "support/TempDir.h"

using namespace sorvane::test;
namespace fs = std::filesystem;

namespace {

using Args = std::vector<std::string>;

Args operator+(Args a, const Args& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// A device serving a sandbox, a gateway, and a home without keys or an agent, so that
// only the keys a test names are offered.
struct Gatewayed {
    TempDir home, pc;
    fs::path sandbox = pc / "device";
    fs::path knownHosts = pc / "known_hosts";
    SshServer ssh;
    std::unique_ptr<SimProcess> sim;

    Gatewayed()
    {
        fs::create_directory(sandbox);
        sim = std::make_unique<SimProcess>(
            Args{"--port", "0", "--files", sandbox.string(), "--packet-log", (pc / "packets.log").string()});
        setenv("HOME", home.path().c_str(), 1);
        unsetenv("SSH_AUTH_SOCK");
    }
    Args direct() const { return {"--host", "127.0.0.1", "--port", std::to_string(sim->tcpPort())}; }
    Args via(const fs::path& key) const
    {
        return direct() + Args{"--ssh", ssh.gateway(), "--ssh-key", key.string(), "--ssh-known-hosts",
                               knownHosts.string()};
    }
    // Runs sorvane-cli in a session of its own: no terminal to ask on.
    ProcessResult cli(const Args& args) const
    {
        return runProcess(Args{"/usr/bin/setsid", "-w", programFromEnv("SORVANE_CLI")} + args,
                          std::chrono::seconds(60));
    }
    // Whether ssh-keygen finds the gateway in the known-hosts file.
    bool known() const
    {
        return runProcess({"/usr/bin/ssh-keygen", "-F", "[127.0.0.1]:" + std::to_string(ssh.port()), "-f",
                           knownHosts.string()})
                   .exitCode == 0;
    }
};

void expectFailure(const ProcessResult& r, const std::string& reason)
{
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_TRUE(has(r.err, reason)) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
}

size_t count(const std::string& text, const std::string& part)
{
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

} // namespace

TEST(CliSsh, TheLinkGoesThroughTheGatewayOnceItsKeyIsKnown)
{
    Gatewayed g;
    const Args via = g.via(g.ssh.clientKey());
    // An unknown key: refused, with the fingerprint ssh-keygen gives for it; nothing recorded.
    ASSERT_FALSE(g.ssh.hostFingerprint().empty());
    expectFailure(g.cli(via + Args{"info"}), g.ssh.hostFingerprint());
    EXPECT_FALSE(g.known());
    ProcessResult r = g.cli(via + Args{"--ssh-accept-new", "info"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(has(r.out, "name: Sorvane Sim\n")) << r.out;
    EXPECT_TRUE(g.known());

    // The same picture through the gateway as directly, byte for byte.
    ASSERT_EQ(g.cli(via + Args{"capture", (g.pc / "tunnel.png").string()}).exitCode, 0);
    ASSERT_EQ(g.cli(g.direct() + Args{"capture", (g.pc / "direct.png").string()}).exitCode, 0);
    EXPECT_GT(readFile(g.pc / "direct.png").size(), 100u);
    EXPECT_EQ(readFile(g.pc / "tunnel.png"), readFile(g.pc / "direct.png"));

    // A file there and back: larger than any window or buffer on the way.
    std::string bytes(700 * 1024, '\0');
    std::mt19937 random(7);
    std::generate(bytes.begin(), bytes.end(), [&] { return char(random()); });
    writeFile(g.pc / "up.bin", bytes);
    r = g.cli(via + Args{"put", (g.pc / "up.bin").string(), "\\"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(readFile(g.sandbox / "up.bin"), bytes);
    r = g.cli(via + Args{"get", "\\up.bin", (g.pc / "down.bin").string()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(readFile(g.pc / "down.bin"), bytes);

    // A script replayed through it reaches the device in order.
    writeFile(g.pc / "s.txt", "MOUSEDOWN,10,20\r\nMOUSEUP,120,88\r\nKEYDOWN,13\r\n");
    ASSERT_EQ(g.cli(via + Args{"play", (g.pc / "s.txt").string()}).exitCode, 0);
    g.sim->signal(SIGTERM);
    g.sim->wait(std::chrono::seconds(10));
    const std::string packets = readFile(g.pc / "packets.log");
    const size_t down = packets.find("input 54ff54110a001400"), up = packets.find("input 55ff551178005800");
    EXPECT_TRUE(down != std::string::npos && up != std::string::npos && down < up) << packets;

    // The server opened a direct-tcpip channel to the device for every run through it.
    const std::string log = g.ssh.log();
    EXPECT_EQ(count(log, "server_request_direct_tcpip"), 5u) << log;
    EXPECT_TRUE(has(log, "port " + std::to_string(g.sim->tcpPort()))) << log;

    // With the gateway gone the link is not made some other way.
    g.ssh.stop();
    expectFailure(g.cli(via + Args{"info"}), "the SSH gateway " + g.ssh.gateway() + " could not be reached");
}

TEST(CliSsh, RefusalsNameTheirCause)
{
    Gatewayed g;
    // A changed key is refused even with --ssh-accept-new, and the way out is named.
    writeFile(g.knownHosts, g.ssh.otherKnownHostsLine());
    const ProcessResult changed = g.cli(g.via(g.ssh.clientKey()) + Args{"--ssh-accept-new", "info"});
    expectFailure(changed, "has changed");
    EXPECT_TRUE(has(changed.err, "ssh-keygen -R '[127.0.0.1]:" + std::to_string(g.ssh.port()) + "'")) << changed.err;
    EXPECT_TRUE(has(changed.err, g.ssh.hostFingerprint())) << changed.err;
    fs::remove(g.knownHosts);
    ASSERT_EQ(g.cli(g.via(g.ssh.clientKey()) + Args{"--ssh-accept-new", "info"}).exitCode, 0);

    // A key the gateway does not take, a locked key with no terminal to ask for its
    // passphrase on: refused, naming the key.
    expectFailure(g.cli(g.via(g.ssh.strangerKey()) + Args{"info"}),
                  "authentication refused: no terminal to ask on (the key " + g.ssh.strangerKey().string() +
                      " was not accepted)");
    expectFailure(g.cli(g.via(g.ssh.lockedKey()) + Args{"info"}),
                  "authentication refused: no terminal to ask on (the key " + g.ssh.lockedKey().string() +
                      " is locked by a passphrase)");
    // Nobody at the device's port: the gateway refuses the channel.
    const int nobody = freeLoopbackPort();
    expectFailure(g.cli(Args{"--host", "127.0.0.1", "--port", std::to_string(nobody), "--ssh", g.ssh.gateway(),
                             "--ssh-key", g.ssh.clientKey().string(), "--ssh-known-hosts", g.knownHosts.string(),
                             "info"}),
                  "refused the channel to the device");
    // A gateway that takes the connection and never speaks fails within its bound.
    OtherListener mute;
    expectFailure(g.cli(g.direct() + Args{"--ssh", "me@127.0.0.1:" + std::to_string(mute.port), "--ssh-timeout",
                                          "1", "info"}),
                  "in time");
    // A proxy through the gateway: its table and the device, each in a channel.
    SimProcess proxy({"--proxy", "--port", "0", "--proxy-devices", "Free"});
    const ProcessResult r =
        g.cli(Args{"--proxy", "127.0.0.1:" + std::to_string(proxy.tcpPort()), "--pick", "Free", "--ssh",
                   g.ssh.gateway(), "--ssh-key", g.ssh.clientKey().string(), "--ssh-known-hosts",
                   g.knownHosts.string(), "info"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(has(r.out, "name: Free\n")) << r.out;
    EXPECT_EQ(g.cli(g.direct() + Args{"--ssh-key", "k", "info"}).exitCode, 2);
    EXPECT_EQ(g.cli(Args{"--serial", "/dev/null", "--ssh", "a@b", "info"}).exitCode, 2);
}

// The passphrase of a locked key is asked on the terminal, without echo, and goes
// nowhere else.
TEST(CliSsh, PassphraseAskedOnTheTerminal)
{
    Gatewayed g;
    int master = -1;
    const std::string cli = programFromEnv("SORVANE_CLI");
    const Args args = Args{cli} + g.via(g.ssh.lockedKey()) + Args{"--ssh-accept-new", "info"};
    std::vector<char*> argv;
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const pid_t pid = ::forkpty(&master, nullptr, nullptr, nullptr);
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    std::string seen;
    bool answered = false;
    for (int waited = 0; waited < 600; ++waited) { // 60 s at most
        pollfd p{master, POLLIN, 0};
        if (::poll(&p, 1, 100) <= 0)
            continue;
        char buffer[512];
        const ssize_t n = ::read(master, buffer, sizeof buffer);
        if (n <= 0)
            break; // the program ended
        seen.append(buffer, size_t(n));
        if (!answered && has(seen, "Passphrase for " + g.ssh.lockedKey().string() + ":")) {
            const std::string line = std::string(SshServer::kPassphrase) + "\n";
            ASSERT_EQ(::write(master, line.data(), line.size()), ssize_t(line.size()));
            answered = true;
        }
    }
    int status = -1;
    ::waitpid(pid, &status, 0);
    ::close(master);
    EXPECT_TRUE(answered) << seen;
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << seen;
    EXPECT_TRUE(has(seen, "name: Sorvane Sim")) << seen;
    EXPECT_FALSE(has(seen, SshServer::kPassphrase)) << seen; // not echoed
    for (const fs::path& folder : {g.home.path(), g.pc.path()})
        for (const auto& entry : fs::recursive_directory_iterator(folder)) {
            if (entry.is_regular_file()) {
                EXPECT_FALSE(has(readFile(entry.path()), SshServer::kPassphrase)) << entry.path();
            }
        }
}
