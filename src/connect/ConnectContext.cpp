#include "connect/ConnectContext.h"

namespace sorvane {

LinkConfig ConnectContext::linkConfig() const
{
    LinkConfig config;
    std::string error;
    if (!linkConfigFrom(platform, config, error)) {
        // A damaged address list must not send anywhere: no ActiveSync candidates.
        config = LinkConfig{};
        config.activeSyncCandidates.clear();
    }
    return config;
}

} // namespace sorvane
