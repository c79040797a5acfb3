// Links through an SSH gateway, in the program's own dialer: a real OpenSSH server on
// loopback between it and the simulator. What is asked, what is kept for a redial, and
// the link coming back through a new session after the server ends the old one.

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "connect/Dialer.h"
#include "platform/PosixTransports.h"
#include "settings/SettingsStore.h"
#include "ssh/SshGateway.h"
#include "support/SimProcess.h"
#include "support/SshServer.h"
#include "support/TempDir.h"

using namespace sorvane;
using namespace sorvane::test;

namespace {

struct ScriptedQuestions final : SshQuestions {
    HostKeyAnswer hostKeyAnswer = HostKeyAnswer::AlwaysTrust;
    std::vector<std::string> secrets; // handed out in order; none left: not answered
    std::vector<std::string> asked;   // what was asked, in order ("host key FP", or the prompt)

    HostKeyAnswer unknownHostKey(const SshHostKey& key, const std::function<bool()>&) override
    {
        asked.push_back("host key " + key.type + " " + key.fingerprint);
        return hostKeyAnswer;
    }
    std::optional<std::string> askSecret(SshSecretKind, const std::string& prompt,
                                         const std::function<bool()>&) override
    {
        asked.push_back(prompt);
        if (secrets.empty())
            return std::nullopt;
        std::string s = secrets.front();
        secrets.erase(secrets.begin());
        return s;
    }
};

size_t count(const std::string& text, const std::string& part)
{
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

// Reads from a link's transport until the peer closes it (true) or 20 s pass.
bool readsToTheEnd(Transport& t)
{
    uint8_t buffer[4096];
    for (int i = 0; i < 2000; ++i) {
        const IoResult r = t.receive(buffer);
        if (r.status == IoStatus::PeerClosed || r.status == IoStatus::Error)
            return true;
        if (r.status == IoStatus::WouldBlock && !t.waitReadable(10))
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

bool awaitLineFrom(SimProcess& sim, const std::string& prefix)
{
    while (std::optional<std::string> line = sim.readLine(std::chrono::seconds(20)))
        if (line->rfind(prefix, 0) == 0)
            return true;
    return false;
}

// The link settings of a dial through a test's gateway: known hosts in `home`, no
// agent, no usual keys (only the key a target names is offered).
LinkConfig gatewayConfig(const SimProcess& sim, const TempDir& home)
{
    LinkConfig config;
    config.agentPort = uint16_t(sim.tcpPort());
    config.ssh.knownHostsFile = (home / "known_hosts").string();
    config.ssh.agentSocket = "";
    config.ssh.defaultKeyFiles = std::vector<std::string>{};
    return config;
}

// A WAN dial of 127.0.0.1 through the server, offering `key` (empty: none).
DialTarget wanThrough(const SshServer& ssh, SshQuestions* questions, const std::filesystem::path& key)
{
    std::string error;
    DialTarget target;
    target.profile.linkKind = uint32_t(LinkKind::Wan);
    target.profile.ipAddress = 0x7F000001;
    target.ssh = SshRoute{*ParseSshGateway(ssh.gateway(), error), questions, false, {}};
    target.ssh->gateway.keyFile = key.string();
    return target;
}

} // namespace

TEST(SshGateway, ParsedAsWrittenAndRefusedWithAReason)
{
    std::string error;
    const struct {
        const char* text;
        const char* user;
        const char* host;
        int port;
        const char* shown;
    } good[] = {
        {" ann@gate.example ", "ann", "gate.example", 22, "ann@gate.example"},
        {"ann@10.0.0.1:2222", "ann", "10.0.0.1", 2222, "ann@10.0.0.1:2222"},
        {"a@b@gate:22", "a@b", "gate", 22, "a@b@gate"},
        {"ann@[::1]:2200", "ann", "::1", 2200, "ann@[::1]:2200"},
        {"ann@fe80::1", "ann", "fe80::1", 22, "ann@[fe80::1]"},
        {"ann@[a:b]", "ann", "a:b", 22, "ann@[a:b]"},
    };
    for (const auto& g : good) {
        SCOPED_TRACE(g.text);
        const std::optional<SshGateway> parsed = ParseSshGateway(g.text, error);
        ASSERT_TRUE(parsed) << error;
        EXPECT_EQ(parsed->user, g.user);
        EXPECT_EQ(parsed->host, g.host);
        EXPECT_EQ(parsed->port, g.port);
        EXPECT_EQ(parsed->text(), g.shown);
        EXPECT_EQ(ParseSshGateway(parsed->text(), error), parsed); // what is stored reads back
    }
    for (const char* bad : {"", "gate", "@gate", "ann@", "ann@gate:", "ann@gate:0", "ann@gate:65536", "ann@gate:2x",
                            "ann@ga te", "ann@gate\n", "ann@[::1", "ann@[::1]x"}) {
        SCOPED_TRACE(bad);
        error.clear();
        EXPECT_FALSE(ParseSshGateway(bad, error));
        EXPECT_FALSE(error.empty());
    }
}

TEST(SshGateway, ALinkAsksOnceAndComesBackThroughANewSessionAfterTheOldOneDies)
{
    TempDir home;
    setenv("HOME", home.path().c_str(), 1);
    SshServer ssh;
    SimProcess sim({"--port", "0", "--name", "Far"});
    SystemClock clock;
    PosixTransportFactory factory;
    const Dialer dialer(clock, gatewayConfig(sim, home), factory);
    std::string error;
    ScriptedQuestions questions;
    questions.secrets = {"wrong", SshServer::kPassphrase};
    DialTarget target = wanThrough(ssh, &questions, ssh.lockedKey());
    CancelToken cancel;
    DialOutcome dialled = dialer.dial(target, &cancel, nullptr);
    ASSERT_TRUE(dialled.passed()) << SshFailureText(target.ssh->gateway, dialled.ssh, "");
    EXPECT_EQ(dialled.link->slot().deviceName, "Far");
    const std::string prompt = "Passphrase for " + ssh.lockedKey().string() + ":";
    EXPECT_EQ(questions.asked,
              (std::vector<std::string>{"host key ssh-ed25519 " + ssh.hostFingerprint(), prompt, prompt}));
    EXPECT_EQ(dialled.link->sshCredentials().passphrase, SshServer::kPassphrase);
    // The settings saved now hold the gateway, never the passphrase.
    {
        ProfileTable profiles;
        Profile p;
        p.setName("far");
        p.linkKind = uint32_t(LinkKind::Wan);
        profiles.AddProfile(p);
        profiles.setSshGateway(0, target.ssh->gateway);
        SettingsStore store(home / "settings");
        ASSERT_EQ(store.SaveSettings(Settings::defaults("/nonexistent/"), profiles, PlatformSettings::defaults()), "");
        // Looked for as text and as the file's hex lists ("6c,6f,..." over continued lines).
        std::string saved, flat;
        for (const auto& f : std::filesystem::directory_iterator(home / "settings"))
            saved += readFile(f.path());
        for (char c : saved)
            if (c != '\\' && c != '\n' && c != ' ')
                flat += c;
        auto hex = [](const std::string& text) {
            std::string out;
            char byte[4];
            for (unsigned char c : text) {
                std::snprintf(byte, sizeof byte, "%02x,", c);
                out += byte;
            }
            return out.substr(0, out.size() - 1);
        };
        EXPECT_NE(flat.find(hex(ssh.lockedKey().string())), std::string::npos) << saved;
        EXPECT_EQ(saved.find(SshServer::kPassphrase), std::string::npos);
        EXPECT_EQ(flat.find(hex(SshServer::kPassphrase)), std::string::npos);
    }

    // The server ends the session: the link reads its end; the redial asks nothing, and
    // comes back through a new session with the passphrase given the first time.
    std::shared_ptr<Relinker> relinker = dialer.relinker(target, *dialled.link);
    ASSERT_TRUE(relinker);
    std::unique_ptr<Transport> transport = dialled.link->release();
    ASSERT_TRUE(transport);
    ssh.killSessions();
    EXPECT_TRUE(readsToTheEnd(*transport));
    transport->close();
    ASSERT_TRUE(awaitLineFrom(sim, "disconnected"));
    questions.asked.clear();
    std::optional<RelinkedLink> again = relinker->attempt(error);
    ASSERT_TRUE(again) << error;
    EXPECT_EQ(again->record.deviceNameView(), "Far");
    EXPECT_TRUE(questions.asked.empty());
    again->transport->close();
    EXPECT_EQ(count(ssh.log(), "server_request_direct_tcpip"), 2u) << ssh.log();

    // A redial never asks: a gateway whose key is not known yet fails it at once.
    std::filesystem::remove(home / "known_hosts");
    std::optional<RelinkedLink> refused = relinker->attempt(error);
    EXPECT_FALSE(refused);
    EXPECT_NE(error.find("is not known"), std::string::npos) << error;
    EXPECT_TRUE(questions.asked.empty());
    unsetenv("HOME");
}

// "Connect once" lets the key through for this connection only; Cancel ends the dial
// without a word of failure; a dial cancelled while the question is up stops at once.
TEST(SshGateway, HostKeyAnswers)
{
    TempDir home;
    SshServer ssh;
    SimProcess sim({"--port", "0"});
    SystemClock clock;
    PosixTransportFactory factory;
    const Dialer dialer(clock, gatewayConfig(sim, home), factory);
    std::string error;
    ScriptedQuestions questions;
    DialTarget target = wanThrough(ssh, &questions, ssh.clientKey());

    // (Connect once and its redial: the connect dialogs' test.)
    questions.hostKeyAnswer = HostKeyAnswer::Cancel;
    const DialOutcome cancelled = dialer.dial(target, nullptr, nullptr);
    EXPECT_FALSE(cancelled.passed());
    EXPECT_EQ(cancelled.ssh.failure, SshFailure::Cancelled);
    // A proxy's table is asked for in up to three attempts: the user is asked once.
    SimProcess proxy({"--proxy", "--port", "0", "--proxy-devices", "Free"});
    DialTarget viaProxy = target;
    viaProxy.profile.linkKind = uint32_t(LinkKind::Proxy);
    viaProxy.profile.port = uint32_t(proxy.tcpPort());
    questions.asked.clear();
    SshReport why;
    EXPECT_EQ(dialer.proxyTable(viaProxy, nullptr, &why).status, ProxyTableStatus::Unreachable);
    EXPECT_EQ(why.failure, SshFailure::Cancelled);
    EXPECT_EQ(questions.asked.size(), 1u);
    questions.hostKeyAnswer = HostKeyAnswer::ConnectOnce;
    EXPECT_EQ(dialer.proxyTable(viaProxy, nullptr, &why).status, ProxyTableStatus::Ok);

    // No key the gateway takes, and three wrong passwords: refused, and said why.
    target.ssh->gateway.keyFile = ssh.strangerKey().string();
    questions.hostKeyAnswer = HostKeyAnswer::ConnectOnce;
    questions.secrets = {"one", "two", "three", "four"};
    questions.asked.clear();
    const DialOutcome refused = dialer.dial(target, nullptr, nullptr);
    EXPECT_EQ(refused.ssh.failure, SshFailure::AuthRefused);
    const std::string prompt = "Password for " + target.ssh->gateway.user + "@127.0.0.1:";
    EXPECT_EQ(questions.asked, (std::vector<std::string>{"host key ssh-ed25519 " + ssh.hostFingerprint(), prompt,
                                                         prompt, prompt}));
    EXPECT_EQ(SshFailureText(target.ssh->gateway, refused.ssh, ""),
              "authentication refused by the SSH gateway " + ssh.gateway() + " (the key " +
                  ssh.strangerKey().string() + " was not accepted; the password was not accepted)");

    // Cancelled while the user looks at the question: the dial ends as soon as it is.
    struct Hanging final : SshQuestions {
        std::atomic<bool> shown{false};
        HostKeyAnswer unknownHostKey(const SshHostKey&, const std::function<bool()>& cancelled) override
        {
            shown = true;
            while (!cancelled())
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            return HostKeyAnswer::Cancel;
        }
        std::optional<std::string> askSecret(SshSecretKind, const std::string&, const std::function<bool()>&) override
        {
            return std::nullopt;
        }
    } hanging;
    target.ssh->questions = &hanging;
    CancelToken token;
    std::thread canceller([&] {
        while (!hanging.shown)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        token.cancel();
    });
    const DialOutcome stopped = dialer.dial(target, &token, nullptr);
    canceller.join();
    EXPECT_FALSE(stopped.passed());
    EXPECT_EQ(stopped.ssh.failure, SshFailure::Cancelled);
}

// The user's SSH agent (OpenSSH's own) holds the key: nothing else is needed or asked.
TEST(SshGateway, TheAgentsKeyComesFirst)
{
    TempDir home;
    SshServer ssh;
    SimProcess sim({"--port", "0", "--name", "Agented"});
    const std::string socket = (home / "agent.sock").string();
    const pid_t agent = ::fork();
    ASSERT_GE(agent, 0);
    if (agent == 0) {
        ::execl("/usr/bin/ssh-agent", "ssh-agent", "-D", "-a", socket.c_str(), nullptr);
        ::_exit(127);
    }
    for (int i = 0; i < 500 && !std::filesystem::exists(socket); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    setenv("SSH_AUTH_SOCK", socket.c_str(), 1);
    const ProcessResult added = runProcess({"/usr/bin/ssh-add", "-q", ssh.clientKey().string()});
    unsetenv("SSH_AUTH_SOCK");
    EXPECT_EQ(added.exitCode, 0) << added.err;

    LinkConfig config = gatewayConfig(sim, home);
    config.ssh.agentSocket = socket;
    SystemClock clock;
    PosixTransportFactory factory;
    ScriptedQuestions questions;
    DialTarget target = wanThrough(ssh, &questions, "");
    target.ssh->acceptNewHostKeys = true;
    const DialOutcome dialled = Dialer(clock, config, factory).dial(target, nullptr, nullptr);
    ::kill(agent, SIGTERM);
    ::waitpid(agent, nullptr, 0);
    ASSERT_TRUE(dialled.passed()) << SshFailureText(target.ssh->gateway, dialled.ssh, "");
    EXPECT_EQ(dialled.link->slot().deviceName, "Agented");
    EXPECT_TRUE(questions.asked.empty()); // the new key was recorded without asking
    EXPECT_NE(ssh.log().find("Accepted publickey"), std::string::npos);
    dialled.link->close();
}
