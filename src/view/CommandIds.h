#pragma once
// Command ids of the menus, buttons and accelerator keys of the main window and the
// device windows, in one table (no Qt). They double as state values elsewhere (a
// connection's recordState holds 40009, 40010, 40094 or 40011), so they keep their
// numbers.

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
inline constexpr int PlaybackPaused = 40094;

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

} // namespace sorvane::cmd
