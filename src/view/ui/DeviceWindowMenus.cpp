// The device window's menu bar and toolbar: building them, which commands are
// enabled, and the check marks of scale and rotation.

#include <algorithm>

#include <QActionGroup>
#include <QMenuBar>
#include <QToolBar>

#include "view/ui/DeviceWindow.h"
#include "view/ui/ToolbarIcons.h"

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
    static const char* const tips[] = {"Refresh display",         "Capture Screendump",     "Toggle Skin",
                                       "Configure",               "Begin recording session", "Stop recording/playing",
                                       "Rotate 90 degrees",       "Toggle low/high color mode"};
    for (int i = 0; i < 8; ++i) {
        const int id = kToolbarCommands[i];
        QAction* a = toolbar_->addAction(ToolbarIcon(id), QString::fromLatin1(tips[i]));
        a->setObjectName(QString::number(id));
        a->setToolTip(QString::fromLatin1(tips[i]));
        connect(a, &QAction::triggered, this, [this, id] { command(id); });
        actions_.emplace(id, a);
    }
    for (QWidget* w : toolbar_->findChildren<QWidget*>())
        w->setFocusPolicy(Qt::NoFocus);
}

void DeviceWindow::buildMenu()
{
    auto add = [this](QMenu* menu, const char* text, int id, QActionGroup* group = nullptr) {
        QAction* a = menu->addAction(QString::fromLatin1(text));
        a->setObjectName(QString::number(id));
        if (group) {
            a->setCheckable(true);
            group->addAction(a);
        }
        connect(a, &QAction::triggered, this, [this, id] { command(id); });
        actions_.emplace(id, a);
        return a;
    };

    QMenu* file = menuBar_->addMenu(QStringLiteral("&File"));
    add(file, "Capture to Clip&board", devcmd::CaptureClipboard);
    add(file, "Capture to &File...", devcmd::CaptureFile);
    add(file, "Capture (&One Click)", devcmd::CaptureOneClick);
    file->addSeparator();
    add(file, "Start Recording", devcmd::StartRecording);
    add(file, "Stop Recording", devcmd::StopRecording);
    file->addSeparator();
    add(file, "&File Explorer", devcmd::FileExplorer);
    file->addSeparator();
    add(file, "E&xit", devcmd::Exit);

    QMenu* view = menuBar_->addMenu(QStringLiteral("&View"));
    add(view, "&Refresh Display", devcmd::RefreshDisplay);
    add(view, "&Toggle Skin", devcmd::ToggleSkin);
    add(view, "Toggle Flip State", devcmd::ToggleFlip);
    QAction* statusLine = add(view, "Status &Line", devcmd::StatusLine);
    statusLine->setCheckable(true);
    statusLine->setChecked(context_.showStatusLine);
    view->addSeparator();
    auto* scales = new QActionGroup(this);
    add(view, "1X", devcmd::Scale1, scales);
    add(view, "2X", devcmd::Scale2, scales);
    add(view, "3X", devcmd::Scale3, scales);
    add(view, "4X", devcmd::Scale4, scales);
    view->addSeparator();
    QMenu* rotate = view->addMenu(QStringLiteral("R&otate"));
    auto* rotations = new QActionGroup(this);
    add(rotate, "0", devcmd::Rotate0, rotations);
    add(rotate, "90", devcmd::Rotate90, rotations);
    add(rotate, "180", devcmd::Rotate180, rotations);
    add(rotate, "270", devcmd::Rotate270, rotations);

    QMenu* device = menuBar_->addMenu(QStringLiteral("&Device"));
    add(device, "&Configure...", devcmd::Configure);
    add(device, "&Connection Status", devcmd::ConnectionStatus);
    add(device, "&Device Info...", devcmd::DeviceInfo);
    add(device, "Process Info...", devcmd::ProcessInfo);
    device->addSeparator();
    add(device, "&Paste to device", devcmd::PasteToDevice);
    add(device, "Copy from device\tCtrl+Shift+C", devcmd::CopyFromDevice); // the key is the window's own action
    add(device, "Type text...", devcmd::TypeText);
    add(device, "Soft &Reset", devcmd::SoftReset);
    add(device, "&Suspend", devcmd::Suspend);

    QMenu* help = menuBar_->addMenu(QStringLiteral("&Help"));
    add(help, "&Help Index", devcmd::HelpIndex);
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
    switch (id) {
    case devcmd::RefreshDisplay:
    case devcmd::Scale1:
    case devcmd::Scale2:
    case devcmd::Scale3:
    case devcmd::Scale4:
    case devcmd::Rotate90More:
    case devcmd::Exit:
    case devcmd::Fit:
    case devcmd::Rotate0:
    case devcmd::Rotate90:
    case devcmd::Rotate180:
    case devcmd::Rotate270:
    case devcmd::StatusLine:
        return true;
    case devcmd::ToggleLowColor:
        return view_.screen.facts.depth == 16;
    case devcmd::ToggleFlip:
        return view_.screen.facts.altDepth != 0;
    default:
        return context_.services.commands.count(id) != 0;
    }
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
