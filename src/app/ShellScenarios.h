#pragma once
// The Scripts list's commands over the scenario table: New (40087) and Edit (40088)
// through the New/Edit Scenario dialog, Play/Pause (40010), Stop (40092), Delete
// (40089) and Clone (40091), with the "Run Script" dialog that picks the connections a
// scenario plays on (one or several). A playing scenario runs as one playback job on
// each of its connections' threads, each with a player of its own; pausing ends those
// jobs with the players' places kept, and resuming posts them again. Play/Pause and
// Stop act on every run of a scenario. A scenario started on several devices at once
// keeps one results log per device: the scenario's log name with "-LABEL" before its
// extension (LabelledFileName), LABEL the device's file-name label.
//
// Thread: user-interface thread (the end of a playback comes back as a queued call).

#include <functional>
#include <map>
#include <set>
#include <memory>
#include <string>
#include <vector>

#include <QPointer>
#include <QWidget>

#include "app/ShellServices.h"
#include "platform/UiPorts.h"
#include "view/RecordState.h"
#include "scripts/Player.h"
#include "scripts/Scenario.h"

namespace sorvane {

class Device;

// One row of the "Run Script" dialog.
struct RunScriptRow {
    int slot = -1;
    QString deviceName;
    QString linkKind;
};

// The "Run Script" dialog: the slots of the chosen rows (several may be chosen), or none
// (cancelled, none chosen).
std::vector<int> RunScriptDialog(QWidget* parent, const std::vector<RunScriptRow>& rows);

class ShellScenarios final : public ScenarioService {
public:
    struct Context {
        MessageBoxPort& messages;
        BeepPort& beep;
        FileDialogPort& files;
        std::function<std::vector<int>()> liveSlots;
        // The program's live device of a slot (the scenario plays on its connection).
        std::function<Device*(int slot)> device;
        // Refills the main window's Scripts list selecting `select` (-1: the selection stays).
        std::function<void(int select)> refreshList;
        QWidget* dialogParent = nullptr;
        // The file-name labels of the slots (distinct, safe); empty: the device names.
        std::function<std::vector<std::string>(const std::vector<int>& picked)> labels;
    };
    // `table`: the program's scenario table, loaded here from scriptDir (or the legacy store).
    ShellScenarios(Context context, ScenarioTable& table, std::string scriptDir, std::string legacyStore);
    ~ShellScenarios() override;

    std::vector<ScenarioRow> scenarios() const override;
    void command(int id, int selected) override;

    ScenarioTable& table() { return table_; }
    // The link of `slot` is back after a drop: the scenario the drop paused there plays on.
    void reconnected(int slot);
    // The connection of `slot` has ended (its window is gone): the scenario playing or
    // paused there ends with it, logged, and its line says "Stopped".
    void connectionEnded(int slot);
    // The name of the scenario playing or paused on `slot`; empty: none.
    std::string scenarioOn(int slot) const;
    // Starts scenario `index` on each of the slots `picked` at once (its earlier runs stop; a
    // paused run of another scenario on one of them gives way). Slots where another
    // scenario plays, or that are gone, are left out. Returns what to tell the user
    // (left-out devices, a results log not used); empty when nothing.
    std::string play(int index, const std::vector<int>& picked);
    // How many runs scenario `index` has (playing or paused).
    int runCount(int index) const;

private:
    struct Run {
        int slot = -1;
        std::shared_ptr<Player> player;
    };
    using Runs = std::vector<Run>;
    // index -1: a new scenario.
    void editScenario(int index);
    void playPause(int selected);
    void stop(int selected);
    void remove(int selected);
    void clone(int selected);
    void post(int index, const Run& run);
    // The job of `player` (a run of scenario `index`) has ended.
    void playbackEnded(int index, const std::shared_ptr<Player>& player, bool failed);
    // Ends every run of scenario `index`: their playback stops and they are forgotten.
    void stopRuns(int index);
    std::atomic<RecordState>* stateOf(int slot) const;

    Context context_;
    std::string scriptDir_;
    ScenarioTable& table_;
    std::map<int, Runs> runs_; // by scenario index; never an empty list
    std::set<int> endedWithLink_; // scenario indexes one of whose last runs ended with its connection
    std::set<int> failedChecks_;  // scenario indexes one of whose last runs had a failed check (until the next start)
    QPointer<QObject> alive_;  // queued calls from connection threads find it gone after destruction
};

} // namespace sorvane
