// The device window's menu bar and toolbar: building them, which commands are
// enabled, and the check marks of scale and rotation.

#include <algorithm>

#include <QMenuBar>
#include <QToolBar>

#include "platform/ui/CommandActions.h"
#include "view/ui/DeviceWindow.h"

namespace sorvane {

void DeviceWindow::buildToolbar()
{
    toolbar_ = new QToolBar(client_);
    toolbar_->setObjectName(QStringLiteral("toolbar"));
    toolbar_->setIconSize(QSize(16, 16));
    toolbar_->setFocusPolicy(Qt::NoFocus);
    toolbar_->setMovable(false);
    toolbar_->setFloatable(false);
    toolbar_->setAutoFillBackground(true);
    for (const CommandRow* row : CommandBarRows(command_rows::kDeviceCommands)) {
        const int id = row->id;
        QAction* a = NewCommandAction(*row, CommandText(row->tip), toolbar_);
        a->setIcon(CommandIconImage(row->icon, *style()));
        a->setToolTip(CommandText(row->tip));
        toolbar_->addAction(a);
        connect(a, &QAction::triggered, this, [this, id] { command(id); });
        actions_.emplace(id, a);
    }
    for (QWidget* w : toolbar_->findChildren<QWidget*>())
        w->setFocusPolicy(Qt::NoFocus);
}

void DeviceWindow::buildMenu()
{
    BuildCommandMenus(*menuBar_, command_rows::kDeviceMenus, command_rows::kDeviceCommands,
                      [this](QAction& a, const CommandRow& row) {
                          const int id = row.id;
                          connect(&a, &QAction::triggered, this, [this, id] { command(id); });
                          actions_.emplace(id, &a);
                      });
    if (QAction* statusLine = action(devcmd::StatusLine))
        statusLine->setChecked(context_.showStatusLine);
    // The keys that are this window's own (the program's accelerators reach it
    // through the main window).
    for (const CommandRow& row : command_rows::kDeviceCommands) {
        if (row.key.empty() || row.reach != KeyReach::Window)
            continue;
        const int id = row.id;
        QAction* key = NewCommandAction(row, CommandText(row.text), this);
        key->setShortcut(CommandKeys(row));
        key->setShortcutContext(Qt::WindowShortcut);
        connect(key, &QAction::triggered, this, [this, id] { command(id); });
        addAction(key);
    }
}

QAction* DeviceWindow::action(int id) const
{
    // The menu item rather than the toolbar button when a command has both.
    QAction* found = nullptr;
    auto [first, last] = actions_.equal_range(id);
    for (auto it = first; it != last; ++it) {
        if (it->second->parent() != toolbar_)
            return it->second;
        found = it->second;
    }
    return found;
}

bool DeviceWindow::isCommandEnabled(int id) const
{
    const CommandRow* row = FindCommand(command_rows::kDeviceCommands, id);
    if (!row)
        return false;
    CommandState state;
    state.handled = context_.services.commands.count(id) != 0;
    state.depth = view_.screen.facts.depth;
    state.altDepth = view_.screen.facts.altDepth;
    // A video recording's device records no script (view/ViewRecord.h).
    state.recording = view_.recordState.load() == RecordState::Recording && view_.recordingMethod != 1 &&
                      context_.services.checkpoint != nullptr;
    return IsEnabled(row->when, state);
}

void DeviceWindow::applyEnabledStates()
{
    for (auto& [id, a] : actions_)
        a->setEnabled(isCommandEnabled(id));
}

void DeviceWindow::updateChecks()
{
    const int scaleIds[] = {devcmd::Scale1, devcmd::Scale2, devcmd::Scale3, devcmd::Scale4};
    const int scale = std::clamp(geometry_.scale, 1, 4);
    if (QAction* a = action(scaleIds[scale - 1]))
        a->setChecked(true);
    if (QAction* a = action(devcmd::Rotate0 + geometry_.rotation / 90))
        a->setChecked(true);
}

} // namespace sorvane
