#pragma once
// Scripted doubles of the user-interface ports, shared by every window and dialog
// test: they record every request and answer from a queue the test fills (Ok /
// nullopt when the queue is empty). None of them opens a window, so none can block.

#include <array>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "platform/UiPorts.h"

namespace sorvane::test {

class ScriptedMessageBox final : public MessageBoxPort {
public:
    MessageResult show(const MessageRequest& request) override
    {
        shown.push_back(request);
        if (answers.empty())
            return MessageResult::Ok;
        MessageResult r = answers.front();
        answers.pop_front();
        return r;
    }
    std::vector<MessageRequest> shown;
    std::deque<MessageResult> answers;
};

class CountingBeep final : public BeepPort {
public:
    void beep() override { ++count; }
    int count = 0;
};

class ScriptedFileDialogs final : public FileDialogPort {
public:
    std::optional<std::string> openFile(const FileDialogRequest& r) override { return answer(r); }
    std::optional<std::string> saveFile(const FileDialogRequest& r) override { return answer(r); }
    // The filter of each save answer comes from `filters` (0 when it is empty).
    std::optional<SavedFile> saveFileAs(const FileDialogRequest& r) override
    {
        std::optional<std::string> path = answer(r);
        const int filter = filters.empty() ? 0 : filters.front();
        if (!filters.empty())
            filters.pop_front();
        return path ? std::optional<SavedFile>(SavedFile{*path, filter}) : std::nullopt;
    }
    std::deque<int> filters;
    std::optional<std::string> chooseDirectory(const std::string& title, const std::string& dir) override
    {
        return answer(FileDialogRequest{title, dir, {}, {}, {}, true});
    }
    std::vector<FileDialogRequest> requests;
    std::deque<std::optional<std::string>> answers;

private:
    std::optional<std::string> answer(const FileDialogRequest& r)
    {
        requests.push_back(r);
        if (answers.empty())
            return std::nullopt;
        auto a = answers.front();
        answers.pop_front();
        return a;
    }
};

class ScriptedColorChooser final : public ColorChooserPort {
public:
    // A chosen colour also becomes custom colour 0, as a user who defined it would leave it.
    std::optional<uint32_t> chooseColor(uint32_t initial, std::array<uint32_t, 16>& custom) override
    {
        initials.push_back(initial);
        if (answers.empty())
            return std::nullopt;
        auto a = answers.front();
        answers.pop_front();
        if (a)
            custom[0] = *a;
        return a;
    }
    std::vector<uint32_t> initials;
    std::deque<std::optional<uint32_t>> answers;
};

struct ScriptedUiPorts {
    ScriptedMessageBox messages;
    CountingBeep beep;
    ScriptedFileDialogs files;
    ScriptedColorChooser colors;
    UiPorts ports() { return UiPorts{messages, beep, files, colors}; }
};

} // namespace sorvane::test
