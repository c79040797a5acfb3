#pragma once
// A real OpenSSH server for tests: /usr/sbin/sshd on 127.0.0.1 and a free port, with
// a throwaway host key, authorized_keys and configuration in a folder of its own. It
// accepts the running user's login by key (an unencrypted key and one locked with a
// passphrase) and allows direct-tcpip channels; its log is kept at debug level, where
// it names each channel it opens.

#include <filesystem>
#include <string>

#include <sys/types.h>

#include "support/TempDir.h"

namespace sorvane::test {

class SshServer {
public:
    static constexpr const char* kPassphrase = "correct horse";

    // Makes the keys and starts the server; throws std::runtime_error when it cannot.
    SshServer();
    ~SshServer();
    SshServer(const SshServer&) = delete;
    SshServer& operator=(const SshServer&) = delete;

    int port() const { return port_; }
    const std::string& user() const { return user_; }
    // "user@127.0.0.1:port"
    std::string gateway() const;
    std::filesystem::path dir() const { return dir_.path(); }
    std::filesystem::path clientKey() const { return dir_ / "client"; }     // authorized
    std::filesystem::path lockedKey() const { return dir_ / "locked"; }     // authorized, kPassphrase
    std::filesystem::path strangerKey() const { return dir_ / "stranger"; } // not authorized
    // The host key's fingerprint as ssh-keygen -l prints it ("SHA256:...").
    const std::string& hostFingerprint() const { return fingerprint_; }
    // A known-hosts line for this server with another key (as after a reinstall).
    std::string otherKnownHostsLine() const;

    // Ends the listener (sessions already open live on) / starts it again on the port.
    void stop();
    void start();
    // Ends every open session (the processes the server forked for its connections).
    void killSessions();
    // The server's log so far.
    std::string log() const;

private:
    TempDir dir_;
    int port_ = 0;
    std::string user_;
    std::string fingerprint_;
    pid_t pid_ = -1;
};

} // namespace sorvane::test
