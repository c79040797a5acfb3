// sorvane-cli end to end against the scripted agent.

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "FakeAgent.h"
#include "support/SimProcess.h"

using namespace sorvane::test;

namespace {

ProcessResult cli(std::vector<std::string> args)
{
    args.insert(args.begin(), programFromEnv("SORVANE_CLI"));
    return runProcess(args, std::chrono::seconds(60));
}

std::vector<std::string> tcp(const FakeAgent& agent)
{
    return {"--host", "127.0.0.1", "--port", std::to_string(agent.port())};
}

const char* kInfo16 = "depth: 16\nwidth: 240\nheight: 320\norientation: 0\n"
                      "altDepth: 8\naltWidth: 128\naltHeight: 96\naltOrientation: 180\nname: Sim 16\n";

} // namespace

TEST(Cli, InfoOverTcpAndSerial)
{
    {
        FakeAgent agent(FakeAgent::Kind::Tcp, deviceScript(16));
        auto args = tcp(agent);
        args.push_back("info");
        auto r = cli(args);
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(r.out, kInfo16);
        EXPECT_EQ(agent.commandsAfterClose(), (std::vector<uint8_t>{'P', 92}));
    }
    {
        FakeAgent agent(FakeAgent::Kind::Pty, deviceScript(4));
        auto r = cli({"info", "--serial", agent.path()}); // options may follow the command
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_NE(r.out.find("depth: 4\nwidth: 240\nheight: 320\norientation: 90\n"), std::string::npos) << r.out;
        EXPECT_NE(r.out.find("name: Sim 4\n"), std::string::npos);
        EXPECT_EQ(agent.commandsAfterClose(), (std::vector<uint8_t>{'P', 92, ']'}));
    }
}

TEST(Cli, Passwords)
{
    struct Case {
        std::vector<std::string> extra;
        int exit;
        const char* reason;
    } cases[] = {
        {{"--password", "OPEN sesame"}, 0, ""},
        {{"--password", "open"}, 1, "the password is incorrect"},
        {{}, 1, "the device requires a password"},
    };
    for (const Case& c : cases) {
        FakeAgent agent(FakeAgent::Kind::Tcp, deviceScript(16, "open Sesame"));
        auto args = tcp(agent);
        args.insert(args.end(), c.extra.begin(), c.extra.end());
        args.push_back("info");
        auto r = cli(args);
        EXPECT_EQ(r.exitCode, c.exit) << r.err;
        if (c.exit == 0) {
            EXPECT_EQ(r.out, kInfo16);
        } else {
            EXPECT_EQ(r.out, "");
            EXPECT_NE(r.err.find(c.reason), std::string::npos) << r.err;
            EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        }
    }
}

TEST(Cli, FailuresAreBoundedAndExplained)
{
    // Nothing listening.
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ASSERT_EQ(::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len), 0);
    ::close(fd);
    auto r = cli({"--host", "127.0.0.1", "--port", std::to_string(ntohs(addr.sin_port)), "info"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("cannot connect"), std::string::npos) << r.err;

    // A silent agent, over TCP and over a serial line: the overall bound ends the run.
    for (auto kind : {FakeAgent::Kind::Tcp, FakeAgent::Kind::Pty}) {
        auto script = deviceScript(16);
        script.silent = true;
        FakeAgent agent(kind, script);
        std::vector<std::string> args =
            kind == FakeAgent::Kind::Tcp ? tcp(agent) : std::vector<std::string>{"--serial", agent.path()};
        args.insert(args.end(), {"--timeout", "0.5", "info"});
        r = cli(args);
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_NE(r.err.find("no answer from"), std::string::npos) << r.err;
    }

    // A hello refused.
    auto script = deviceScript(16);
    script.helloAnswer = replyPacket('x');
    FakeAgent agent(FakeAgent::Kind::Tcp, script);
    auto args = tcp(agent);
    args.push_back("info");
    r = cli(args);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("did not answer the hello"), std::string::npos) << r.err;

    EXPECT_EQ(cli({"--serial", "/nonexistent/tty", "info"}).exitCode, 1);
}

TEST(Cli, DeviceTextIsPrintedEscaped)
{
    // A name that would forge a line and clear the terminal, a backslash, and 8-bit
    // text (e acute, the euro sign, an undefined code).
    auto script = deviceScript(16);
    script.info.setName("a\ndepth: 99\x1b[2J\\\xe9\x80\x81\x7f");
    FakeAgent agent(FakeAgent::Kind::Tcp, script);
    auto args = tcp(agent);
    args.push_back("info");
    auto r = cli(args);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("\nname: a\\ndepth: 99\\x1b[2J\\\\\xc3\xa9\xe2\x82\xac\\x81\\x7f\n"),
              std::string::npos)
        << r.out;
    EXPECT_EQ(r.out.find("\ndepth: 99"), std::string::npos) << r.out;
}

TEST(Cli, RefusalsAndTimeoutsNameTheirCause)
{
    struct Case {
        const char* name;
        int width, height;
        bool silentPalette;
        const char* reason;
    } cases[] = {
        {"4096 x 4096", 4096, 4096, false, "refused: its display of 4096 x 4096 is larger than 2048 x 2048"},
        {"palette stalls", 240, 320, true, "stopped answering during the handshake"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto script = deviceScript(c.silentPalette ? 8 : 16);
        script.info.width = c.width;
        script.info.height = c.height;
        if (c.silentPalette)
            script.paletteFlag = 1, script.palette.clear(); // the flag, then nothing
        FakeAgent agent(FakeAgent::Kind::Tcp, script);
        auto args = tcp(agent);
        args.insert(args.end(), {"--timeout", "1", "info"});
        auto r = cli(args);
        EXPECT_EQ(r.exitCode, 1) << r.err;
        EXPECT_EQ(r.out, "");
        EXPECT_NE(r.err.find(c.reason), std::string::npos) << r.err;
    }
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
