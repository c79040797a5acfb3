#pragma once
// A program state over a temporary settings folder with scripted UI ports, for the
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
#include "support/ScriptedUiPorts.h"
#include "support/TempDir.h"

namespace sorvane::test {

// The program's records over a settings file in a temporary folder.
struct ProgramState {
    TempDir dir;
    std::string programDir = dir.path().string() + "/";
    SettingsStore store{dir / "config"};
    Settings settings = Settings::defaults(programDir);
    ProfileTable profiles;
    PlatformSettings platform = PlatformSettings::defaults();
    std::vector<std::string> skins{"Pocket PC", "Handheld"};
    ScriptedMessageBox messages;
    CountingBeep beep;
    ScriptedColorChooser colors;
    std::array<uint32_t, 16> customColors{};
    InboundListener listener{0x7F000001}; // loopback only
    std::vector<int> refreshed;
    int saves = 0;
    std::string saveFailure; // set: the save port fails with this text
    SettingsDialogContext context{settings, profiles, skins, messages, beep, colors, customColors,
                                  [this](int port) { return listener.reopen(port); },
                                  [this](int i) { refreshed.push_back(i); },
                                  [this] {
                                      ++saves;
                                      return saveFailure.empty() ? store.SaveSettings(settings, profiles, platform)
                                                                 : saveFailure;
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
