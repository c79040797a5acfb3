#pragma once
// One scenario played to its end on the session's device, as play, scenario and test
// run it: the scenario player on the session's link with the real clock.

#include <string>
#include <vector>

#include "scripts/Player.h"
#include "scripts/Scenario.h"

namespace sorvane::cli {

class CliSession;

struct PlayedScenario {
    std::string lost; // why the run could not go on (the link timed out or was closed); empty: it ended
    int loadFailures = 0;
    std::string lastLoadError;
    std::vector<CheckFailure> checkFailures;
};

// artifactDir: where failed checks' pictures go; empty: the player's default place.
PlayedScenario PlayScenario(CliSession& session, const Scenario& scenario, const std::string& scriptDir,
                            const std::string& artifactDir = {});

} // namespace sorvane::cli
