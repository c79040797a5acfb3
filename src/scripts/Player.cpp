#include "scripts/Player.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "link/LinkChannel.h"
#include "platform/Clock.h"
#include "screen/ScreenReceiver.h"
#include "scripts/ResultsLog.h"
#include "view/Connection.h"
#include "view/Job.h"
#include "view/ViewRecord.h"

namespace sorvane {

bool CommandKeywordHasReply(uint8_t code)
{
    switch (code) {
    case 103: // 'g' a folder listing
    case 109: // 'm' a 32-bit result
    case 110: // 'n' a 32-bit result
    case 111: // 'o' the 48-byte status record
    case 113: // 'q' a length and the clipboard text
    case 120: // 'x' a count and the process records
        return true;
    default: return false;
    }
}

Player::Player(Scenario scenario, std::string scriptDir, std::string deviceName)
    : scenario_(std::move(scenario)), scriptDir_(std::move(scriptDir)), deviceName_(std::move(deviceName))
{
    if (scenario_.files.size() > Scenario::kMaxFiles)
        scenario_.files.resize(Scenario::kMaxFiles);
}

void Player::start(uint32_t tick)
{
    scenario_.fileIndex = -1;
    scenario_.loopCounter = 0;
    scenario_.active = 1;
    loaded_ = false;
    eventIndex_ = 0;
    lastEventTick_ = tick;
    ended_ = false;
    loadFailures_ = 0;
    checkFailures_.clear();
    checksPassed_ = 0;
}

void Player::log(std::string_view text1, std::string_view text2) const
{
    if (scenario_.logResults && !scenario_.logFile.empty())
        LogLine(scenario_.logFile, text1, text2); // a log that cannot be written is left alone
}

void Player::logStart()
{
    const ScenarioFile& f = scenario_.files[size_t(scenario_.fileIndex)];
    char text[512];
    std::snprintf(text, sizeof text, "*** Start of Script ***, Script = %s, File = %d, Loop = %d, Device = %s",
                  scenario_.name.c_str(), int(scenario_.fileIndex), int(scenario_.loopCounter), deviceName_.c_str());
    log(text, f.fileName);
    std::snprintf(text, sizeof text, "Version %x", kLogVersion);
    log(text, f.fileName);
}

bool Player::load()
{
    const ScenarioFile& f = scenario_.files[size_t(scenario_.fileIndex)];
    LoadedScript script;
    // The entry names a file of the script folder; a name with a directory in it is
    // not followed out of the folder.
    const std::filesystem::path name(f.fileName);
    if (f.fileName.empty() || name.has_parent_path() || f.fileName == "." || f.fileName == "..") {
        lastLoadError_ = "\"" + f.fileName + "\" is not a file name of the script folder";
        return false;
    }
    if (!LoadScriptFile((std::filesystem::path(scriptDir_) / name).string(), script, lastLoadError_))
        return false;
    script_ = std::move(script);
    eventIndex_ = 0;
    loaded_ = true;
    return true;
}

void Player::send(PlaybackLink& link, const RecordedEvent& e)
{
    if (e.code() == event_code::Launch) {
        const std::vector<uint8_t> m = LaunchMessage(script_.launchPath(e));
        link.channel.send(m.data(), m.size());
    } else {
        link.channel.send(e.packet.data(), e.packet.size());
    }
    ++eventsSent_;
    if (CommandKeywordHasReply(e.code())) {
        // The device answers this one. Left unread, its reply would be taken for the next
        // screen poll's; so it is given a moment to arrive and dropped, and a refresh
        // makes both sides start the picture again from zero.
        link.clock.sleepMs(kReplyWaitMs);
        link.channel.discardPending();
        if (link.screen)
            RefreshScreen(link.channel, *link.screen);
    }
}

void Player::wait(PlaybackLink& link, uint64_t ms)
{
    while (ms > 0 && !(link.stopping && link.stopping())) {
        const uint32_t piece = uint32_t(std::min<uint64_t>(ms, kCycleMs));
        link.clock.sleepMs(piece);
        ms -= piece;
    }
}

void Player::passComplete(PlaybackLink& link)
{
    ++scenario_.loopCounter;
    if (scenario_.loopCounter < scenario_.loopCount) {
        wait(link, uint64_t(uint32_t(std::max(0, scenario_.loopDelay))) * 1000);
        scenario_.fileIndex = -1;
        return;
    }
    scenario_.active = 0;
    ended_ = true;
}

void Player::logEnded(std::string_view reason)
{
    if (ended_)
        return;
    log("*** Scenario Ended ***", reason);
    scenario_.active = 0;
    ended_ = true;
}

bool Player::step(PlaybackLink& link)
{
    if (ended_)
        return false;
    // 1. Nothing loaded: the next file of the pass.
    if (!loaded_) {
        ++scenario_.fileIndex;
        lastEventTick_ = link.clock.tickCount();
        if (scenario_.fileIndex >= int32_t(scenario_.files.size())) {
            passComplete(link);
            if (ended_)
                return false;
            endCycle(link);
            return true;
        }
        scenario_.files[size_t(scenario_.fileIndex)].scriptLoopCounter = 0;
        logStart();
        if (!load()) {
            // The cycle ends here, but with its pause: a scenario whose every file fails
            // would otherwise spin through its passes writing its log as fast as it can.
            ++loadFailures_;
            log("Error Loading Script File", scenario_.files[size_t(scenario_.fileIndex)].fileName);
            endCycle(link);
            return true;
        }
    }
    // 2. The next event, once its delay has passed since the last one.
    if (eventIndex_ < script_.events.size() &&
        link.clock.tickCount() - lastEventTick_ >= script_.events[eventIndex_].time) {
        const RecordedEvent& e = script_.events[eventIndex_];
        if (e.code() == event_code::Check) {
            const CheckEnd end = runCheck(link, e.arg());
            if (end == CheckEnd::Stopped)
                return true; // its place is kept: the check starts again when playing resumes
            ++eventIndex_;
            lastEventTick_ = link.clock.tickCount();
            if (end == CheckEnd::Failed) {
                // The file ends here, its remaining repetitions skipped; the scenario goes on.
                log("*** End of Script ***", scenario_.files[size_t(scenario_.fileIndex)].fileName);
                loaded_ = false;
                script_ = LoadedScript{};
                eventIndex_ = 0;
                endCycle(link);
                return true;
            }
        } else {
            if (scenario_.logResults)
                LogEvent(scenario_.logFile, script_, e);
            send(link, e);
            ++eventIndex_;
            lastEventTick_ = link.clock.tickCount();
        }
    }
    // 3. The file is done: again, or the next one.
    if (eventIndex_ == script_.events.size()) {
        ScenarioFile& f = scenario_.files[size_t(scenario_.fileIndex)];
        log("*** End of Script ***", f.fileName);
        wait(link, uint64_t(uint32_t(std::max(0, f.scriptLoopDelay))) * 1000);
        ++f.scriptLoopCounter;
        if (f.scriptLoopCounter < f.scriptLoopCount) {
            eventIndex_ = 0;
            logStart();
        } else {
            loaded_ = false;
            script_ = LoadedScript{};
            eventIndex_ = 0;
        }
    }
    endCycle(link);
    return true;
}

void Player::endCycle(PlaybackLink& link)
{
    // 4. The cycle's pause, and now and then a screen update.
    link.clock.sleepMs(kCycleMs);
    ++cycles_;
    if (!scenario_.noVideo && cycles_ % kPollEvery == 0 && link.pollScreen)
        link.pollScreen();
}

bool RunPlayback(Player& player, PlaybackLink& link, std::atomic<RecordState>& recordState,
                 const std::function<bool()>& superseded)
{
    const std::function<bool()> outside = link.stopping;
    PlaybackLink paced = link;
    paced.stopping = [&] {
        return recordState.load() != RecordState::Playing || (outside && outside()) || (superseded && superseded());
    };
    while (!paced.stopping()) {
        if (!player.step(paced))
            break;
    }
    if (superseded && superseded())
        return player.ended();
    if (player.ended() || (outside && outside())) {
        RecordState playing = RecordState::Playing;
        recordState.compare_exchange_strong(playing, RecordState::Stopped);
    }
    return player.ended();
}

std::shared_ptr<Job> PostPlayback(Connection& connection, std::shared_ptr<Player> player,
                                  std::function<void(const Job&)> done)
{
    // The newer run first, then the state: an older run that wakes in between stops.
    const uint32_t run = ++connection.view().playRun;
    connection.view().recordState = RecordState::Playing;
    Connection* c = &connection;
    return connection.post(
        JobKind::Playback,
        [c, player, run](JobContext& ctx, std::string& error) {
            PlaybackLink link{ctx.channel(), c->clock(), &ctx.screen(), [&ctx] { ctx.pollScreen(); },
                              [&ctx] { return ctx.cancelled(); }, [&ctx] { return ctx.pollScreenForCheck(); },
                              PollPeriodMs(ctx.screen().refreshRate.load())};
            RunPlayback(*player, link, c->view().recordState, [c, run] { return c->view().playRun.load() != run; });
            if (ctx.cancelled() && !player->ended()) {
                error = "playback stopped";
                return false;
            }
            return true;
        },
        [c, run, done = std::move(done)](const Job& job) {
            // A job that never ran leaves no playing state behind, unless a newer run has it.
            if (job.status() != JobStatus::Done && c->view().playRun.load() == run) {
                RecordState playing = RecordState::Playing;
                c->view().recordState.compare_exchange_strong(playing, RecordState::Stopped);
            }
            if (done)
                done(job);
        });
}

} // namespace sorvane
