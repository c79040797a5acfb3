// play SCRIPT.txt [--log FILE]     replay one script file once
// scenario NAME [--script-dir DIR] run a stored scenario to its end
// Both run the scenario player on the session's link with the real clock, polling the
// screen every 32nd cycle as a connection does while it plays; a check line polls at
// the --refresh rate while it runs, whatever the scenario says about video. A failed
// check is named and makes the exit status 1.

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>

#include "cli/CliSession.h"
#include "cli/Commands.h"
#include "cli/PlayScenario.h"
#include "platform/Utf8Text.h"
#include "screen/ScreenReceiver.h"
#include "tools/DeviceText.h"
#include "scripts/Player.h"
#include "scripts/ResultsLog.h"
#include "scripts/Scenario.h"
#include "view/Connection.h"
#include "view/ViewRecord.h"

namespace fs = std::filesystem;

namespace sorvane::cli {
namespace {

} // namespace

PlayedScenario PlayScenario(CliSession& session, const Scenario& scenario, const std::string& scriptDir,
                            const std::string& artifactDir)
{
    std::unique_ptr<ScreenState> screen = session.screenState();
    const bool video = screen != nullptr;
    LinkChannel& channel = session.channel();
    LinkDropSink sink;
    if (video)
        RefreshScreen(channel, *screen); // both sides start the picture from zero
    PlaybackLink link{channel, session.clock(), video ? screen.get() : nullptr,
                      [&] {
                          if (video && PollScreen(channel, *screen, sink) == PollOutcome::Dropped)
                              sink.dropped = true;
                      },
                      [&] { return sink.dropped || session.timedOut(); },
                      [&] {
                          if (!video)
                              return false;
                          const PollOutcome outcome = PollScreen(channel, *screen, sink);
                          if (outcome == PollOutcome::Dropped)
                              sink.dropped = true;
                          return outcome == PollOutcome::Applied || outcome == PollOutcome::Unchanged;
                      },
                      PollPeriodMs(video ? screen->refreshRate.load() : 10)};
    Player player(scenario, scriptDir, FromDeviceText(session.slot().deviceName));
    if (!artifactDir.empty())
        player.setArtifactDir(artifactDir);
    player.setOutputLabel(session.label());
    player.start(session.clock().tickCount());
    std::atomic<RecordState> state{RecordState::Playing};
    const bool ended = RunPlayback(player, link, state);
    PlayedScenario played{{}, player.loadFailures(), player.lastLoadError(), player.checkFailures()};
    if (session.timedOut() || sink.dropped)
        played.lost = session.lostReason();
    else if (!ended)
        played.lost = "the device closed the link";
    return played;
}

namespace {

// Plays the scenario to its end. 0 when every file loaded and every check passed, 1
// otherwise (with the reasons).
int play(CliSession& session, const Scenario& scenario, const std::string& scriptDir)
{
    const PlayedScenario played = PlayScenario(session, scenario, scriptDir);
    if (!played.lost.empty())
        return fail(played.lost);
    for (const CheckFailure& f : played.checkFailures)
        std::fprintf(stderr, "sorvane-cli: %s line %d: %s %s\n", EscapeText(f.script).c_str(), f.line,
                     f.keyword.c_str(), EscapeText(f.message).c_str());
    if (played.loadFailures > 0)
        return fail(played.lastLoadError);
    return played.checkFailures.empty() ? 0 : 1;
}

// The program's own script folder: $SORVANE_HOME/RECORDED_DATA, or RECORDED_DATA in the
// per-user data folder.
std::string defaultScriptDir()
{
    if (const char* home = std::getenv("SORVANE_HOME"); home && *home)
        return (fs::path(home) / "RECORDED_DATA").string();
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg == '/')
        return (fs::path(xdg) / "sorvane" / "RECORDED_DATA").string();
    const char* home = std::getenv("HOME");
    return (fs::path(home ? home : ".") / ".local/share/sorvane/RECORDED_DATA").string();
}

} // namespace

int runPlay(CliSession& session, const std::vector<std::string>& args)
{
    std::string script, log;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--log") {
            if (i + 1 >= args.size())
                return usage("--log needs a file");
            log = args[++i];
        } else if (!args[i].empty() && args[i][0] == '-') {
            return usage("unknown play option " + args[i]);
        } else if (script.empty()) {
            script = args[i];
        } else {
            return usage("play takes one script file");
        }
    }
    if (script.empty())
        return usage("play needs a script file");
    const fs::path path(script);
    Scenario s;
    s.name = path.filename().string();
    s.loopCount = 1;
    s.logResults = log.empty() ? 0 : 1;
    s.logFile = log.empty() ? log : session.outputPath(log);
    s.files.push_back(ScenarioFile{0, 1, 0, path.filename().string()});
    return play(session, s, path.has_parent_path() ? path.parent_path().string() : ".");
}

int runScenario(CliSession& session, const std::vector<std::string>& args)
{
    std::string name, dir;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--script-dir") {
            if (i + 1 >= args.size())
                return usage("--script-dir needs a folder");
            dir = args[++i];
        } else if (!args[i].empty() && args[i][0] == '-') {
            return usage("unknown scenario option " + args[i]);
        } else if (name.empty()) {
            name = args[i];
        } else {
            return usage("scenario takes one name");
        }
    }
    if (name.empty())
        return usage("scenario needs a name");
    if (dir.empty())
        dir = defaultScriptDir();
    ScenarioTable table;
    // The old single-file store is the program's to import. Files that were refused are
    // named; the others still play.
    for (const std::string& problem : table.load(dir, "").problems)
        std::fprintf(stderr, "sorvane-cli: %s\n", EscapeText(problem).c_str());
    for (const Scenario& s : table.scenarios()) {
        if (s.name != name)
            continue;
        Scenario played = s;
        if (played.logResults && !played.logFile.empty())
            played.logFile = session.outputPath(played.logFile); // on several devices, one log each
        if (const std::string problem = DropRefusedResultsLog(played, dir); !problem.empty())
            std::fprintf(stderr, "sorvane-cli: the results log %s is not used: %s; the scenario plays without it\n",
                         EscapeText(s.logFile).c_str(), problem.c_str());
        return play(session, played, dir);
    }
    return fail("no scenario named \"" + name + "\" in " + dir);
}

} // namespace sorvane::cli
