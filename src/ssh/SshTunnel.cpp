#include "ssh/SshTunnel.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <thread>
#include <vector>

#include <libssh/libssh.h>

#include "platform/PosixTransports.h"

namespace sorvane {

struct SshTransportFactory::State {
    SshGateway gateway;
    SshSettings settings;
    SshQuestions* questions = nullptr;
    bool acceptNew = false;

    std::mutex mutex; // guards what follows: channels of one factory may run at once
    SshCredentials credentials;
    SshReport report;
};

namespace {

using SteadyClock = std::chrono::steady_clock;

std::string homePath(const char* rest)
{
    const char* home = std::getenv("HOME");
    return home && *home ? std::string(home) + rest : std::string();
}

std::string knownHostsPath(const SshSettings& s)
{
    return s.knownHostsFile.empty() ? homePath("/.ssh/known_hosts") : s.knownHostsFile;
}

std::vector<std::string> keyFilesToOffer(const SshGateway& g, const SshSettings& s)
{
    if (!g.keyFile.empty())
        return {g.keyFile};
    if (s.defaultKeyFiles)
        return *s.defaultKeyFiles;
    std::vector<std::string> keys;
    for (const char* name : {"/.ssh/id_ed25519", "/.ssh/id_ecdsa", "/.ssh/id_rsa"}) {
        const std::string path = homePath(name);
        std::error_code ec;
        if (!path.empty() && std::filesystem::is_regular_file(path, ec))
            keys.push_back(path);
    }
    return keys;
}

std::string dotted(uint32_t address)
{
    in_addr a{};
    a.s_addr = htonl(address);
    char text[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &a, text, sizeof text);
    return text;
}

// The time bound of a channel's set-up. Time spent waiting for the user does not count:
// the deadline moves on by it. A watchdog thread shuts the gateway socket when the
// deadline passes or the set-up is cancelled, which ends whatever libssh waits for.
class SetupGuard {
public:
    SetupGuard(uint32_t timeoutMs, std::atomic<int>& fd)
        : deadline_(SteadyClock::now() + std::chrono::milliseconds(timeoutMs)), fd_(fd)
    {
        watchdog_ = std::thread([this] { watch(); });
    }
    ~SetupGuard()
    {
        {
            std::lock_guard lock(mutex_);
            finished_ = true;
        }
        changed_.notify_all();
        watchdog_.join();
    }
    void cancel()
    {
        {
            std::lock_guard lock(mutex_);
            cancelled_ = true;
        }
        changed_.notify_all();
    }
    bool cancelled() const
    {
        std::lock_guard lock(mutex_);
        return cancelled_;
    }
    bool expired() const
    {
        std::lock_guard lock(mutex_);
        return fired_ && !cancelled_;
    }
    uint32_t remainingMs() const
    {
        std::lock_guard lock(mutex_);
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline_ - SteadyClock::now());
        return left.count() > 0 ? uint32_t(left.count()) : 0;
    }
    // Runs ask() (a question to the user) with the clock stopped.
    template <typename F>
    auto asking(F ask)
    {
        const auto start = SteadyClock::now();
        {
            std::lock_guard lock(mutex_);
            ++asking_;
        }
        auto answer = ask();
        {
            std::lock_guard lock(mutex_);
            --asking_;
            deadline_ += SteadyClock::now() - start;
        }
        changed_.notify_all();
        return answer;
    }

private:
    void watch()
    {
        std::unique_lock lock(mutex_);
        for (;;) {
            if (finished_)
                return;
            if (cancelled_ || (asking_ == 0 && SteadyClock::now() >= deadline_)) {
                fired_ = true;
                const int fd = fd_.load();
                if (fd >= 0)
                    ::shutdown(fd, SHUT_RDWR);
                changed_.wait(lock, [this] { return finished_; });
                return;
            }
            if (asking_ > 0)
                changed_.wait(lock);
            else
                changed_.wait_until(lock, deadline_);
        }
    }

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    SteadyClock::time_point deadline_;
    std::atomic<int>& fd_;
    int asking_ = 0;
    bool cancelled_ = false, finished_ = false, fired_ = false;
    std::thread watchdog_;
};

// A link's socket whose bytes travel in a direct-tcpip channel of its own SSH session.
class SshChannelSocket final : public PosixSocket {
public:
    SshChannelSocket(int linkEnd, int pumpEnd, int wake, std::shared_ptr<SshTransportFactory::State> state)
        : PosixSocket(linkEnd), pumpEnd_(pumpEnd), wake_(wake), state_(std::move(state))
    {
    }
    ~SshChannelSocket() override { release(); }

    ConnectStatus connect(const Ipv4Endpoint& target) override
    {
        target_ = target;
        return ConnectStatus::InProgress;
    }
    ConnectStatus waitConnected(uint32_t) override;
    void shutdown() override
    {
        PosixSocket::shutdown();
        std::lock_guard lock(guardMutex_);
        shutdownAsked_ = true;
        if (guard_)
            guard_->cancel();
        const int fd = sshFd_.load();
        if (fd >= 0)
            ::shutdown(fd, SHUT_RDWR);
        const uint64_t one = 1;
        [[maybe_unused]] ssize_t n = ::write(wake_, &one, sizeof one);
    }
    bool close() override
    {
        release();
        return PosixSocket::close();
    }

private:
    // Each step fills the report and returns false when it fails.
    bool reachGateway(SetupGuard& guard);
    bool checkHostKey(SetupGuard& guard);
    bool authenticate(SetupGuard& guard);
    bool authenticateWithKeys(SetupGuard& guard);
    bool authenticateWithPassword(SetupGuard& guard, int methods);
    bool openChannel();
    void fail(SetupGuard& guard, SshFailure failure, std::string detail = {});
    void pump();
    void release();

    Ipv4Endpoint target_;
    int pumpEnd_;
    int wake_;
    std::shared_ptr<SshTransportFactory::State> state_;
    std::atomic<int> sshFd_{-1}; // the gateway connection, once made (libssh closes it)
    ssh_session session_ = nullptr;
    ssh_channel channel_ = nullptr;
    std::thread pump_;
    std::mutex guardMutex_;
    SetupGuard* guard_ = nullptr;
    bool shutdownAsked_ = false;
    SshReport report_;
    SshCredentials gave_; // what this channel's user gave, until it worked
    std::vector<std::string> refusedKeys_; // offered and not accepted (for the reason)
    std::string encryptedKeys_;            // locked, with nobody to ask for the passphrase
    bool gavePassword_ = false;
    bool released_ = false;
};

void SshChannelSocket::fail(SetupGuard& guard, SshFailure failure, std::string detail)
{
    if (guard.cancelled())
        failure = SshFailure::Cancelled;
    else if (guard.expired() && failure != SshFailure::HostKeyChanged && failure != SshFailure::HostKeyUnknown)
        failure = SshFailure::TimedOut;
    if (report_.failure == SshFailure::None) {
        report_.failure = failure;
        report_.detail = std::move(detail);
    }
}

ConnectStatus SshChannelSocket::waitConnected(uint32_t)
{
    const SshSettings& settings = state_->settings;
    {
        std::lock_guard lock(state_->mutex);
        gave_ = state_->credentials;
    }
    bool ok = false;
    {
        SetupGuard guard(settings.timeoutMs, sshFd_);
        {
            std::lock_guard lock(guardMutex_);
            guard_ = &guard;
            if (shutdownAsked_)
                guard.cancel();
        }
        ok = reachGateway(guard) && checkHostKey(guard) && authenticate(guard) && openChannel();
        if (!ok && report_.failure == SshFailure::None)
            fail(guard, SshFailure::ChannelRefused, session_ ? ssh_get_error(session_) : "");
        if (guard.cancelled() || guard.expired()) {
            if (ok)
                fail(guard, SshFailure::TimedOut);
            ok = false;
        }
        std::lock_guard lock(guardMutex_);
        guard_ = nullptr;
    }
    std::lock_guard lock(state_->mutex);
    if (!ok) {
        if (report_.failure == SshFailure::None)
            report_.failure = SshFailure::Cancelled;
        state_->report = report_;
        return ConnectStatus::Failed;
    }
    state_->credentials = gave_;
    pump_ = std::thread([this] { pump(); });
    return ConnectStatus::Connected;
}

bool SshChannelSocket::reachGateway(SetupGuard& guard)
{
    const SshGateway& g = state_->gateway;
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const std::string port = std::to_string(g.port);
    if (const int rc = ::getaddrinfo(g.host.c_str(), port.c_str(), &hints, &found); rc != 0) {
        fail(guard, SshFailure::Unreachable, ::gai_strerror(rc));
        return false;
    }
    std::string why = "no address";
    for (addrinfo* a = found; a && sshFd_.load() < 0; a = a->ai_next) {
        const int fd = ::socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
        if (fd < 0)
            continue;
        int rc = ::connect(fd, a->ai_addr, a->ai_addrlen);
        if (rc != 0 && errno == EINPROGRESS) {
            pollfd p[2] = {{fd, POLLOUT, 0}, {wake_, POLLIN, 0}};
            int ready;
            do
                ready = ::poll(p, 2, int(guard.remainingMs()));
            while (ready < 0 && errno == EINTR);
            int error = 0;
            socklen_t len = sizeof error;
            if (ready > 0 && (p[0].revents & (POLLOUT | POLLERR | POLLHUP)) && !(p[1].revents & POLLIN)) {
                ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &len);
                rc = error == 0 ? 0 : -1;
                errno = error;
            } else {
                rc = -1;
                errno = ready == 0 ? ETIMEDOUT : ECANCELED;
            }
        }
        if (rc == 0) {
            // libssh waits on the socket itself; it stays in blocking mode for it.
            ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
            int one = 1;
            ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
            sshFd_.store(fd);
        } else {
            why = std::strerror(errno);
            ::close(fd);
        }
    }
    ::freeaddrinfo(found);
    {
        // A shutdown that came while the socket was being made finds it now.
        std::lock_guard lock(guardMutex_);
        if (shutdownAsked_)
            guard.cancel();
    }
    if (sshFd_.load() < 0 || guard.cancelled()) {
        fail(guard, SshFailure::Unreachable, why);
        return false;
    }

    session_ = ssh_new();
    if (!session_) {
        fail(guard, SshFailure::NotSsh, "no SSH session could be made");
        return false;
    }
    const int verbosity = SSH_LOG_NOLOG;
    const int no = 0;
    const long seconds = long(std::max<uint32_t>(1, guard.remainingMs() / 1000 + 1));
    socket_t fd = sshFd_.load();
    const unsigned port16 = g.port;
    const std::string known = knownHostsPath(state_->settings);
    ssh_options_set(session_, SSH_OPTIONS_LOG_VERBOSITY, &verbosity);
    ssh_options_set(session_, SSH_OPTIONS_PROCESS_CONFIG, &no); // the profile says it all
    ssh_options_set(session_, SSH_OPTIONS_HOST, g.host.c_str());
    ssh_options_set(session_, SSH_OPTIONS_PORT, &port16);
    ssh_options_set(session_, SSH_OPTIONS_USER, g.user.c_str());
    ssh_options_set(session_, SSH_OPTIONS_KNOWNHOSTS, known.c_str());
    ssh_options_set(session_, SSH_OPTIONS_TIMEOUT, &seconds);
    ssh_options_set(session_, SSH_OPTIONS_FD, &fd);
    // Processors with AES instructions move AES-GCM fastest; the gateway picks from the
    // list, so one without them still gets what it prefers.
    const char* ciphers = "aes128-gcm@openssh.com,chacha20-poly1305@openssh.com,aes256-gcm@openssh.com,aes128-ctr,"
                          "aes256-ctr";
    ssh_options_set(session_, SSH_OPTIONS_CIPHERS_C_S, ciphers);
    ssh_options_set(session_, SSH_OPTIONS_CIPHERS_S_C, ciphers);
    if (ssh_connect(session_) != SSH_OK) {
        fail(guard, SshFailure::NotSsh, ssh_get_error(session_));
        return false;
    }
    return true;
}

bool SshChannelSocket::checkHostKey(SetupGuard& guard)
{
    ssh_key key = nullptr;
    if (ssh_get_server_publickey(session_, &key) != SSH_OK) {
        fail(guard, SshFailure::NotSsh, ssh_get_error(session_));
        return false;
    }
    unsigned char* hash = nullptr;
    size_t hashLength = 0;
    SshHostKey& shown = report_.hostKey;
    shown.host = state_->gateway.host;
    shown.port = state_->gateway.port;
    shown.type = ssh_key_type_to_char(ssh_key_type(key)) ? ssh_key_type_to_char(ssh_key_type(key)) : "unknown";
    if (ssh_get_publickey_hash(key, SSH_PUBLICKEY_HASH_SHA256, &hash, &hashLength) == SSH_OK) {
        if (char* text = ssh_get_fingerprint_hash(SSH_PUBLICKEY_HASH_SHA256, hash, hashLength)) {
            shown.fingerprint = text;
            ssh_string_free_char(text);
        }
        ssh_clean_pubkey_hash(&hash);
    }
    ssh_key_free(key);

    switch (ssh_session_is_known_server(session_)) {
    case SSH_KNOWN_HOSTS_OK: return true;
    case SSH_KNOWN_HOSTS_CHANGED:
    case SSH_KNOWN_HOSTS_OTHER: // known with a key of another type: as good as changed
        fail(guard, SshFailure::HostKeyChanged, shown.fingerprint);
        return false;
    case SSH_KNOWN_HOSTS_NOT_FOUND:
    case SSH_KNOWN_HOSTS_UNKNOWN: break;
    case SSH_KNOWN_HOSTS_ERROR:
    default:
        fail(guard, SshFailure::NotSsh, ssh_get_error(session_));
        return false;
    }
    if (!shown.fingerprint.empty() && gave_.acceptedOnce == shown.fingerprint)
        return true;
    HostKeyAnswer answer = HostKeyAnswer::Cancel;
    if (state_->acceptNew) {
        answer = HostKeyAnswer::AlwaysTrust;
    } else if (state_->questions && state_->questions->asksAboutHostKeys()) {
        answer = guard.asking([&] {
            return state_->questions->unknownHostKey(shown, [&guard] { return guard.cancelled(); });
        });
    } else {
        fail(guard, SshFailure::HostKeyUnknown, shown.fingerprint);
        return false;
    }
    switch (answer) {
    case HostKeyAnswer::ConnectOnce: gave_.acceptedOnce = shown.fingerprint; return true;
    case HostKeyAnswer::AlwaysTrust:
        if (ssh_session_update_known_hosts(session_) != SSH_OK) {
            fail(guard, SshFailure::HostKeyUnknown,
                 "the key could not be added to " + knownHostsPath(state_->settings) + ": " + ssh_get_error(session_));
            return false;
        }
        return true;
    case HostKeyAnswer::Cancel: break;
    }
    if (!guard.cancelled())
        guard.cancel(); // the user said no: a cancelled connection, nothing more to tell
    fail(guard, SshFailure::Cancelled);
    return false;
}

bool SshChannelSocket::authenticate(SetupGuard& guard)
{
    int rc = ssh_userauth_none(session_, nullptr);
    if (rc == SSH_AUTH_SUCCESS)
        return true;
    if (rc == SSH_AUTH_ERROR) {
        fail(guard, SshFailure::NotSsh, ssh_get_error(session_));
        return false;
    }
    const int methods = ssh_userauth_list(session_, nullptr);
    if ((methods & SSH_AUTH_METHOD_PUBLICKEY) && authenticateWithKeys(guard))
        return true;
    if (report_.failure != SshFailure::None)
        return false;
    if ((methods & (SSH_AUTH_METHOD_PASSWORD | SSH_AUTH_METHOD_INTERACTIVE)) &&
        authenticateWithPassword(guard, methods))
        return true;
    if (report_.failure == SshFailure::None) {
        std::string why;
        for (const std::string& file : refusedKeys_)
            why += (why.empty() ? "the key " : ", ") + file;
        if (!why.empty())
            why += " was not accepted";
        if (!state_->questions && (methods & (SSH_AUTH_METHOD_PASSWORD | SSH_AUTH_METHOD_INTERACTIVE)))
            report_.nobodyAsked = true;
        else if (gavePassword_)
            why += std::string(why.empty() ? "" : "; ") + "the password was not accepted";
        if (!encryptedKeys_.empty()) {
            report_.nobodyAsked = true;
            why += std::string(why.empty() ? "" : "; ") + "the key " + encryptedKeys_ + " is locked by a passphrase";
        }
        if (why.empty()) {
            std::string offered;
            for (auto [bit, name] : {std::pair{SSH_AUTH_METHOD_PUBLICKEY, "publickey"},
                                     std::pair{SSH_AUTH_METHOD_PASSWORD, "password"},
                                     std::pair{SSH_AUTH_METHOD_INTERACTIVE, "keyboard-interactive"}})
                if (methods & bit)
                    offered += std::string(offered.empty() ? "" : ", ") + name;
            why = "it accepts " + (offered.empty() ? std::string("no method we have") : offered);
        }
        fail(guard, SshFailure::AuthRefused, why);
    }
    return false;
}

// The passphrase callback libssh calls for an encrypted key.
struct PassphraseAsk {
    SshChannelSocket* socket;
    SetupGuard* guard;
    SshQuestions* questions;
    const std::string* file;
    std::optional<std::string>* passphrase;
    bool asked = false;
    bool refused = false;
};

bool SshChannelSocket::authenticateWithKeys(SetupGuard& guard)
{
    const char* agent = nullptr;
    std::string agentSocket;
    if (state_->settings.agentSocket) {
        agentSocket = *state_->settings.agentSocket;
        agent = agentSocket.empty() ? nullptr : agentSocket.c_str();
    } else {
        agent = std::getenv("SSH_AUTH_SOCK");
    }
    if (agent && *agent) {
        ssh_options_set(session_, SSH_OPTIONS_IDENTITY_AGENT, agent);
        if (ssh_userauth_agent(session_, nullptr) == SSH_AUTH_SUCCESS)
            return true;
    }
    for (const std::string& file : keyFilesToOffer(state_->gateway, state_->settings)) {
        ssh_key key = nullptr;
        // An unencrypted key, or one whose passphrase this connection already has.
        const char* held = gave_.passphrase ? gave_.passphrase->c_str() : nullptr;
        int rc = ssh_pki_import_privkey_file(file.c_str(), held, nullptr, nullptr, &key);
        if (rc == SSH_EOF) {
            refusedKeys_.push_back(file + " (not readable)");
            continue;
        }
        for (int tries = 0; rc != SSH_OK && tries < 3 && state_->questions && !guard.cancelled(); ++tries) {
            std::optional<std::string> typed = guard.asking([&] {
                return state_->questions->askSecret(SshSecretKind::Passphrase, "Passphrase for " + file + ":",
                                                    [&guard] { return guard.cancelled(); });
            });
            if (!typed)
                break;
            rc = ssh_pki_import_privkey_file(file.c_str(), typed->c_str(), nullptr, nullptr, &key);
            if (rc == SSH_OK)
                gave_.passphrase = std::move(typed);
        }
        if (guard.cancelled()) {
            fail(guard, SshFailure::Cancelled);
            return false;
        }
        if (rc != SSH_OK) {
            if (!state_->questions)
                encryptedKeys_ += (encryptedKeys_.empty() ? "" : ", ") + file;
            else
                refusedKeys_.push_back(file + " (its passphrase was not given)");
            continue;
        }
        rc = ssh_userauth_publickey(session_, nullptr, key);
        ssh_key_free(key);
        if (rc == SSH_AUTH_SUCCESS)
            return true;
        refusedKeys_.push_back(file);
        if (rc == SSH_AUTH_ERROR) {
            fail(guard, SshFailure::AuthRefused, ssh_get_error(session_));
            return false;
        }
    }
    return false;
}

bool SshChannelSocket::authenticateWithPassword(SetupGuard& guard, int methods)
{
    const std::string prompt = "Password for " + state_->gateway.user + "@" + state_->gateway.host + ":";
    // A password this connection already gave goes first; then the user is asked.
    auto nextPassword = [&](int attempt) -> std::optional<std::string> {
        if (attempt == 0 && gave_.password)
            return gave_.password;
        if (!state_->questions || guard.cancelled())
            return std::nullopt;
        return guard.asking([&] {
            return state_->questions->askSecret(SshSecretKind::Password, prompt,
                                                [&guard] { return guard.cancelled(); });
        });
    };
    // Attempt 0: a password held from before; then three questions, as ssh asks.
    for (int attempt = gave_.password ? 0 : 1; attempt <= 3; ++attempt) {
        std::optional<std::string> password = nextPassword(attempt);
        if (!password)
            break;
        gavePassword_ = true;
        int rc = SSH_AUTH_DENIED;
        if (methods & SSH_AUTH_METHOD_PASSWORD) {
            rc = ssh_userauth_password(session_, nullptr, password->c_str());
        } else {
            // Keyboard-interactive: the password answers each hidden question.
            rc = ssh_userauth_kbdint(session_, nullptr, nullptr);
            while (rc == SSH_AUTH_INFO) {
                const int questions = ssh_userauth_kbdint_getnprompts(session_);
                for (int i = 0; i < questions; ++i)
                    ssh_userauth_kbdint_setanswer(session_, unsigned(i), password->c_str());
                rc = ssh_userauth_kbdint(session_, nullptr, nullptr);
            }
        }
        if (rc == SSH_AUTH_SUCCESS) {
            gave_.password = std::move(password);
            return true;
        }
        if (rc == SSH_AUTH_ERROR) {
            fail(guard, SshFailure::AuthRefused, ssh_get_error(session_));
            return false;
        }
        if (attempt == 0 && gave_.password)
            gave_.password.reset(); // it no longer works: ask
    }
    if (guard.cancelled()) {
        fail(guard, SshFailure::Cancelled);
        return false;
    }
    return false;
}

bool SshChannelSocket::openChannel()
{
    channel_ = ssh_channel_new(session_);
    if (!channel_)
        return false;
    const std::string host = dotted(target_.address);
    if (ssh_channel_open_forward(channel_, host.c_str(), target_.port, "127.0.0.1", 0) != SSH_OK) {
        report_.failure = SshFailure::ChannelRefused;
        report_.detail = "to " + host + ":" + std::to_string(target_.port) + ": " + ssh_get_error(session_);
        return false;
    }
    return true;
}

// Moves bytes between the channel and the link's socket pair until either side ends.
void SshChannelSocket::pump()
{
    std::vector<char> toLink;
    size_t sent = 0;
    constexpr size_t kHoldAtMost = 256 * 1024; // the channel waits (its window shuts) past this
    char buffer[32 * 1024];
    bool channelEnded = false, linkEnded = false;
    while (!linkEnded || (!channelEnded && sent < toLink.size())) {
        // Acknowledge what arrives at once: the gateway sends the tail of a reply only
        // when its start is acknowledged (its socket keeps small writes back), and a
        // delayed acknowledgement would hold every exchange for tens of milliseconds.
        int one = 1;
        ::setsockopt(sshFd_.load(), IPPROTO_TCP, TCP_QUICKACK, &one, sizeof one);
        // Channel to link: what libssh has, as far as there is room.
        while (!channelEnded && toLink.size() - sent < kHoldAtMost) {
            const int n = ssh_channel_read_nonblocking(channel_, buffer, sizeof buffer, 0);
            if (n > 0) {
                toLink.insert(toLink.end(), buffer, buffer + n);
            } else {
                if (n < 0 || ssh_channel_is_eof(channel_) || ssh_channel_is_closed(channel_))
                    channelEnded = true;
                break;
            }
        }
        while (sent < toLink.size()) {
            const ssize_t n = ::send(pumpEnd_, toLink.data() + sent, toLink.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
            if (n > 0)
                sent += size_t(n);
            else if (n < 0 && errno == EINTR)
                continue;
            else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
                break;
            else {
                linkEnded = channelEnded = true; // the link is gone
                break;
            }
        }
        if (sent == toLink.size()) {
            toLink.clear();
            sent = 0;
            if (channelEnded)
                break; // everything the device sent is with the link: the end follows
        }
        pollfd p[3] = {{sshFd_.load(), short(channelEnded || toLink.size() >= kHoldAtMost ? 0 : POLLIN), 0},
                       {pumpEnd_, short((linkEnded ? 0 : POLLIN) | (toLink.empty() ? 0 : POLLOUT)), 0},
                       {wake_, POLLIN, 0}};
        // Whatever libssh read while writing is taken at the top of the loop, before this
        // wait; the time-out is only a safety net.
        const int ready = ::poll(p, 3, 1000);
        if (ready < 0 && errno != EINTR)
            break;
        if (p[2].revents & POLLIN)
            break; // shut down
        if (p[0].revents & (POLLERR | POLLHUP | POLLNVAL) && !(p[0].revents & POLLIN))
            channelEnded = true;
        if (!linkEnded && (p[1].revents & (POLLIN | POLLHUP))) {
            const ssize_t n = ::recv(pumpEnd_, buffer, sizeof buffer, MSG_DONTWAIT);
            if (n > 0) {
                if (ssh_channel_write(channel_, buffer, uint32_t(n)) != n)
                    break;
            } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
                linkEnded = true;
                ssh_channel_send_eof(channel_);
            }
        }
    }
    // The link reads the end of the channel as the peer closing.
    ::shutdown(pumpEnd_, SHUT_RDWR);
}

void SshChannelSocket::release()
{
    if (released_)
        return;
    released_ = true;
    if (pump_.joinable()) {
        const uint64_t one = 1;
        [[maybe_unused]] ssize_t n = ::write(wake_, &one, sizeof one);
        pump_.join();
    }
    if (channel_) {
        if (ssh_channel_is_open(channel_))
            ssh_channel_close(channel_);
        ssh_channel_free(channel_);
        channel_ = nullptr;
    }
    if (session_) {
        ssh_disconnect(session_); // closes the gateway socket it was given
        ssh_free(session_);
        session_ = nullptr;
    } else if (sshFd_.load() >= 0) {
        ::close(sshFd_.load());
    }
    sshFd_.store(-1);
    ::close(pumpEnd_);
    ::close(wake_);
}

} // namespace

SshTransportFactory::SshTransportFactory(SshGateway gateway, SshSettings settings, SshQuestions* questions,
                                         SshCredentials credentials)
    : gateway_(std::move(gateway)), settings_(std::move(settings)), state_(std::make_shared<State>())
{
    state_->gateway = gateway_;
    state_->settings = settings_;
    state_->questions = questions;
    state_->credentials = std::move(credentials);
}

SshTransportFactory::~SshTransportFactory() = default;

void SshTransportFactory::acceptNewHostKeys(bool on)
{
    state_->acceptNew = on;
}

std::unique_ptr<SocketTransport> SshTransportFactory::openTcp()
{
    {
        // A caller that tries again (the proxy client makes three attempts) is not asked
        // the same question again, nor made to wait out the same bound: only a channel
        // the gateway refused may do better the next time.
        std::lock_guard lock(state_->mutex);
        if (state_->report.failure != SshFailure::None && state_->report.failure != SshFailure::ChannelRefused)
            return nullptr;
    }
    int pair[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0)
        return nullptr;
    const int wake = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wake < 0 || ::fcntl(pair[0], F_SETFL, ::fcntl(pair[0], F_GETFL) | O_NONBLOCK) != 0) {
        ::close(pair[0]);
        ::close(pair[1]);
        if (wake >= 0)
            ::close(wake);
        return nullptr;
    }
    return std::make_unique<SshChannelSocket>(pair[0], pair[1], wake, state_);
}

SshReport SshTransportFactory::report() const
{
    std::lock_guard lock(state_->mutex);
    return state_->report;
}

SshCredentials SshTransportFactory::credentials() const
{
    std::lock_guard lock(state_->mutex);
    return state_->credentials;
}

} // namespace sorvane
