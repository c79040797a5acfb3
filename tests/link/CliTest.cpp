// sorvane-cli end to end: against sorvane-sim over loopback TCP and a pseudo-terminal,
// and against canned devices where a device must misbehave in a way the simulator does
// not (silence, a palette that never comes, hostile text).

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include <pty.h>
#include <sys/socket.h>
#include <unistd.h>

#include "ScriptedTransport.h"
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

// A failed run: status 1, nothing on standard output, one line naming the reason.
void expectFailure(const ProcessResult& r, const char* reason)
{
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find(reason), std::string::npos) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
}

// A device on 127.0.0.1 that sends `answers` as soon as a client connects, whatever it
// is asked, then keeps the link open without a word until the client goes.
class CannedDevice {
public:
    explicit CannedDevice(std::vector<uint8_t> answers)
        : thread_([this, answers = std::move(answers)] {
              Socket link(::accept(listener_.socket.fd, nullptr, nullptr));
              if (link.fd < 0 || ::write(link.fd, answers.data(), answers.size()) != ssize_t(answers.size()))
                  return;
              char ignored[256];
              while (::read(link.fd, ignored, sizeof ignored) > 0) {
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

TEST(Cli, InfoOverTcpAndSerial)
{
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
    // A hello answered by a stray byte other than the end byte.
    for (bool serial : {false, true})
        expectFailure(infoFromSim(serial, {"--stray-byte", "42"}), "did not answer the hello");
    EXPECT_EQ(cli({"--serial", "/nonexistent/tty", "info"}).exitCode, 1);
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
    EXPECT_NE(r.out.find("\nname: a\\ndepth: 99\\x1b[2J\\\\\xc3\xa9\xe2\x82\xac\\x81\\x7f\n"),
              std::string::npos)
        << r.out;
    EXPECT_EQ(r.out.find("\ndepth: 99"), std::string::npos) << r.out;
}

// A device that went quiet while its palette was due. (A display that is too large is
// named through the proxy in CliConnectTest; the handshake's own test has the bounds.)
TEST(Cli, APaletteThatNeverComesIsNamed)
{
    Device canned = deviceOf(8);
    canned.palette.clear(); // the flag, then nothing
    CannedDevice device(canned.answers());
    expectFailure(cli(device.args({"--timeout", "1", "info"})), "stopped answering during the handshake");
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
         }) {
        auto r = cli(args);
        EXPECT_EQ(r.exitCode, 2) << args.back() << ": " << r.err;
        EXPECT_FALSE(r.err.empty());
    }
    auto help = cli({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    for (const char* word : {"--host", "--port", "--serial", "--password", "--timeout", "info"})
        EXPECT_NE(help.out.find(word), std::string::npos) << word;
}
