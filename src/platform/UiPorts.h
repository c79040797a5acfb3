#pragma once
// The user-interface services that program logic asks for: message boxes, the
// beep, file dialogs and the colour chooser. Only user-interface code calls them
// (the link and protocol layers never show a message). The desktop program
// implements them with Qt; tests hand in scripted doubles that record every
// request and answer from a script.
//
// Thread: every call is made on the user-interface thread and blocks until the
// user has answered (the dialogs are modal).

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace sorvane {

enum class MessageIcon {
    None,
    Information,
    Warning,
    Question,
    Error, // "error icon"
    Stop,  // "stop icon"; looks the same as Error on most desktops
};

enum class MessageButtons {
    Ok,
    OkCancel,
    YesNo,
    YesNoCancel,
    RetryCancel,
};

// The button the user chose; the numbers are the classic dialog result codes.
enum class MessageResult : int {
    Ok = 1,
    Cancel = 2,
    Retry = 4,
    Yes = 6,
    No = 7,
};

struct MessageRequest {
    std::string text;
    std::string caption;
    MessageIcon icon = MessageIcon::None;
    MessageButtons buttons = MessageButtons::Ok;
};

class MessageBoxPort {
public:
    virtual ~MessageBoxPort() = default;
    // Shows a modal message box over the active window and returns the button
    // chosen. Closing the box without a choice gives Cancel (or No for YesNo,
    // Ok for a box that has only OK).
    virtual MessageResult show(const MessageRequest& request) = 0;
};

class BeepPort {
public:
    virtual ~BeepPort() = default;
    // The short sound of a refused command that needs no words.
    virtual void beep() = 0;
};

struct FileFilter {
    std::string description;           // "Script files"
    std::vector<std::string> patterns; // {"*.txt"}
};

struct FileDialogRequest {
    std::string title;
    std::string initialDirectory;  // empty: the dialog's own choice
    std::string initialName;       // file name proposed in the name field
    std::vector<FileFilter> filters;
    std::string defaultExtension;  // without the dot; appended when the user types none
    bool mustExist = true;         // openFile: false lets the user name a file not there yet
};

// A save dialog's answer: the path and the filter the user had chosen (0-based).
struct SavedFile {
    std::string path;
    int filter = 0;
};

class FileDialogPort {
public:
    virtual ~FileDialogPort() = default;
    // Each returns the chosen path, or nullopt when the user cancelled.
    virtual std::optional<std::string> openFile(const FileDialogRequest& request) = 0;
    virtual std::optional<std::string> saveFile(const FileDialogRequest& request) = 0;
    // The save dialog that also tells which filter was chosen. Without its own
    // implementation a port answers as saveFile with the first filter.
    virtual std::optional<SavedFile> saveFileAs(const FileDialogRequest& request)
    {
        std::optional<std::string> path = saveFile(request);
        if (!path)
            return std::nullopt;
        return SavedFile{*path, 0};
    }
    // An open dialog where several files may be chosen; none: cancelled. Without its own
    // implementation a port answers as openFile (one file).
    virtual std::vector<std::string> openFiles(const FileDialogRequest& request)
    {
        std::optional<std::string> path = openFile(request);
        return path ? std::vector<std::string>{*path} : std::vector<std::string>{};
    }
    virtual std::optional<std::string> chooseDirectory(const std::string& title,
                                                       const std::string& initialDirectory) = 0;
};

class ColorChooserPort {
public:
    virtual ~ColorChooserPort() = default;
    // Colours are Windows colour values 0x00BBGGRR. `customColors` is the caller's
    // set of 16 custom colours, kept for the whole run; the chooser may change it.
    // Returns the chosen colour, or nullopt when the user cancelled.
    virtual std::optional<uint32_t> chooseColor(uint32_t initial,
                                                std::array<uint32_t, 16>& customColors) = 0;
};

// The four services handed around together. The ports are borrowed: whoever
// makes a UiPorts keeps the objects alive for as long as it is used.
struct UiPorts {
    MessageBoxPort& messages;
    BeepPort& beep;
    FileDialogPort& files;
    ColorChooserPort& colors;
};

} // namespace sorvane
