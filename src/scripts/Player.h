#pragma once
// Scenario playback: the replay of a scenario's script files on one connection.
//
// A Player holds a playing scenario (its own copy, counters included), the loaded
// script and the pacing. step() is one playback cycle: at most one due event is sent,
// a finished file is repeated or unloaded, a finished pass is repeated or ends the
// scenario; then the cycle waits 20 ms (also when a file failed to load or a pass
// ended), and every 32nd cycle polls the screen unless the scenario disables video.
// A check line's event (event_code::Check) runs its check within the cycle it is due:
// it polls the screen (pollForCheck) and compares, once for a CHECK line, at the
// poll period until it passes or its time is up for a wait; stopping ends a wait at
// once with the check's place kept (a resumed run starts it again). A failed check is
// logged, its pictures saved, and it ends its script file: the file's remaining
// repetitions are skipped and the scenario goes on with its next file.
// Event delays are kept by checking every cycle, not by sleeping them out; only the
// loop delays of files and passes wait, and they end at once when playback is told to
// stop.
//
// Time comes from the Clock handed in, so tests drive it (ManualClock) and nothing
// waits for real.
//
// Threads: a Player is used by one thread at a time: the connection thread while a
// playback job runs it (RunPlayback).

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "scripts/Scenario.h"
#include "scripts/ScriptText.h"
#include "view/RecordState.h"

namespace sorvane {

class Clock;
class Connection;
class Job;
class LinkChannel;
class TextReader;
struct ScreenState;

// What one playback talks through.
struct PlaybackLink {
    LinkChannel& channel;
    Clock& clock;
    ScreenState* screen = nullptr;      // refreshed ('Q') after a command keyword's reply; null: none
    std::function<void()> pollScreen;   // one screen exchange; empty: none
    std::function<bool()> stopping;     // Stop, pause, or the connection ends: loop delays end at once
    // Waits and checks: one screen exchange, whatever the scenario says about video;
    // true when the picture is then the device's (an update applied or nothing
    // changed). Empty: a check has no screen to look at and fails.
    std::function<bool()> pollForCheck;
    uint32_t pollPeriodMs = 100; // a wait polls this often: 1000 / the connection's refresh rate
};

// The poll period of a refresh rate (polls per second, taken within 1..18).
uint32_t PollPeriodMs(int refreshRate);

// One failed check (or wait) of a run.
struct CheckFailure {
    std::string script;   // the script file's name as the scenario lists it
    int line = 0;         // its line in the script
    std::string keyword;  // "CHECKSCREEN" ...
    std::string message;  // what the results log says: "failed 91.2% < 98%", "timed out after 10000 ms" ...
    std::vector<std::string> pictures; // the saved actual and difference pictures, if any
};

class Player {
public:
    static constexpr uint32_t kCycleMs = 20;
    static constexpr uint32_t kPollEvery = 32;  // cycles between screen polls
    static constexpr uint32_t kReplyWaitMs = 250; // given to a command keyword's reply to arrive
    static constexpr uint32_t kLogVersion = 0x400;
    // A CHECK line (or SNAPSHOT) polls up to this many times for a picture that is the
    // device's (a refresh zeroes it until the next update) before it compares once.
    static constexpr int kCheckPolls = 10;

    Player(Scenario scenario, std::string scriptDir, std::string deviceName);

    // A new run from the first file: fileIndex -1, loopCounter 0, active, nothing loaded.
    void start(uint32_t tick);
    // One cycle. False once the scenario has ended (every pass done; `active` cleared).
    bool step(PlaybackLink& link);
    bool ended() const { return ended_; }

    const Scenario& scenario() const { return scenario_; }
    // Files whose loading failed in this run (each failing pass counts).
    int loadFailures() const { return loadFailures_; }
    uint64_t eventsSent() const { return eventsSent_; }
    // The reason the last file failed to load.
    const std::string& lastLoadError() const { return lastLoadError_; }
    // Checks of this run: each failed one (it ended its script file), and how many passed.
    const std::vector<CheckFailure>& checkFailures() const { return checkFailures_; }
    int checksPassed() const { return checksPassed_; }
    bool failed() const { return !checkFailures_.empty(); }
    // Where a failed check's pictures go; empty (the default): beside the results log,
    // or beside the script when the scenario does not log.
    void setArtifactDir(std::string dir) { artifactDir_ = std::move(dir); }
    // A run among several at once, one per device: the files it makes (SNAPSHOT pictures,
    // failed checks' pictures) carry this label (a safe file name part) so that no two runs
    // write one file: "shot.png" becomes "shot-LABEL.png". Empty (the default): none.
    void setOutputLabel(std::string label) { outputLabel_ = std::move(label); }
    // The OCR engine for WAITTEXT and CHECKTEXT; made on first use (MakeTextReader)
    // unless one is handed in.
    void setTextReader(std::shared_ptr<TextReader> reader) { textReader_ = std::move(reader); }
    // Ends the run from outside (its connection ended): logs "*** Scenario Ended ***"
    // with the reason and clears `active`. Not while a playback job runs the player.
    void logEnded(std::string_view reason);

private:
    void log(std::string_view text1, std::string_view text2) const;
    void logStart();
    bool load();
    void send(PlaybackLink& link, const RecordedEvent& e);
    // Waits ms on the clock in cycle-sized pieces; ends early when stopping.
    void wait(PlaybackLink& link, uint64_t ms);
    void passComplete(PlaybackLink& link);
    // The pause that ends every cycle (a file that failed to load and a finished pass
    // included), and every kPollEvery-th cycle a screen update.
    void endCycle(PlaybackLink& link);

    // Checks (PlayerChecks.cpp).
    enum class CheckEnd { Passed, Failed, Stopped };
    struct Look;
    // Runs script_.checks[index]; logs its result and records a failure.
    CheckEnd runCheck(PlaybackLink& link, uint32_t index);
    // One poll and one look at the screen for the check.
    Look look(PlaybackLink& link, const ScriptCheck& check, Look& last);
    // Saves the failed check's pictures; their paths.
    std::vector<std::string> saveFailurePictures(const ScriptCheck& check, const Look& last);
    // The text reader, made on first use; null with the reason when it cannot be made.
    TextReader* textReader(std::string& error);

    Scenario scenario_;
    std::string scriptDir_;
    std::string deviceName_;
    LoadedScript script_;
    bool loaded_ = false; // eventCount != 0
    size_t eventIndex_ = 0;
    uint32_t lastEventTick_ = 0;
    uint32_t cycles_ = 0;
    bool ended_ = false;
    int loadFailures_ = 0;
    uint64_t eventsSent_ = 0;
    std::string lastLoadError_;
    std::vector<CheckFailure> checkFailures_;
    int checksPassed_ = 0;
    std::string artifactDir_;
    std::string outputLabel_;
    std::shared_ptr<TextReader> textReader_;
    std::string textReaderError_; // why MakeTextReader failed (it is not tried again)
};

// Whether the device answers this command keyword (whose reply playback then drains).
bool CommandKeywordHasReply(uint8_t code);

// Runs cycles while `recordState` is the playing state and `link.stopping` is false.
// When the scenario ends, or playback is stopped from outside the state (the connection
// ends), the state becomes Stopped; a pause or a recording leaves its state.
// A run for which `superseded` turns true stops and leaves the state alone: a newer run
// owns it. True when the scenario played to its end.
bool RunPlayback(Player& player, PlaybackLink& link, std::atomic<RecordState>& recordState,
                 const std::function<bool()>& superseded = {});

// Plays on a connection: sets its record state to Playing and posts a Playback
// job that runs the player on the connection thread. Live input is dropped meanwhile.
// Pausing (the state set to Paused) ends the job with the player's place kept; post
// again to resume. `done` runs on the connection thread when the job ends.
std::shared_ptr<Job> PostPlayback(Connection& connection, std::shared_ptr<Player> player,
                                  std::function<void(const Job&)> done = {});

} // namespace sorvane
