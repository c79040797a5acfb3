#include "app/ShellScenarios.h"

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

namespace sorvane {
namespace {

// The device's name as its window shows it.
QString nameOf(Device& device)
{
    const std::string& name = device.connection().deviceName();
    return QString::fromLatin1(name.data(), qsizetype(name.size()));
}

} // namespace

int RunScriptDialog(QWidget* parent, const std::vector<RunScriptRow>& rows)
{
    QDialog dialog(parent);
    dialog.setObjectName(QStringLiteral("RUNSCRIPT"));
    dialog.setWindowTitle(QStringLiteral("Run Script"));
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(new QLabel(QStringLiteral("Please choose a device from the list below"), &dialog));
    auto* list = new QTreeWidget(&dialog);
    list->setObjectName(QStringLiteral("1020"));
    list->setRootIsDecorated(false);
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
    if (dialog.exec() != QDialog::Accepted)
        return -1;
    const int row = list->currentItem() && list->currentItem()->isSelected()
                        ? list->indexOfTopLevelItem(list->currentItem())
                        : -1;
    return row >= 0 && size_t(row) < rows.size() ? rows[size_t(row)].slot : -1;
}

ShellScenarios::ShellScenarios(Context context, ScenarioTable& table, std::string scriptDir, std::string legacyStore)
    : context_(std::move(context)), scriptDir_(std::move(scriptDir)), table_(table), alive_(new QObject)
{
    table_.load(scriptDir_, legacyStore);
}

ShellScenarios::~ShellScenarios()
{
    // Playing scenarios stop with the program's lists.
    for (auto& [index, run] : runs_)
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
        if (auto it = runs_.find(int(i)); row.active && it != runs_.end())
            if (std::atomic<RecordState>* state = stateOf(it->second.slot))
                row.paused = state->load() == RecordState::Paused;
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

void ShellScenarios::post(int index)
{
    Run& run = runs_[index];
    Device* w = context_.device(run.slot);
    if (!w)
        return;
    QPointer<QObject> alive = alive_;
    std::shared_ptr<Player> player = run.player;
    PostPlayback(w->connection(), player, [this, alive, index, player](const Job& job) {
        const bool failed = job.status() != JobStatus::Done; // the connection ended under it
        QMetaObject::invokeMethod(alive.data(), [this, alive, index, player, failed] {
            if (!alive)
                return;
            auto it = runs_.find(index);
            if (it != runs_.end() && it->second.player != player)
                return; // another run took its place
            // The job has ended: the player is this thread's to read. A run that Stop
            // ended meanwhile is gone from runs_ but still marks its scenario (unless a
            // deletion moved another one to its index).
            const bool same = it != runs_.end() || (size_t(index) < table_.scenarios().size() &&
                                                    table_.scenarios()[size_t(index)].name == player->scenario().name);
            if (player->failed() && same)
                failedChecks_.insert(index);
            if (it == runs_.end()) {
                context_.refreshList(-1);
                return;
            }
            if (player->ended() && size_t(index) < table_.scenarios().size()) {
                // The run's counters go back into the table; the scenario is idle again.
                // Only the counters: the record may have been edited while it played.
                Scenario& s = table_.scenarios()[size_t(index)];
                const Scenario& played = player->scenario();
                s.loopCounter = played.loopCounter;
                s.fileIndex = played.fileIndex;
                s.active = 0;
                for (size_t i = 0; i < s.files.size() && i < played.files.size(); ++i)
                    if (s.files[i].fileName == played.files[i].fileName)
                        s.files[i].scriptLoopCounter = played.files[i].scriptLoopCounter;
                runs_.erase(it);
            } else if (failed && size_t(index) < table_.scenarios().size()) {
                table_.scenarios()[size_t(index)].active = 0;
                runs_.erase(it);
            }
            context_.refreshList(-1);
        }, Qt::QueuedConnection);
    });
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
    // Every running scenario pauses, every paused one resumes.
    for (auto& [index, run] : runs_) {
        std::atomic<RecordState>* state = stateOf(run.slot);
        if (!state || table_.scenarios()[size_t(index)].active == 0)
            continue;
        if (state->load() == RecordState::Playing) {
            *state = RecordState::Paused; // its job ends; the player keeps its place
        } else {
            post(index);
        }
    }
    context_.refreshList(-1);

    std::vector<RunScriptRow> rows;
    for (int slot : live)
        if (Device* w = context_.device(slot))
            rows.push_back({slot, nameOf(*w),
                            QString::fromStdString(std::string(linkKindName(uint32_t(w->connection().linkKind()))))});
    const int slot = RunScriptDialog(context_.dialogParent, rows);
    Device* w = slot >= 0 ? context_.device(slot) : nullptr;
    if (!w || w->view().recordState.load() == RecordState::Playing)
        return;
    if (selected < 0 || size_t(selected) >= table_.scenarios().size())
        return;
    for (auto& [index, run] : runs_)
        if (run.slot == slot && stateOf(slot))
            *stateOf(slot) = RecordState::Stopped; // a paused run there gives way
    endedWithLink_.erase(selected);
    failedChecks_.erase(selected);
    Scenario& s = table_.scenarios()[size_t(selected)];
    s.fileIndex = -1;
    s.loopCounter = 0;
    s.slot = slot;
    s.active = 1;
    SystemClock clock;
    Scenario played = s;
    const std::string logProblem = DropRefusedResultsLog(played, scriptDir_);
    auto player = std::make_shared<Player>(std::move(played), scriptDir_, nameOf(*w).toStdString());
    player->start(clock.tickCount());
    runs_[selected] = Run{slot, player};
    post(selected);
    context_.refreshList(selected);
    if (!logProblem.empty())
        context_.messages.show({"The results log " + EscapeText(s.logFile) + " is not used: " + logProblem +
                                    ". The scenario plays without a log.",
                                "Run Script", MessageIcon::Warning, MessageButtons::Ok});
}

void ShellScenarios::reconnected(int slot)
{
    Device* w = context_.device(slot);
    if (!w || !w->connection().takeScenarioPausedByDrop())
        return;
    for (auto& [index, run] : runs_) {
        if (run.slot == slot && table_.scenarios()[size_t(index)].active != 0 &&
            w->view().recordState.load() == RecordState::Paused) {
            post(index);
            break;
        }
    }
    context_.refreshList(-1);
}

void ShellScenarios::connectionEnded(int slot)
{
    bool changed = false;
    for (auto it = runs_.begin(); it != runs_.end();) {
        if (it->second.slot != slot) {
            ++it;
            continue;
        }
        // The connection's thread has gone: the player is this thread's alone now.
        it->second.player->logEnded("the connection ended");
        if (size_t(it->first) < table_.scenarios().size())
            table_.scenarios()[size_t(it->first)].active = 0;
        endedWithLink_.insert(it->first);
        if (it->second.player->failed())
            failedChecks_.insert(it->first);
        it = runs_.erase(it);
        changed = true;
    }
    if (changed)
        context_.refreshList(-1);
}

std::string ShellScenarios::scenarioOn(int slot) const
{
    for (const auto& [index, run] : runs_)
        if (run.slot == slot && size_t(index) < table_.scenarios().size())
            return table_.scenarios()[size_t(index)].name;
    return {};
}

void ShellScenarios::stop(int selected)
{
    if (selected < 0 || size_t(selected) >= table_.scenarios().size())
        return;
    endedWithLink_.erase(selected);
    table_.scenarios()[size_t(selected)].active = 0;
    if (auto it = runs_.find(selected); it != runs_.end()) {
        if (std::atomic<RecordState>* state = stateOf(it->second.slot))
            *state = RecordState::Stopped;
        runs_.erase(it);
    }
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
    std::map<int, Run> moved;
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
