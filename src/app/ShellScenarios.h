#pragma once
// The Scripts list's commands over the scenario table: New (40087) and Edit (40088)
// through the New/Edit Scenario dialog, Play/Pause (40010), Stop (40092), Delete
// (40089) and Clone (40091), with the "Run Script" dialog that picks
// the connection a scenario plays on. A playing scenario runs as a playback job on
// its connection's thread; pausing ends that job with the player's place kept, and
// resuming posts it again.
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

// The "Run Script" dialog: the slot of the chosen row, or -1 (cancelled, none chosen).
int RunScriptDialog(QWidget* parent, const std::vector<RunScriptRow>& rows);

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

private:
    struct Run {
        int slot = -1;
        std::shared_ptr<Player> player;
    };
    // index -1: a new scenario.
    void editScenario(int index);
    void playPause(int selected);
    void stop(int selected);
    void remove(int selected);
    void clone(int selected);
    void post(int index);
    std::atomic<RecordState>* stateOf(int slot) const;

    Context context_;
    std::string scriptDir_;
    ScenarioTable& table_;
    std::map<int, Run> runs_; // by scenario index
    std::set<int> endedWithLink_; // scenario indexes whose last run ended with its connection
    std::set<int> failedChecks_;  // scenario indexes whose last run had a failed check (until the next start)
    QPointer<QObject> alive_;  // queued calls from connection threads find it gone after destruction
};

} // namespace sorvane
