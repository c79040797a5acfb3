#pragma once
// The commands of the device window and of its file explorer, and the main window's
// accelerator keys, in one table: for each command its id, where it shows (a menu,
// the toolbar or the explorer's column of buttons), its text, key, icon and when it
// is enabled. The windows build their menus, buttons and keys from these rows (the
// Qt side: platform/ui/CommandActions.h); nothing else lists them.
//
// Adding a device window command is a row in kDeviceCommands and its handler: a case
// in DeviceWindow::command for what the window does itself, an entry in
// DeviceWindowServices::commands for what another subsystem does (such a row is
// enabled when the handler is there).
//
// No Qt. Keys are written as Qt's portable key text ("F4", "Shift+F1", "Ctrl+Shift+C").

#include <cstdint>
#include <span>
#include <string_view>

#include "view/CommandIds.h"

namespace sorvane {

// Where a command shows in its window. A menu lists its rows in table order.
enum class CommandPlace : uint8_t {
    None, // only a key, a button of the bar, or a call
    // The device window's menu bar.
    FileMenu,
    ViewMenu,
    RotateMenu, // "R&otate", inside ViewMenu
    DeviceMenu,
    HelpMenu,
    // The explorer's pop-up menus: "CONTEXT1" over the PC pane, "CONTEXT2" over the
    // device pane. A key of one of their rows works in that pane's list.
    PcPaneMenu,
    DevicePaneMenu,
};

// Who a command's key reaches.
enum class KeyReach : uint8_t {
    Program,  // whichever window of the program has the focus (the main window's
              // accelerators); a device window's command goes to the active device window
    Window,   // its own window only; the menu text shows the key after a tab
    PaneList, // the explorer: the list of the pane whose menu holds the row
};

// A menu item that carries a check mark.
enum class CommandCheck : uint8_t {
    None,
    Toggle,   // checked while its state is on
    Scale,    // one of the scales, exclusive
    Rotation, // one of the rotations, exclusive
};

enum class CommandIcon : uint8_t {
    None,
    // Drawn by the program (the device window's toolbar).
    Refresh,
    Camera,
    Skin,
    Configure,
    Record,
    Stop,
    Checkpoint,
    Rotate,
    ColourMode,
    // The desktop style's own (the explorer).
    ArrowRight,
    ArrowLeft,
    Reload,
    MediaPlay,
    MediaStop,
    HelpButton,
    ParentFolder,
};

enum class WhenEnabled : uint8_t {
    Always,        // the window carries it out itself
    Handled,       // when the program handed the window a handler for it
    LowColor,      // a 16-bit display (low colour mode exists)
    SecondDisplay, // a device with a second display (flip)
    Runnable,      // the one selected entry can be started (the explorer's Run...)
    MakesFolders,  // the pane's side makes folders
    Recording,     // a script recording runs on the device and a handler takes checkpoints
    Never,         // shown greyed
};

// What "when enabled" is judged on.
struct CommandState {
    bool handled = false;      // a handler for the command was handed in
    int depth = 0;             // bits per pixel of the device's display
    int altDepth = 0;          // of its second display; 0: none
    bool runnable = false;     // the explorer pane's one selected entry can be started
    bool makesFolders = false; // the explorer pane's side makes folders
    bool recording = false;    // a script recording runs and its checkpoints are taken
};

struct CommandRow {
    int id = 0;
    CommandPlace place = CommandPlace::None;
    bool separatorBefore = false; // a separator above it in its menu
    std::string_view text{};      // the menu text (& marks the mnemonic)
    int bar = 0;                  // its place on the window's bar, 1 first (toolbar,
                                  // explorer buttons); 0: not on it
    std::string_view tip{};       // the bar button's text and tooltip
    CommandIcon icon = CommandIcon::None;
    std::string_view key{};       // empty: none
    KeyReach reach = KeyReach::Program;
    CommandCheck check = CommandCheck::None;
    WhenEnabled when = WhenEnabled::Always;
};

// The menus of the device window's menu bar in their order; a submenu goes into its
// parent where its first row comes, after a separator when separatorBefore.
struct CommandMenu {
    CommandPlace place;
    std::string_view title;
    CommandPlace parent = CommandPlace::None;
    bool separatorBefore = false;
};

constexpr bool IsEnabled(WhenEnabled when, const CommandState& s)
{
    switch (when) {
    case WhenEnabled::Always: return true;
    case WhenEnabled::Handled: return s.handled;
    case WhenEnabled::LowColor: return s.depth == 16;
    case WhenEnabled::SecondDisplay: return s.altDepth != 0;
    case WhenEnabled::Runnable: return s.runnable;
    case WhenEnabled::MakesFolders: return s.makesFolders;
    case WhenEnabled::Recording: return s.recording;
    case WhenEnabled::Never: return false;
    }
    return false;
}

namespace command_rows {

using enum CommandPlace;
using enum WhenEnabled;

inline constexpr CommandMenu kDeviceMenus[] = {
    {FileMenu, "&File"},
    {ViewMenu, "&View"},
    {RotateMenu, "R&otate", ViewMenu, true},
    {DeviceMenu, "&Device"},
    {HelpMenu, "&Help"},
};

// The device window: its menus in order, then the toolbar's other buttons and what
// only a key or a call reaches.
inline constexpr CommandRow kDeviceCommands[] = {
    {.id = cmd::CaptureClipboard, .place = FileMenu, .text = "Capture to Clip&board", .when = Handled},
    {.id = cmd::CaptureFile, .place = FileMenu, .text = "Capture to &File...", .when = Handled},
    {.id = cmd::CaptureOneClick, .place = FileMenu, .text = "Capture (&One Click)", .when = Handled},
    {.id = cmd::StartRecording, .place = FileMenu, .separatorBefore = true, .text = "Start Recording", .bar = 5,
     .tip = "Begin recording session", .icon = CommandIcon::Record, .key = "F7", .when = Handled},
    {.id = cmd::StopRecording, .place = FileMenu, .text = "Stop Recording", .bar = 6, .tip = "Stop recording/playing",
     .icon = CommandIcon::Stop, .key = "F9", .when = Handled},
    {.id = cmd::AddCheckpoint, .place = FileMenu, .text = "Add Checkpoint", .bar = 7, .tip = "Add Checkpoint",
     .icon = CommandIcon::Checkpoint, .key = "Ctrl+Shift+K", .reach = KeyReach::Window, .when = Recording},
    {.id = cmd::FileExplorer, .place = FileMenu, .separatorBefore = true, .text = "&File Explorer", .when = Handled},
    {.id = cmd::DisconnectDevice, .place = FileMenu, .separatorBefore = true, .text = "&Disconnect"},
    {.id = cmd::Exit, .place = FileMenu, .text = "E&xit"},

    {.id = cmd::RefreshDisplay, .place = ViewMenu, .text = "&Refresh Display", .bar = 1, .tip = "Refresh display",
     .icon = CommandIcon::Refresh},
    {.id = cmd::ToggleSkin, .place = ViewMenu, .text = "&Toggle Skin", .bar = 3, .tip = "Toggle Skin",
     .icon = CommandIcon::Skin, .key = "F5", .when = Handled},
    {.id = cmd::ToggleFlip, .place = ViewMenu, .text = "Toggle Flip State", .when = SecondDisplay},
    {.id = cmd::StatusLine, .place = ViewMenu, .text = "Status &Line", .check = CommandCheck::Toggle},
    {.id = cmd::Scale1, .place = ViewMenu, .separatorBefore = true, .text = "1X", .check = CommandCheck::Scale},
    {.id = cmd::Scale2, .place = ViewMenu, .text = "2X", .check = CommandCheck::Scale},
    {.id = cmd::Scale3, .place = ViewMenu, .text = "3X", .check = CommandCheck::Scale},
    {.id = cmd::Scale4, .place = ViewMenu, .text = "4X", .check = CommandCheck::Scale},
    {.id = cmd::Rotate0, .place = RotateMenu, .text = "0", .check = CommandCheck::Rotation},
    {.id = cmd::Rotate90, .place = RotateMenu, .text = "90", .check = CommandCheck::Rotation},
    {.id = cmd::Rotate180, .place = RotateMenu, .text = "180", .check = CommandCheck::Rotation},
    {.id = cmd::Rotate270, .place = RotateMenu, .text = "270", .check = CommandCheck::Rotation},

    {.id = cmd::Configure, .place = DeviceMenu, .text = "&Configure...", .bar = 4, .tip = "Configure",
     .icon = CommandIcon::Configure, .when = Handled},
    {.id = cmd::ConnectionStatus, .place = DeviceMenu, .text = "&Connection Status", .when = Handled},
    {.id = cmd::DeviceInfo, .place = DeviceMenu, .text = "&Device Info...", .when = Handled},
    {.id = cmd::ProcessInfo, .place = DeviceMenu, .text = "Process Info...", .when = Handled},
    {.id = cmd::PasteToDevice, .place = DeviceMenu, .separatorBefore = true, .text = "&Paste to device", .key = "F11",
     .when = Handled},
    {.id = cmd::CopyFromDevice, .place = DeviceMenu, .text = "Copy from device", .key = "Ctrl+Shift+C",
     .reach = KeyReach::Window, .when = Handled},
    {.id = cmd::TypeText, .place = DeviceMenu, .text = "Type text...", .when = Handled},
    {.id = cmd::SoftReset, .place = DeviceMenu, .text = "Soft &Reset", .when = Handled},
    {.id = cmd::Suspend, .place = DeviceMenu, .text = "&Suspend", .when = Handled},

    {.id = cmd::HelpIndex, .place = HelpMenu, .text = "&Help Index", .when = Handled},

    {.id = cmd::CaptureScreendump, .bar = 2, .tip = "Capture Screendump", .icon = CommandIcon::Camera, .key = "F4",
     .when = Handled},
    {.id = cmd::Rotate90More, .bar = 8, .tip = "Rotate 90 degrees", .icon = CommandIcon::Rotate},
    {.id = cmd::ToggleLowColor, .bar = 9, .tip = "Toggle low/high color mode", .icon = CommandIcon::ColourMode,
     .key = "F10", .when = LowColor},
    {.id = cmd::Fit}, // the settings dialog refits the window
};

// The file explorer: its two pop-up menus, then its buttons.
inline constexpr CommandRow kExplorerCommands[] = {
    {.id = explorer_cmd::CopyToDevice, .place = PcPaneMenu, .text = "Copy To Device", .bar = 1,
     .tip = "Copy To Device", .icon = CommandIcon::ArrowRight},
    {.id = explorer_cmd::PcRename, .place = PcPaneMenu, .text = "Rename", .key = "F2", .reach = KeyReach::PaneList},
    {.id = explorer_cmd::PcOpen, .place = PcPaneMenu, .text = "Open"},
    {.id = explorer_cmd::PcRun, .place = PcPaneMenu, .text = "Run...", .when = Runnable},
    {.id = explorer_cmd::PcDelete, .place = PcPaneMenu, .text = "Delete", .key = "Del", .reach = KeyReach::PaneList},
    {.id = explorer_cmd::PcNewFolder, .place = PcPaneMenu, .text = "New Folder", .when = MakesFolders},
    {.id = explorer_cmd::PcSelectAll, .place = PcPaneMenu, .separatorBefore = true, .text = "Select All"},
    {.id = explorer_cmd::PcDeselectAll, .place = PcPaneMenu, .text = "De-Select All"},

    {.id = explorer_cmd::CopyToPc, .place = DevicePaneMenu, .text = "Copy To PC", .bar = 2, .tip = "Copy To PC",
     .icon = CommandIcon::ArrowLeft},
    {.id = explorer_cmd::DeviceRename, .place = DevicePaneMenu, .text = "Rename", .key = "F2",
     .reach = KeyReach::PaneList},
    {.id = explorer_cmd::DeviceOpen, .place = DevicePaneMenu, .text = "Open"},
    {.id = explorer_cmd::DeviceRun, .place = DevicePaneMenu, .text = "Run...", .when = Runnable},
    {.id = explorer_cmd::DeviceDelete, .place = DevicePaneMenu, .text = "Delete", .key = "Del",
     .reach = KeyReach::PaneList},
    {.id = explorer_cmd::DeviceNewFolder, .place = DevicePaneMenu, .text = "New Folder", .when = MakesFolders},
    {.id = explorer_cmd::DeviceSelectAll, .place = DevicePaneMenu, .separatorBefore = true, .text = "Select All"},
    {.id = explorer_cmd::DeviceDeselectAll, .place = DevicePaneMenu, .text = "De-Select All"},

    {.id = explorer_cmd::IdleReload, .bar = 3, .icon = CommandIcon::Reload, .when = Never},
    {.id = explorer_cmd::IdlePlay, .bar = 4, .icon = CommandIcon::MediaPlay, .when = Never},
    {.id = explorer_cmd::IdleStop, .bar = 5, .icon = CommandIcon::MediaStop, .when = Never},
    {.id = explorer_cmd::IdleHelp, .bar = 6, .icon = CommandIcon::HelpButton, .when = Never},
    {.id = explorer_cmd::PcUp, .icon = CommandIcon::ParentFolder},
    {.id = explorer_cmd::DeviceUp, .icon = CommandIcon::ParentFolder},
};

// The main window's own commands that have a key (its menus are its own); the main
// window carries them out. With kDeviceCommands' Program keys, these are the
// program's accelerator table.
inline constexpr CommandRow kMainWindowKeys[] = {
    {.id = cmd::HelpIndex, .key = "Shift+F1"},
    {.id = cmd::DefaultSettings, .key = "F6"},
    {.id = cmd::PlayPause, .key = "F8"},
    {.id = cmd::Disconnect, .key = "F12"},
    {.id = cmd::ShiftF2, .key = "Shift+F2"},   // taken, nothing acts on it
    {.id = cmd::ShiftF11, .key = "Shift+F11"}, // taken, nothing acts on it
};

} // namespace command_rows

// The row of command `id` in `table`, or nullptr.
constexpr const CommandRow* FindCommand(std::span<const CommandRow> table, int id)
{
    for (const CommandRow& row : table)
        if (row.id == id)
            return &row;
    return nullptr;
}

// No two rows of a window share an id, and no key of the program's accelerators and
// the device window's keys is taken twice (the explorer's keys belong to its lists).
constexpr bool CommandIdsUnique(std::span<const CommandRow> table)
{
    for (size_t i = 0; i < table.size(); ++i)
        for (size_t j = i + 1; j < table.size(); ++j)
            if (table[i].id == table[j].id)
                return false;
    return true;
}

constexpr bool CommandKeysUnique(std::span<const CommandRow> a, std::span<const CommandRow> b)
{
    auto key = [&](size_t i) { return i < a.size() ? a[i].key : b[i - a.size()].key; };
    for (size_t i = 0; i < a.size() + b.size(); ++i)
        for (size_t j = i + 1; j < a.size() + b.size(); ++j)
            if (!key(i).empty() && key(i) == key(j))
                return false;
    return true;
}

static_assert(CommandIdsUnique(command_rows::kDeviceCommands) && CommandIdsUnique(command_rows::kExplorerCommands) &&
              CommandIdsUnique(command_rows::kMainWindowKeys));
static_assert(CommandKeysUnique(command_rows::kDeviceCommands, command_rows::kMainWindowKeys));

} // namespace sorvane
