#include "app/ShellScenarios.h"

#include <algorithm>

#include <QDialog>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "platform/Clock.h"
#include "platform/Utf8Text.h"
#include "scripts/ResultsLog.h"
#include "scripts/ui/ScenarioDialog.h"
#include "view/CommandIds.h"
#include "view/Job.h"
#include "view/ViewRecord.h"
#include "program/Device.h"
#include "program/FleetNames.h"

namespace sorvane {
namespace {

// The device's name as its window shows it.
QString nameOf(Device& device)
{
    const std::string& name = device.connection().deviceName();
    return QString::fromLatin1(name.data(), qsizetype(name.size()));
}

} // namespace

std::vector<int> RunScriptDialog(QWidget* parent, const std::vector<RunScriptRow>& rows)
{
    QDialog dialog(parent);
    dialog.setObjectName(QStringLiteral("RUNSCRIPT"));
    dialog.setWindowTitle(QStringLiteral("Run Script"));
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(new QLabel(QStringLiteral("Please choose a device from the list below\n"
                                                "(Ctrl+click or Shift+click: several at once)"),
                                 &dialog));
    auto* list = new QTreeWidget(&dialog);
    list->setObjectName(QStringLiteral("1020"));
    list->setRootIsDecorated(false);
    list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list->setHeaderLabels({QStringLiteral("Device Name"), QStringLiteral("Connection Type")});
    list->header()->resizeSection(0, 140);
    list->header()->resizeSection(1, 112);
    for (const RunScriptRow& r : rows)
        new QTreeWidgetItem(list, {r.deviceName, r.linkKind});
    if (list->topLevelItemCount() > 0)
        list->setCurrentItem(list->topLevelItem(0));
    layout->addWidget(list);
    auto* buttons = new QDialogButtonBox(&dialog);
    buttons->addButton(QStringLiteral("Run"), QDialogButtonBox::AcceptRole);
    buttons->addButton(QDialogButtonBox::Cancel);
    layout->addWidget(buttons);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    QObject::connect(list, &QTreeWidget::itemActivated, &dialog, &QDialog::accept);
    std::vector<int> picked;
    if (dialog.exec() != QDialog::Accepted)
        return picked;
    for (int row = 0; row < list->topLevelItemCount(); ++row)
        if (list->topLevelItem(row)->isSelected() && size_t(row) < rows.size())
            picked.push_back(rows[size_t(row)].slot);
    return picked;
}

ShellScenarios::ShellScenarios(Context context, ScenarioTable& table, std::string scriptDir, std::string legacyStore)
    : context_(std::move(context)), scriptDir_(std::move(scriptDir)), table_(table), alive_(new QObject)
{
    table_.load(scriptDir_, legacyStore);
}

ShellScenarios::~ShellScenarios()
{
    // Playing scenarios stop with the program's lists.
    for (auto& [index, runs] : runs_)
        for (const Run& run : runs)
            if (std::atomic<RecordState>* state = stateOf(run.slot))
                *state = RecordState::Stopped;
    delete alive_.data();
}

std::atomic<RecordState>* ShellScenarios::stateOf(int slot) const
{
    Device* w = slot >= 0 ? context_.device(slot) : nullptr;
    return w ? &w->view().recordState : nullptr;
}

std::vector<ScenarioRow> ShellScenarios::scenarios() const
{
    std::vector<ScenarioRow> rows;
    for (size_t i = 0; i < table_.scenarios().size(); ++i) {
        ScenarioRow row{table_.scenarios()[i].name, table_.scenarios()[i].active != 0, false,
                        endedWithLink_.count(int(i)) != 0, failedChecks_.count(int(i)) != 0};
        if (auto it = runs_.find(int(i)); row.active && it != runs_.end()) {
            // Paused while none of its runs plays and one is paused.
            bool playing = false;
            for (const Run& run : it->second)
                if (std::atomic<RecordState>* state = stateOf(run.slot)) {
                    playing = playing || state->load() == RecordState::Playing;
                    row.paused = row.paused || state->load() == RecordState::Paused;
                }
            row.paused = row.paused && !playing;
            row.runs = int(it->second.size());
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

void ShellScenarios::command(int id, int selected)
{
    switch (id) {
    case cmd::PlayPause: playPause(selected); break;
    case cmd::StopScenario: stop(selected); break;
    case cmd::DeleteScenario: remove(selected); break;
    case cmd::CloneScenario: clone(selected); break;
    case cmd::NewScenario:
        if (table_.full())
            context_.beep.beep();
        else
            editScenario(-1);
        break;
    case cmd::EditScenario:
        if (selected < 0 || size_t(selected) >= table_.scenarios().size())
            context_.beep.beep();
        else
            editScenario(selected);
        break;
    default: break;
    }
}

void ShellScenarios::post(int index, const Run& run)
{
    Device* w = context_.device(run.slot);
    if (!w)
        return;
    QPointer<QObject> alive = alive_;
    std::shared_ptr<Player> player = run.player;
    PostPlayback(w->connection(), player, [this, alive, index, player](const Job& job) {
        const bool failed = job.status() != JobStatus::Done; // the connection ended under it
        QMetaObject::invokeMethod(alive.data(), [this, alive, index, player, failed] {
            if (alive)
                playbackEnded(index, player, failed);
        }, Qt::QueuedConnection);
    });
}

void ShellScenarios::playbackEnded(int index, const std::shared_ptr<Player>& player, bool failed)
{
    auto it = runs_.find(index);
    auto run = it == runs_.end() ? Runs::iterator()
                                 : std::find_if(it->second.begin(), it->second.end(),
                                                [&](const Run& r) { return r.player == player; });
    if (it != runs_.end() && run == it->second.end())
        return; // another start took its place
    // The job has ended: the player is this thread's to read. A run that Stop ended
    // meanwhile is gone from runs_ but still marks its scenario (unless a deletion moved
    // another one to its index).
    const bool same = it != runs_.end() || (size_t(index) < table_.scenarios().size() &&
                                            table_.scenarios()[size_t(index)].name == player->scenario().name);
    if (player->failed() && same)
        failedChecks_.insert(index);
    if (it == runs_.end() || size_t(index) >= table_.scenarios().size()) {
        context_.refreshList(-1);
        return;
    }
    Scenario& s = table_.scenarios()[size_t(index)];
    if (player->ended()) {
        // The run's counters go back into the table. Only the counters: the record may
        // have been edited while it played.
        const Scenario& played = player->scenario();
        s.loopCounter = played.loopCounter;
        s.fileIndex = played.fileIndex;
        for (size_t i = 0; i < s.files.size() && i < played.files.size(); ++i)
            if (s.files[i].fileName == played.files[i].fileName)
                s.files[i].scriptLoopCounter = played.files[i].scriptLoopCounter;
        it->second.erase(run);
    } else if (failed) {
        it->second.erase(run);
    }
    if (it->second.empty()) {
        s.active = 0; // the scenario is idle again
        runs_.erase(it);
    }
    context_.refreshList(-1);
}

void ShellScenarios::editScenario(int index)
{
    const bool isNew = index < 0;
    // A new scenario is edited in a slot of its own that only OK counts into the table.
    Scenario fresh;
    Scenario& record = isNew ? fresh : table_.scenarios()[size_t(index)];
    const std::string oldName = record.name;
    std::vector<std::string> otherNames;
    for (size_t i = 0; i < table_.scenarios().size(); ++i)
        if (int(i) != index)
            otherNames.push_back(table_.scenarios()[i].name);
    ScenarioDialog dialog(record, isNew, scriptDir_, std::move(otherNames),
                          {context_.messages, context_.beep, context_.files}, context_.dialogParent);
    if (dialog.exec() != QDialog::Accepted)
        return;
    if (isNew) {
        table_.add(std::move(fresh));
        index = int(table_.scenarios().size()) - 1;
    }
    context_.refreshList(index);
    std::vector<std::string> problems;
    table_.save(scriptDir_, problems);
    if (!isNew && oldName != table_.scenarios()[size_t(index)].name)
        table_.dropFileOf(oldName, scriptDir_); // a renamed scenario does not come back under its old name
}

void ShellScenarios::playPause(int selected)
{
    const std::vector<int> live = context_.liveSlots();
    if (live.empty()) {
        context_.messages.show({"There are no active connections", "Run Script", MessageIcon::Error,
                                MessageButtons::Ok});
        return;
    }
    // Every running scenario pauses (all of its runs), every paused one resumes.
    for (auto& [index, runs] : runs_) {
        if (table_.scenarios()[size_t(index)].active == 0)
            continue;
        bool playing = false;
        for (const Run& run : runs)
            if (std::atomic<RecordState>* state = stateOf(run.slot))
                playing = playing || state->load() == RecordState::Playing;
        for (const Run& run : runs) {
            std::atomic<RecordState>* state = stateOf(run.slot);
            if (!state)
                continue;
            if (playing) {
                if (state->load() == RecordState::Playing)
                    *state = RecordState::Paused; // its job ends; the player keeps its place
            } else {
                post(index, run);
            }
        }
    }
    context_.refreshList(-1);

    std::vector<RunScriptRow> rows;
    for (int slot : live)
        if (Device* w = context_.device(slot))
            rows.push_back({slot, nameOf(*w),
                            QString::fromStdString(std::string(linkKindName(uint32_t(w->connection().linkKind()))))});
    const std::vector<int> picked = RunScriptDialog(context_.dialogParent, rows);
    if (picked.empty() || selected < 0 || size_t(selected) >= table_.scenarios().size())
        return;
    const std::string note = play(selected, picked);
    if (!note.empty())
        context_.messages.show({note, "Run Script", MessageIcon::Warning, MessageButtons::Ok});
}

std::string ShellScenarios::play(int index, const std::vector<int>& picked)
{
    if (index < 0 || size_t(index) >= table_.scenarios().size())
        return {};
    std::string note;
    std::vector<int> chosen;
    for (int slot : picked) {
        Device* w = context_.device(slot);
        if (!w) {
            note += "The device of slot " + std::to_string(slot) + " has gone.\n";
        } else if (w->view().recordState.load() == RecordState::Playing) {
            note += EscapeText(nameOf(*w).toStdString()) + ": another script plays there.\n";
        } else if (std::find(chosen.begin(), chosen.end(), slot) == chosen.end()) {
            chosen.push_back(slot);
        }
    }
    if (!chosen.empty()) {
        stopRuns(index); // its earlier runs end
        // A paused run of another scenario on one of the devices gives way.
        for (auto it = runs_.begin(); it != runs_.end();) {
            Runs& runs = it->second;
            for (auto run = runs.begin(); run != runs.end();) {
                if (std::find(chosen.begin(), chosen.end(), run->slot) == chosen.end()) {
                    ++run;
                    continue;
                }
                if (std::atomic<RecordState>* state = stateOf(run->slot))
                    *state = RecordState::Stopped;
                run = runs.erase(run);
            }
            if (runs.empty()) {
                if (size_t(it->first) < table_.scenarios().size())
                    table_.scenarios()[size_t(it->first)].active = 0;
                it = runs_.erase(it);
            } else {
                ++it;
            }
        }
        endedWithLink_.erase(index);
        failedChecks_.erase(index);
        Scenario& s = table_.scenarios()[size_t(index)];
        s.fileIndex = -1;
        s.loopCounter = 0;
        s.slot = chosen.front();
        s.active = 1;
        Scenario base = s;
        const std::string logProblem = DropRefusedResultsLog(base, scriptDir_);
        if (!logProblem.empty())
            note += "The results log " + EscapeText(s.logFile) + " is not used: " + logProblem +
                    ". The scenario plays without a log.\n";
        // Several runs: each its own log, and its own names for a failed check's pictures.
        std::vector<std::string> labels;
        if (chosen.size() > 1 && context_.labels)
            labels = context_.labels(chosen);
        SystemClock clock;
        Runs runs;
        for (size_t k = 0; k < chosen.size(); ++k) {
            Scenario played = base;
            std::string name = nameOf(*context_.device(chosen[k])).toStdString();
            if (chosen.size() > 1) {
                if (k < labels.size())
                    name = labels[k];
                if (played.logResults)
                    played.logFile = LabelledFileName(base.logFile, name);
            }
            auto player = std::make_shared<Player>(std::move(played), scriptDir_, name);
            player->start(clock.tickCount());
            runs.push_back(Run{chosen[k], std::move(player)});
        }
        runs_[index] = runs;
        for (const Run& run : runs)
            post(index, run);
    }
    context_.refreshList(index);
    while (!note.empty() && note.back() == '\n')
        note.pop_back();
    return note;
}

int ShellScenarios::runCount(int index) const
{
    auto it = runs_.find(index);
    return it == runs_.end() ? 0 : int(it->second.size());
}

void ShellScenarios::reconnected(int slot)
{
    Device* w = context_.device(slot);
    if (!w || !w->connection().takeScenarioPausedByDrop())
        return;
    for (auto& [index, runs] : runs_)
        for (const Run& run : runs)
            if (run.slot == slot && table_.scenarios()[size_t(index)].active != 0 &&
                w->view().recordState.load() == RecordState::Paused) {
                post(index, run);
                context_.refreshList(-1);
                return;
            }
    context_.refreshList(-1);
}

void ShellScenarios::connectionEnded(int slot)
{
    bool changed = false;
    for (auto it = runs_.begin(); it != runs_.end();) {
        Runs& runs = it->second;
        for (auto run = runs.begin(); run != runs.end();) {
            if (run->slot != slot) {
                ++run;
                continue;
            }
            // The connection's thread has gone: the player is this thread's alone now.
            run->player->logEnded("the connection ended");
            endedWithLink_.insert(it->first);
            if (run->player->failed())
                failedChecks_.insert(it->first);
            run = runs.erase(run);
            changed = true;
        }
        if (runs.empty()) {
            if (size_t(it->first) < table_.scenarios().size())
                table_.scenarios()[size_t(it->first)].active = 0;
            it = runs_.erase(it);
        } else {
            ++it;
        }
    }
    if (changed)
        context_.refreshList(-1);
}

std::string ShellScenarios::scenarioOn(int slot) const
{
    for (const auto& [index, runs] : runs_)
        for (const Run& run : runs)
            if (run.slot == slot && size_t(index) < table_.scenarios().size())
                return table_.scenarios()[size_t(index)].name;
    return {};
}

void ShellScenarios::stopRuns(int index)
{
    auto it = runs_.find(index);
    if (it == runs_.end())
        return;
    for (const Run& run : it->second)
        if (std::atomic<RecordState>* state = stateOf(run.slot))
            *state = RecordState::Stopped;
    runs_.erase(it);
}

void ShellScenarios::stop(int selected)
{
    if (selected < 0 || size_t(selected) >= table_.scenarios().size())
        return;
    endedWithLink_.erase(selected);
    table_.scenarios()[size_t(selected)].active = 0;
    stopRuns(selected);
    context_.refreshList(selected);
}

void ShellScenarios::remove(int selected)
{
    if (selected < 0 || size_t(selected) >= table_.scenarios().size()) {
        context_.beep.beep();
        return;
    }
    stop(selected);
    table_.remove(size_t(selected), scriptDir_);
    std::map<int, Runs> moved;
    for (auto& [index, run] : runs_)
        moved[index > selected ? index - 1 : index] = std::move(run);
    runs_ = std::move(moved);
    for (std::set<int>* marks : {&endedWithLink_, &failedChecks_}) {
        std::set<int> kept;
        for (int index : *marks)
            if (index != selected)
                kept.insert(index > selected ? index - 1 : index);
        *marks = std::move(kept);
    }
    std::vector<std::string> problems;
    table_.save(scriptDir_, problems);
    context_.refreshList(0);
}

void ShellScenarios::clone(int selected)
{
    if (table_.full()) {
        context_.beep.beep();
        return;
    }
    if (selected < 0 || size_t(selected) >= table_.scenarios().size()) {
        context_.messages.show({"Please select a single script to clone", "Clone Script", MessageIcon::Error,
                                MessageButtons::Ok});
        return;
    }
    table_.clone(size_t(selected));
    table_.scenarios().back().active = 0;
    context_.refreshList(int(table_.scenarios().size()) - 1);
}

} // namespace sorvane
