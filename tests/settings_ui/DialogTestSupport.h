#pragma once
// A program state over a temporary settings folder with scripted UI ports, for the
// tests of the profile and settings dialogs.

#include <vector>

#include <QComboBox>
#include <QDialog>
#include <QPushButton>
#include <QTest>

#include "connect/InboundListener.h"
#include "settings/Settings.h"
#include "settings/ui/SettingsDialogContext.h"
#include "support/ScriptedUiPorts.h"
#include "support/TempDir.h"

namespace sorvane::test {

// The program's records, a temporary folder, and a save port that keeps what it was
// given (the settings file itself is tests/settings' SettingsStore's).
struct ProgramState {
    TempDir dir;
    Settings settings = Settings::defaults(dir.path().string() + "/");
    ProfileTable profiles;
    std::vector<std::string> skins{"Pocket PC", "Handheld"};
    ScriptedMessageBox messages;
    CountingBeep beep;
    ScriptedColorChooser colors;
    std::array<uint32_t, 16> customColors{};
    InboundListener listener{0x7F000001}; // loopback only
    std::vector<int> refreshed;
    int saves = 0;
    Settings savedSettings; // as the last save found them
    ProfileTable savedProfiles;
    std::string saveFailure; // set: the save port fails with this text
    SettingsDialogContext context{settings, profiles, skins, messages, beep, colors, customColors,
                                  [this](int port) { return listener.reopen(port); },
                                  [this](int i) { refreshed.push_back(i); },
                                  [this] {
                                      ++saves;
                                      savedSettings = settings;
                                      savedProfiles = profiles;
                                      return saveFailure;
                                  }};
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

inline void pressOk(QDialog& d) { child<QPushButton>(d, "1")->click(); }

} // namespace sorvane::test
