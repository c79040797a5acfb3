#include "support/SshServer.h"

#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <vector>

#include "support/LoopbackSockets.h"
#include "support/SimProcess.h"

namespace sorvane::test {
namespace {

std::string readAll(const std::filesystem::path& p)
{
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void run(const std::vector<std::string>& argv)
{
    const ProcessResult r = runProcess(argv, std::chrono::seconds(30));
    if (r.exitCode != 0)
        throw std::runtime_error(argv[0] + " failed: " + r.err);
}

void makeKey(const std::filesystem::path& file, const std::string& passphrase)
{
    run({"/usr/bin/ssh-keygen", "-q", "-t", "ed25519", "-N", passphrase, "-C", "sorvane-test", "-f", file.string()});
}

} // namespace

SshServer::SshServer()
{
    if (const passwd* pw = ::getpwuid(::getuid()))
        user_ = pw->pw_name;
    makeKey(dir_ / "host", "");
    makeKey(dir_ / "client", "");
    makeKey(dir_ / "locked", kPassphrase);
    makeKey(dir_ / "stranger", "");
    makeKey(dir_ / "other-host", "");
    std::ofstream(dir_ / "authorized_keys") << readAll(dir_ / "client.pub") << readAll(dir_ / "locked.pub");
    const ProcessResult fp = runProcess({"/usr/bin/ssh-keygen", "-l", "-f", (dir_ / "host.pub").string()});
    std::istringstream words(fp.out);
    std::string bits;
    words >> bits >> fingerprint_;
    port_ = freeLoopbackPort();
    std::ofstream(dir_ / "sshd_config") << "ListenAddress 127.0.0.1\n"
                                        << "Port " << port_ << "\n"
                                        << "HostKey " << (dir_ / "host").string() << "\n"
                                        << "PidFile none\n"
                                        << "AuthorizedKeysFile " << (dir_ / "authorized_keys").string() << "\n"
                                        << "StrictModes no\n"
                                        << "UsePAM no\n"
                                        << "PermitRootLogin yes\n"
                                        << "PubkeyAuthentication yes\n"
                                        << "PasswordAuthentication yes\n"
                                        << "KbdInteractiveAuthentication no\n"
                                        << "AllowTcpForwarding yes\n"
                                        << "PermitOpen any\n"
                                        << "MaxAuthTries 10\n"
                                        << "LogLevel DEBUG1\n";
    // Run as root, the server wants its privilege separation folder.
    if (::getuid() == 0)
        ::mkdir("/run/sshd", 0755);
    start();
}

SshServer::~SshServer()
{
    killSessions();
    stop();
}

std::string SshServer::gateway() const
{
    return user_ + "@127.0.0.1:" + std::to_string(port_);
}

std::string SshServer::otherKnownHostsLine() const
{
    return "[127.0.0.1]:" + std::to_string(port_) + " " + readAll(dir_ / "other-host.pub");
}

void SshServer::start()
{
    const std::string config = (dir_ / "sshd_config").string(), log = (dir_ / "sshd.log").string();
    pid_ = ::fork();
    if (pid_ == 0) {
        ::execl("/usr/sbin/sshd", "/usr/sbin/sshd", "-D", "-f", config.c_str(), "-E", log.c_str(), nullptr);
        ::_exit(127);
    }
    if (pid_ < 0)
        throw std::runtime_error("cannot start sshd");
    for (int i = 0; i < 1000; ++i) {
        if (const int fd = connectLoopback(port_); fd >= 0) {
            ::close(fd);
            return;
        }
        if (::waitpid(pid_, nullptr, WNOHANG) == pid_) {
            pid_ = -1;
            throw std::runtime_error("sshd ended at once: " + this->log());
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    throw std::runtime_error("sshd did not listen: " + this->log());
}

void SshServer::stop()
{
    if (pid_ <= 0)
        return;
    ::kill(pid_, SIGTERM);
    ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
}

void SshServer::killSessions()
{
    if (pid_ <= 0)
        return;
    // The session processes are the listener's descendants.
    std::vector<std::pair<pid_t, pid_t>> processes; // (pid, parent)
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        const std::string name = entry.path().filename();
        if (name.find_first_not_of("0123456789") != std::string::npos)
            continue;
        const std::string stat = readAll(entry.path() / "stat");
        const size_t close = stat.rfind(')');
        if (close == std::string::npos || close + 2 > stat.size())
            continue;
        std::istringstream fields(stat.substr(close + 2));
        char state = 0;
        pid_t parent = 0;
        fields >> state >> parent;
        processes.emplace_back(pid_t(std::stol(name)), parent);
    }
    std::vector<pid_t> tree{pid_};
    for (size_t i = 0; i < tree.size(); ++i)
        for (auto [pid, parent] : processes)
            if (parent == tree[i])
                tree.push_back(pid);
    for (size_t i = 1; i < tree.size(); ++i)
        ::kill(tree[i], SIGKILL);
}

std::string SshServer::log() const
{
    return readAll(dir_ / "sshd.log");
}

} // namespace sorvane::test
