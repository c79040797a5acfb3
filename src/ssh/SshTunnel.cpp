#include "ssh/SshTunnel.h"

namespace sorvane {

struct SshTransportFactory::State {
    std::mutex mutex;
    SshQuestions* questions = nullptr;
    SshCredentials credentials;
    SshReport report;
};

SshTransportFactory::SshTransportFactory(SshGateway gateway, SshSettings settings, SshQuestions* questions,
                                         SshCredentials credentials)
    : gateway_(std::move(gateway)), settings_(std::move(settings)), state_(std::make_shared<State>())
{
    state_->questions = questions;
    state_->credentials = std::move(credentials);
}

SshTransportFactory::~SshTransportFactory() = default;

// The channel itself is being written; until then every channel fails.
std::unique_ptr<SocketTransport> SshTransportFactory::openTcp()
{
    state_->report.failure = SshFailure::Unreachable;
    return nullptr;
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
