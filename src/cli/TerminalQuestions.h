#pragma once
// What a link through an SSH gateway asks, asked on the controlling terminal: a key's
// passphrase or the account's password is read with echo off. Unknown host keys are
// never asked about here (--ssh-accept-new says what to do with them).

#include <memory>

#include "ssh/SshGateway.h"

namespace sorvane::cli {

class TerminalQuestions final : public SshQuestions {
public:
    // The questions on /dev/tty; nullptr when the process has no terminal.
    static std::unique_ptr<TerminalQuestions> open();
    ~TerminalQuestions() override;

    bool asksAboutHostKeys() const override { return false; }
    HostKeyAnswer unknownHostKey(const SshHostKey&, const std::function<bool()>&) override
    {
        return HostKeyAnswer::Cancel;
    }
    std::optional<std::string> askSecret(SshSecretKind kind, const std::string& prompt,
                                         const std::function<bool()>& cancelled) override;

private:
    explicit TerminalQuestions(int fd) : fd_(fd) {}
    int fd_;
};

} // namespace sorvane::cli
