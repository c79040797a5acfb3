// sorvane-cli end to end, each run ending with "info": to sorvane-sim over loopback TCP
// and a pseudo-terminal; to canned devices where a device must misbehave in a way the
// simulator does not (silence, a palette that never comes, hostile text); by LAN
// discovery, through a proxy server, and by waiting for an agent to connect in.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>

#include <pty.h>
#include <unistd.h>

#include "../link/ScriptedTransport.h"
#include "link/CommandPacket.h"
#include "support/TempDir.h"
#include "support/LoopbackSim.h"
#include "support/LoopbackSockets.h"
#include "support/SimProcess.h"

using namespace sorvane;
using namespace sorvane::test;

namespace {

ProcessResult cli(std::vector<std::string> args)
{
    args.insert(args.begin(), programFromEnv("SORVANE_CLI"));
    return runProcess(args, std::chrono::seconds(60));
}

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// A failed run: status 1, nothing on standard output, one line naming the reason.
void expectFailure(const ProcessResult& r, const char* reason)
{
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find(reason), std::string::npos) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
}

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

// A device on 127.0.0.1 that sends `answers` as soon as a client connects, whatever it
// is asked; then, until the client goes, it keeps the link open without a word, or
// answers each screen request with an empty update (its screen is all 0) and a refresh
// with 'a' (counting the refreshes), or streams garbage.
class CannedDevice {
public:
    enum class Then { Silence, EmptyUpdates, Garbage };
    explicit CannedDevice(std::vector<uint8_t> answers, Then then = Then::Silence)
        : thread_([this, answers = std::move(answers), then] {
              Socket link(::accept(listener_.socket.fd, nullptr, nullptr));
              if (link.fd < 0 || ::write(link.fd, answers.data(), answers.size()) != ssize_t(answers.size()))
                  return;
              std::vector<uint8_t> junk(4096, 'x'), empty(20), command(4);
              empty[0] = 20; // a header without payload
              while (then == Then::Garbage && ::send(link.fd, junk.data(), junk.size(), MSG_NOSIGNAL) > 0) {
              }
              while (::recv(link.fd, command.data(), 4, MSG_WAITALL) == 4) {
                  const std::vector<uint8_t> reply = command[0] == CmdRefresh ? replyPacket('a') : empty;
                  refreshes += command[0] == CmdRefresh;
                  if (then == Then::EmptyUpdates && (command[0] == CmdUpdate || command[0] == CmdRefresh))
                      (void)!::send(link.fd, reply.data(), reply.size(), MSG_NOSIGNAL);
              }
          })
    {
    }
    ~CannedDevice()
    {
        ::shutdown(listener_.socket.fd, SHUT_RDWR); // ends an accept that nobody answered
        thread_.join();
    }
    std::vector<std::string> args(std::vector<std::string> more) const
    {
        more.insert(more.begin(), {"--host", "127.0.0.1", "--port", std::to_string(listener_.port)});
        return more;
    }

    std::atomic<int> refreshes{0};

private:
    OtherListener listener_;
    std::thread thread_;
};

// "info" through sorvane-cli to a simulator started with these arguments.
ProcessResult infoFromSim(bool serial, std::vector<std::string> simArgs, std::vector<std::string> cliArgs = {})
{
    const std::vector<std::string> link = serial ? std::vector<std::string>{"--serial"}
                                                 : std::vector<std::string>{"--port", "0"};
    simArgs.insert(simArgs.begin(), link.begin(), link.end());
    SimProcess sim(simArgs);
    std::vector<std::string> a = serial ? std::vector<std::string>{"--serial", sim.serialPath()}
                                        : std::vector<std::string>{"--host", "127.0.0.1", "--port",
                                                                   std::to_string(sim.tcpPort())};
    a.insert(a.end(), cliArgs.begin(), cliArgs.end());
    a.push_back("info");
    return cli(a);
}

} // namespace

TEST(CliConnect, Lan)
{
    LoopbackSim alpha = startLoopbackSim({"--name", "Alpha", "--discovery-port", "0", "--discovery-bind",
                                          "127.255.255.255", "--discovery-repeat", "2"});
    const std::string discovery = alpha.process->fact("discovery").value_or(""); // "discovery ADDR PORT"
    const std::string port = discovery.substr(discovery.rfind(' ') + 1);
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
    const int port = freeLoopbackPort();
    ProcessResult r;
    std::thread waiting([&] { r = cli({"--listen", "127.0.0.1:" + std::to_string(port), "--timeout", "30", "info"}); });
    int scan = -1; // a port scan, as soon as the listener is up
    for (int i = 0; i < 4000 && (scan = connectLoopback(port)) < 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_GE(scan, 0);
    Socket(scan).reset();
    Socket silent(connectLoopback(port)); // a peer that never says anything
    SimProcess agent({"--connect-to", "127.0.0.1:" + std::to_string(port), "--name", "Caller", "--depth", "8"});
    waiting.join();
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(has(r.out, "depth: 8\n") && has(r.out, "name: Caller\n")) << r.out;
    EXPECT_TRUE(has(r.err, "\nsorvane-cli: rejected 127.0.0.1:")) << r.err;
}

TEST(Cli, InfoOverTcpAndSerial)
{
    // The command line's settings are built in: its runs leave the settings folder alone.
    TempDir settings;
    setenv("SORVANE_CONFIG_DIR", settings.path().c_str(), 1);
    for (bool serial : {false, true}) {
        const std::string depth = serial ? "2" : "4";
        SCOPED_TRACE(serial ? "serial" : "tcp");
        auto r = infoFromSim(serial, {"--depth", depth, "--width", "320", "--height", "240", "--orientation", "90",
                                      "--second", "8:160x120:180", "--name", "Field unit " + depth});
        ASSERT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(r.out, "depth: " + depth + "\nwidth: 320\nheight: 240\norientation: 90\n"
                         "altDepth: 8\naltWidth: 160\naltHeight: 120\naltOrientation: 180\n"
                         "name: Field unit " + depth + "\n");
    }
    // Options may follow the command.
    SimProcess sim({"--port", "0"});
    auto r = cli({"info", "--host", "127.0.0.1", "--port", std::to_string(sim.tcpPort())});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("name: Sorvane Sim\n"), std::string::npos) << r.out;
    unsetenv("SORVANE_CONFIG_DIR");
    EXPECT_TRUE(std::filesystem::is_empty(settings.path()));
}

TEST(Cli, Passwords)
{
    // Letters compare without case. A serial link never asks (the handshake's own test).
    const std::vector<std::string> device{"--password", "Tide42"};
    EXPECT_EQ(infoFromSim(false, device, {"--password", "tIDE42"}).exitCode, 0);
    expectFailure(infoFromSim(false, device, {"--password", "tide"}), "the password is incorrect");
    expectFailure(infoFromSim(false, device), "the device requires a password");
}

TEST(Cli, FailuresAreBoundedAndExplained)
{
    // Nothing listening.
    expectFailure(cli({"--host", "127.0.0.1", "--port", std::to_string(freeLoopbackPort()), "info"}), "cannot connect");

    // A silent device, over TCP and over a serial line: the overall bound ends the run.
    {
        CannedDevice silent({});
        expectFailure(cli(silent.args({"--timeout", "0.5", "info"})), "no answer from");
    }
    int master = -1, slave = -1;
    char line[256];
    ASSERT_EQ(::openpty(&master, &slave, line, nullptr, nullptr), 0);
    expectFailure(cli({"--serial", line, "--timeout", "0.5", "info"}), "no answer from");
    ::close(master);
    ::close(slave);
    // Silent after the handshake, over a serial line: a read gives up after a second,
    // yet the device did not close the line.
    {
        SimProcess quiet({"--serial", "--silent", "R"});
        expectFailure(cli({"--serial", quiet.serialPath(), "capture", "/nonexistent/x.ppm"}),
                      "no answer from the device for");
    }
    // A device whose updates are garbage, streamed without pause: --timeout ends it
    // although the link is never silent.
    {
        CannedDevice garbage(deviceOf(16).answers(), CannedDevice::Then::Garbage);
        expectFailure(cli(garbage.args({"--timeout", "4", "capture", "/nonexistent/x.ppm", "--polls", "5"})),
                      "within 4 s (--timeout)");
    }
    // A device that went quiet while its palette was due. (A display that is too large
    // is named through the proxy; the handshake's own test has the bounds.)
    Device noPalette = deviceOf(8);
    noPalette.palette.clear(); // the flag, then nothing
    expectFailure(cli(CannedDevice(noPalette.answers()).args({"--timeout", "1", "info"})),
                  "stopped answering during the handshake");
    // Not a failure: a screen unchanged after the refresh answers with empty updates;
    // every pixel is 0, and that is the picture.
    {
        std::vector<uint8_t> answers = deviceOf(16).answers();
        answers.resize(answers.size() - 4); // a 16-bit device is not asked for a palette flag
        CannedDevice blank(answers, CannedDevice::Then::EmptyUpdates);
        TempDir dir;
        expectCli(blank.args({"capture", (dir / "zero.ppm").string(), "--polls", "3"}), 0, {});
        EXPECT_TRUE(readFile(dir / "zero.ppm") == "P6\n240 320\n255\n" + std::string(240 * 320 * 3, '\0'));
        EXPECT_EQ(blank.refreshes.load(), 1); // the capture's own: no update was refused
    }
    // A hello answered by a stray byte other than the end byte.
    expectFailure(infoFromSim(false, {"--stray-byte", "42"}), "did not answer the hello");
    EXPECT_EQ(cli({"--serial", "/nonexistent/tty", "info"}).exitCode, 1);
    expectCli({"--listen", "127.0.0.1:0", "--timeout", "1", "info"}, 1, {"no device connected"});
}

TEST(Cli, DeviceTextIsPrintedEscaped)
{
    // A name that would forge a line and clear the terminal, a backslash, and 8-bit
    // text (e acute, the euro sign, an undefined code).
    Device hostile = deviceOf(16);
    hostile.info.setName("a\ndepth: 99\x1b[2J\\\xe9\x80\x81\x7f");
    CannedDevice device(hostile.answers());
    auto r = cli(device.args({"info"}));
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("\nname: a\\ndepth: 99\\x1b[2J\\\xc3\xa9\xe2\x82\xac\\x81\\x7f\n"),
              std::string::npos)
        << r.out;
    EXPECT_EQ(r.out.find("\ndepth: 99"), std::string::npos) << r.out;
}

TEST(Cli, Usage)
{
    for (std::vector<std::string> args : {
             std::vector<std::string>{"info"},
             {"--host", "127.0.0.1"},
             {"--host", "127.0.0.1", "frobnicate"},
             {"--host", "127.0.0.1", "--serial", "/dev/null", "info"},
             {"--host", "127.0.0.1", "--port", "70000", "info"},
             {"--host", "127.0.0.1", "--timeout", "-1", "info"},
             {"--host", "127.0.0.1", "info", "extra"},
             {"--bogus", "info"},
             {"--serial", "/dev/null", "--port", "5", "info"},
             {"--bcast", "127.0.0.1", "--host", "x", "info"},
             {"--lan", "--proxy", "127.0.0.1:1", "--pick", "a", "info"},
             {"--listen", "127.0.0.1:70000", "info"},
             {"--pick", "a", "--host", "x", "info"},
         }) {
        auto r = cli(args);
        EXPECT_EQ(r.exitCode, 2) << args.back() << ": " << r.err;
        EXPECT_FALSE(r.err.empty());
    }
    auto help = cli({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("--host"), std::string::npos) << help.out;
}
