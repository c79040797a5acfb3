#pragma once
// Scripted UI ports and a program state over a temporary settings folder, for the
// tests of the profile and settings dialogs.

#include <deque>
#include <memory>
#include <optional>
#include <vector>

#include <QComboBox>
#include <QTest>

#include "connect/InboundListener.h"
#include "settings/SettingsStore.h"
#include "settings/ui/SettingsDialogContext.h"
#include "support/TempDir.h"

namespace sorvane::test {

struct RecordingMessages final : MessageBoxPort {
    std::vector<MessageRequest> shown;
    MessageResult show(const MessageRequest& r) override
    {
        shown.push_back(r);
        return MessageResult::Ok;
    }
};

struct CountingBeep final : BeepPort {
    int beeps = 0;
    void beep() override { ++beeps; }
};

// Answers each request with the next scripted colour (nullopt = Cancel), records the
// initial colour asked with, and writes its answer into custom colour 0 as a chooser
// whose user defined a custom colour would.
struct ScriptedColors final : ColorChooserPort {
    std::deque<std::optional<uint32_t>> answers;
    std::vector<uint32_t> initials;
    std::optional<uint32_t> chooseColor(uint32_t initial, std::array<uint32_t, 16>& custom) override
    {
        initials.push_back(initial);
        std::optional<uint32_t> a;
        if (!answers.empty()) {
            a = answers.front();
            answers.pop_front();
        }
        if (a)
            custom[0] = *a;
        return a;
    }
};

// The program's records over a settings file in a temporary folder.
struct ProgramState {
    TempDir dir;
    std::string programDir = dir.path().string() + "/";
    SettingsStore store{dir / "config"};
    Settings settings = Settings::defaults(programDir);
    ProfileTable profiles;
    PlatformSettings platform = PlatformSettings::defaults();
    std::vector<std::string> skins{"Pocket PC", "Handheld"};
    RecordingMessages messages;
    CountingBeep beep;
    ScriptedColors colors;
    std::array<uint32_t, 16> customColors{};
    InboundListener listener{0x7F000001}; // loopback only
    std::vector<int> refreshed;
    int saves = 0;
    SettingsDialogContext context{settings, profiles, skins, messages, beep, colors, customColors,
                                  [this](int port) { return listener.reopen(port); },
                                  [this](int i) { refreshed.push_back(i); },
                                  [this] {
                                      ++saves;
                                      return store.SaveSettings(settings, profiles, platform);
                                  }};

    // What a fresh start would read back from the settings file.
    void reload(Settings& s, ProfileTable& p) const
    {
        SettingsStore again(dir / "config");
        PlatformSettings plat;
        SettingsLoadResult r = again.LoadSettings(programDir, s, p, plat);
        EXPECT_FALSE(r.problem()) << r.error;
    }
};

// Moves a closed combo box to index with the arrow keys, as a user would; every step
// is a choice of the user.
inline void chooseByKeys(QComboBox& box, int index)
{
    while (box.currentIndex() < index)
        QTest::keyClick(&box, Qt::Key_Down);
    while (box.currentIndex() > index)
        QTest::keyClick(&box, Qt::Key_Up);
}

template <typename T> T* child(QObject& parent, const char* name)
{
    T* w = parent.findChild<T*>(QString::fromUtf8(name));
    EXPECT_NE(w, nullptr) << name;
    return w;
}

} // namespace sorvane::test
