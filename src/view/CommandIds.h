#pragma once
// Command ids of the menus, buttons and accelerator keys of the main window and the
// device windows (no Qt). The widgets carry them as object names.

namespace sorvane::cmd {

inline constexpr int RefreshDisplay = 40001;
inline constexpr int About = 40002;
inline constexpr int HelpIndex = 40003;
inline constexpr int CaptureScreendump = 40004;
inline constexpr int ToggleSkin = 40007;
inline constexpr int DefaultSettings = 40008; // main window; "&Configure..." in a device window
inline constexpr int StartRecording = 40009;
inline constexpr int PlayPause = 40010;       // scenarios: play or pause; "Execute"
inline constexpr int StopRecording = 40011;
inline constexpr int ToggleLowColor = 40012;
inline constexpr int ShiftF2 = 40020;         // bound to Shift+F2; no window acts on it
inline constexpr int PasteToDevice = 40023;
inline constexpr int DeleteConnection = 40025;
inline constexpr int Connect = 40026;
inline constexpr int Disconnect = 40031;
inline constexpr int ShiftF11 = 40034;        // bound to Shift+F11; no window acts on it
inline constexpr int NewConnection = 40041;
inline constexpr int SelectAll = 40042;
inline constexpr int DeselectAll = 40044;
inline constexpr int Exit = 40047;
inline constexpr int ConnectionStatus = 40064;
inline constexpr int StopActiveSync = 40073;
inline constexpr int StartActiveSync = 40074;
inline constexpr int EditConnection = 40080;
inline constexpr int CloseAll = 40082;
inline constexpr int Cascade = 40083;
inline constexpr int MinimizeAll = 40084;
inline constexpr int RestoreAll = 40085;
inline constexpr int NewScenario = 40087;
inline constexpr int EditScenario = 40088;
inline constexpr int DeleteScenario = 40089;
inline constexpr int CloneConnection = 40090;
inline constexpr int CloneScenario = 40091;
inline constexpr int StopScenario = 40092;

// Device window commands.
inline constexpr int Scale1 = 40005;
inline constexpr int Scale2 = 40006;
inline constexpr int Configure = 40008; // the device window's name for DefaultSettings
inline constexpr int Rotate90More = 40033;
inline constexpr int FileExplorer = 40038;
inline constexpr int SoftReset = 40061;
inline constexpr int Suspend = 40062;
inline constexpr int DeviceInfo = 40065;
inline constexpr int Scale3 = 40067;
inline constexpr int Scale4 = 40068;
inline constexpr int Fit = 40069;
inline constexpr int CaptureClipboard = 40070;
inline constexpr int CaptureFile = 40071;
inline constexpr int CaptureOneClick = 40072;
inline constexpr int Rotate0 = 40075;
inline constexpr int Rotate90 = 40076;
inline constexpr int Rotate180 = 40077;
inline constexpr int Rotate270 = 40078;
inline constexpr int ProcessInfo = 40086;
inline constexpr int ToggleFlip = 40093;
inline constexpr int CopyFromDevice = 40095; // Ctrl+Shift+C
inline constexpr int TypeText = 40096;
inline constexpr int StatusLine = 40097;     // shows or hides the live status line
inline constexpr int AddCheckpoint = 40098;  // Ctrl+Shift+K: the next drag marks a checked region
inline constexpr int ConnectAll = 40099;     // main window: every profile marked to connect at start
inline constexpr int DevicesWindow = 40100;  // main window's Window menu: the grid of every live device
inline constexpr int DisconnectDevice = 40101; // device window and tile: ends the connection
inline constexpr int BroadcastInput = 40102; // starts or ends input broadcast from this device
// The Devices window's commands on its selected tiles.
inline constexpr int FleetRunScenario = 40103;
inline constexpr int FleetCaptureAll = 40104;
inline constexpr int FleetSendFiles = 40105;
inline constexpr int FleetSoftReset = 40106;

} // namespace sorvane::cmd

// The file explorer's commands and the object names of its pane widgets. Its ids
// overlap the main window's (40025, 40041, 40042, 40044) and the device window's
// (40003): each window reads its own.
namespace sorvane::explorer_cmd {

inline constexpr int CopyToDevice = 40039;
inline constexpr int CopyToPc = 40040;
inline constexpr int PcRename = 40032;
inline constexpr int PcOpen = 40054;
inline constexpr int PcRun = 40053;
inline constexpr int PcDelete = 40025;
inline constexpr int PcNewFolder = 40041;
inline constexpr int PcSelectAll = 40042;
inline constexpr int PcDeselectAll = 40044;
inline constexpr int DeviceRename = 40056;
inline constexpr int DeviceOpen = 40060;
inline constexpr int DeviceRun = 40037;
inline constexpr int DeviceDelete = 40055;
inline constexpr int DeviceNewFolder = 40057;
inline constexpr int DeviceSelectAll = 40058;
inline constexpr int DeviceDeselectAll = 40059;
inline constexpr int PcUp = 40048;
inline constexpr int DeviceUp = 40079;
// The greyed buttons under the two copy buttons: no action in the explorer.
inline constexpr int IdleReload = 40043;
inline constexpr int IdlePlay = 40045;
inline constexpr int IdleStop = 40046;
inline constexpr int IdleHelp = 40003;
// Widgets, not commands: the folder path and sort buttons above each pane.
inline constexpr int PcPath = 40049;
inline constexpr int PcSort = 40050;
inline constexpr int DevicePath = 40051;
inline constexpr int DeviceSort = 40052;

} // namespace sorvane::explorer_cmd
