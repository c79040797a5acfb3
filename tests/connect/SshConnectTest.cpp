// What dials through an SSH gateway ask the user, from the attempts' worker threads;
// a profile's dial and its redial through a real OpenSSH server on loopback; and how a
// gateway that cannot be reached (a loopback port bound by nobody's listener) is
// reported by the connect dialogs.

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <future>
#include <thread>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "ConnectTestSupport.h"
#include "connect/ui/ConnectMany.h"
#include "connect/ui/MakeConnectionDialog.h"
#include "connect/ui/ProxyConnectDialog.h"
#include "connect/ui/SshQuestionDialogs.h"
#include "support/LoopbackSim.h"
#include "support/LoopbackSockets.h"
#include "support/SshServer.h"
#include "support/TempDir.h"

using namespace sorvane;
using namespace sorvane::test;

namespace {

constexpr int kWaitMs = 20000;

// The question dialogs shown now (objectName).
template <class T> std::vector<T*> shown(const char* name)
{
    std::vector<T*> out;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible() && w->objectName() == QLatin1String(name))
            out.push_back(qobject_cast<T*>(w));
    return out;
}

// Runs act on the first dialog named `name` (and passing `which`) once it shows: from a
// timer, since the dialog's modal loop holds the test's own waits.
template <class T>
void onShown(const char* name, std::function<void(T&)> act, std::function<bool(T&)> which = [](T&) { return true; })
{
    auto* timer = new QTimer(qApp);
    QObject::connect(timer, &QTimer::timeout, [timer, name, act, which] {
        for (T* d : shown<T>(name))
            if (which(*d)) {
                timer->stop();
                timer->deleteLater();
                act(*d);
                return;
            }
    });
    timer->start(10);
}

template <class R> bool answered(std::future<R>& f)
{
    return QTest::qWaitFor([&] { return f.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }, kWaitMs);
}

const SshHostKey kKey{"fe80::1", 2222, "ssh-ed25519", "SHA256:n4bQgYhMfWWaL+qgxVrQFaO/TxsrC4Is0V1sFbDwCgg"};

} // namespace

TEST(SshQuestions, HostKeyFromAWorkerEachButtonAndEscape)
{
    DialogSshQuestions questions;
    const std::pair<const char*, HostKeyAnswer> presses[] = {{"connectOnce", HostKeyAnswer::ConnectOnce},
                                                             {"alwaysTrust", HostKeyAnswer::AlwaysTrust},
                                                             {"cancel", HostKeyAnswer::Cancel},
                                                             {nullptr, HostKeyAnswer::Cancel}};
    for (auto [button, expected] : presses) {
        QStringList texts;
        QString text, defaultButton;
        onShown<SshHostKeyBox>("SSHHOSTKEY", [&, button = button](SshHostKeyBox& box) {
            text = box.windowTitle() + "|" + box.text();
            EXPECT_TRUE(box.textInteractionFlags() & Qt::TextSelectableByMouse);
            for (QAbstractButton* b : box.buttons())
                texts << b->text();
            defaultButton = box.defaultButton()->objectName();
            if (button)
                box.findChild<QAbstractButton*>(QString::fromLatin1(button))->click();
            else
                QTest::keyClick(&box, Qt::Key_Escape);
        });
        std::future<HostKeyAnswer> answer =
            std::async(std::launch::async, [&] { return questions.unknownHostKey(kKey, [] { return false; }); });
        ASSERT_TRUE(answered(answer));
        EXPECT_EQ(answer.get(), expected) << (button ? button : "Escape");
        EXPECT_TRUE(text.startsWith("SSH Host Key|")) << text.toStdString();
        for (const char* part : {"[fe80::1]:2222", "ssh-ed25519", kKey.fingerprint.c_str()})
            EXPECT_TRUE(text.contains(QString::fromUtf8(part))) << part;
        texts.sort();
        EXPECT_EQ(texts, (QStringList{"Always trust", "Cancel", "Connect once"}));
        EXPECT_EQ(defaultButton, "cancel");
    }
}

// Two attempts ask at once: one question after the other. A cancelled attempt's
// question closes at once and answers nullopt.
TEST(SshQuestions, SecretsInTurnAndWithdrawnWhenCancelled)
{
    DialogSshQuestions questions;
    std::atomic<bool> cancelled{false};
    auto ask = [&](SshSecretKind kind, std::string prompt) {
        return std::async(std::launch::async, [&questions, &cancelled, kind, prompt] {
            return questions.askSecret(kind, prompt, [&cancelled] { return cancelled.load(); });
        });
    };
    auto prompted = [](const char* prompt) {
        return [prompt](SshSecretDialog& d) { return d.findChild<QLabel*>("prompt")->text() == prompt; };
    };
    size_t mostShown = 0;
    QTimer counter;
    QObject::connect(&counter, &QTimer::timeout,
                     [&] { mostShown = std::max(mostShown, shown<SshSecretDialog>("SSHSECRET").size()); });
    counter.start(5);

    std::future<std::optional<std::string>> second;
    QString title, secondTitle;
    bool hidden = false;
    onShown<SshSecretDialog>(
        "SSHSECRET",
        [&](SshSecretDialog& d) {
            title = d.windowTitle();
            auto* secret = d.findChild<QLineEdit*>("secret");
            hidden = secret->echoMode() == QLineEdit::Password;
            QTest::keyClicks(secret, "open sesame");
            second = ask(SshSecretKind::Password, "Password for ann@gate:");
            QTimer::singleShot(300, &d, [&d] { d.findChild<QPushButton*>("IDOK")->click(); });
        },
        prompted("Passphrase for /k:"));
    QPointer<SshSecretDialog> secondDialog;
    onShown<SshSecretDialog>(
        "SSHSECRET",
        [&](SshSecretDialog& d) {
            secondTitle = d.windowTitle();
            secondDialog = &d;
            cancelled = true; // the attempt ends while its question is up
        },
        prompted("Password for ann@gate:"));
    std::future<std::optional<std::string>> first = ask(SshSecretKind::Passphrase, "Passphrase for /k:");
    ASSERT_TRUE(answered(first));
    EXPECT_EQ(first.get(), "open sesame");
    EXPECT_EQ(title, "SSH Key Passphrase");
    EXPECT_TRUE(hidden);
    ASSERT_TRUE(QTest::qWaitFor([&] { return second.valid(); }, kWaitMs));
    ASSERT_TRUE(answered(second));
    EXPECT_EQ(second.get(), std::nullopt);
    EXPECT_EQ(secondTitle, "SSH Password");
    EXPECT_TRUE(QTest::qWaitFor([&] { return !secondDialog || !secondDialog->isVisible(); }, kWaitMs));
    EXPECT_EQ(mostShown, 1u);

    // Cancelled before its turn: never shown.
    std::future<HostKeyAnswer> late =
        std::async(std::launch::async, [&] { return questions.unknownHostKey(kKey, [] { return true; }); });
    ASSERT_TRUE(answered(late));
    EXPECT_EQ(late.get(), HostKeyAnswer::Cancel);
}

size_t count(const std::string& text, const std::string& part)
{
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

// A WAN profile through the gateway: the unknown host key is asked in its dialog and
// let through once (nothing written to the known hosts); the link is a channel of the
// gateway, and so is its redial, which asks nothing.
TEST(SshConnect, AProfileThroughARealGatewayAndItsRedial)
{
    TempDir home;
    const std::string oldHome = std::getenv("HOME") ? std::getenv("HOME") : "";
    const char* oldAgent = std::getenv("SSH_AUTH_SOCK");
    const std::string agent = oldAgent ? oldAgent : "";
    setenv("HOME", home.path().c_str(), 1); // no keys but the profile's, no agent
    unsetenv("SSH_AUTH_SOCK");
    struct Restore {
        std::function<void()> f;
        ~Restore() { f(); }
    } restore{[&] {
        setenv("HOME", oldHome.c_str(), 1);
        if (oldAgent)
            setenv("SSH_AUTH_SOCK", agent.c_str(), 1);
    }};

    SshServer ssh;
    LoopbackSim sim = startLoopbackSim({"--name", "Far"});
    ConnectProgram program;
    program.platform.SshKnownHostsFile = (home / "known_hosts").string();
    DialogSshQuestions questions;
    program.ctx.sshQuestions = &questions;
    std::shared_ptr<Relinker> relinker;
    auto open = program.ctx.openDeviceWindow;
    program.ctx.openDeviceWindow = [&](int i, int slot, std::unique_ptr<LinkSlot> link, const ViewStart& start,
                                       std::shared_ptr<Relinker> r) {
        relinker = r;
        return open(i, slot, std::move(link), start, std::move(r));
    };
    const int wan = program.addProfile(uint32_t(LinkKind::Wan), "far");
    Profile p = *program.profiles.get(wan);
    p.ipAddress = sim.address;
    program.profiles.EditProfile(wan, p);
    ASSERT_TRUE(program.profiles.setSshGateway(
        wan, SshGateway{ssh.user(), "127.0.0.1", uint16_t(ssh.port()), ssh.clientKey().string()}));

    QString asked;
    onShown<SshHostKeyBox>("SSHHOSTKEY", [&](SshHostKeyBox& box) {
        asked = box.text();
        box.findChild<QAbstractButton*>("connectOnce")->click();
    });
    MakeConnectionDialog dialog(program.ctx, wan);
    ASSERT_TRUE(dialog.prepare());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !program.windows.empty(); }, kWaitMs)) << ssh.log();
    EXPECT_EQ(program.windows[0].name, "Far");
    EXPECT_TRUE(asked.contains(QString::fromStdString("127.0.0.1:" + std::to_string(ssh.port()))));
    EXPECT_TRUE(asked.contains(QString::fromStdString(ssh.hostFingerprint()))) << asked.toStdString();
    EXPECT_FALSE(std::filesystem::exists(home / "known_hosts"));
    const std::string channel = "server_request_direct_tcpip";
    EXPECT_EQ(count(ssh.log(), channel), 1u);

    // The link drops with the gateway's sessions; the redial goes through it again.
    ASSERT_NE(relinker, nullptr);
    ssh.killSessions();
    std::optional<RelinkedLink> again;
    std::string error;
    ASSERT_TRUE(waitUntil([&] { return (again = relinker->attempt(error)).has_value(); })) << error;
    EXPECT_EQ(again->record.deviceNameView(), "Far");
    EXPECT_EQ(count(ssh.log(), channel), 2u) << ssh.log();
    again->transport->close();
}

// The gateway of each profile refuses: every dialog says so in the gateway's words.
TEST(SshConnect, AGatewayThatRefusesIsNamedByEveryDialog)
{
    OtherListener nobody(false); // bound, never listening: connections are refused
    ASSERT_NE(nobody.port, 0);
    ConnectProgram program;
    program.ctx.attemptPeriodMs = 600000;
    DialogSshQuestions questions;
    program.ctx.sshQuestions = &questions;
    const SshGateway gateway{"ann", "127.0.0.1", uint16_t(nobody.port), ""};
    const std::string reached = "he SSH gateway ann@127.0.0.1:" + std::to_string(nobody.port) + " could not be reached";
    auto add = [&](LinkKind kind, const char* name) {
        const int i = program.addProfile(uint32_t(kind), name);
        Profile p = *program.profiles.get(i);
        p.ipAddress = 0x7F000001;
        p.port = 1900;
        program.profiles.EditProfile(i, p);
        program.profiles.setRememberedDevice(i, "Spare");
        EXPECT_TRUE(program.profiles.setSshGateway(i, gateway));
        return i;
    };
    const int proxy = add(LinkKind::Proxy, "proxy");
    const int wan = add(LinkKind::Wan, "wan");

    {
        ProxyConnectDialog dialog(nullptr, program.ctx, proxy);
        dialog.show();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !dialog.isVisible(); }, kWaitMs));
        ASSERT_EQ(program.messages.shown.size(), 1u);
        EXPECT_EQ(program.messages.shown[0].text.rfind("T" + reached, 0), 0u) << program.messages.shown[0].text;
        EXPECT_EQ(program.messages.shown[0].caption, "Error");
    }
    {
        MakeConnectionDialog dialog(program.ctx, wan);
        ASSERT_TRUE(dialog.prepare());
        ASSERT_TRUE(QTest::qWaitFor([&] { return !dialog.gatewayNote().isEmpty(); }, kWaitMs));
        EXPECT_TRUE(dialog.gatewayNote().startsWith(QString::fromStdString("T" + reached))) << dialog.gatewayNote().toStdString();
        EXPECT_EQ(dialog.attemptsStarted(), 1); // and it goes on trying
        dialog.reject();
    }
    {
        ConnectManyDialog dialog(program.ctx, {proxy, wan}, ConnectManyOptions{[](QWidget*, ConnectContext&, int) {}, {}});
        dialog.start();
        ASSERT_TRUE(QTest::qWaitFor([&] { return dialog.showingFailures(); }, kWaitMs));
        ASSERT_EQ(dialog.failures().size(), 2u);
        for (const ConnectFailure& f : dialog.failures())
            EXPECT_EQ(f.reason.rfind("t" + reached, 0), 0u) << f.reason;
        dialog.accept();
    }
    EXPECT_EQ(program.messages.shown.size(), 1u);
    EXPECT_TRUE(program.windows.empty());
}
