#include <gtest/gtest.h>

#include <filesystem>

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QTreeWidget>

#include "DialogTestSupport.h"
#include "support/LoopbackSockets.h"
#include "files/ui/SelectDirectoryDialog.h"
#include "settings/ui/ConfigDialog.h"

using namespace sorvane;
using namespace sorvane::test;

namespace {

// The device window's side of Configure.
struct FakeConnection final : ConnectionSettingsPort {
    ConnectionViewSettings settings;
    std::vector<ConnectionViewSettings> stored;
    std::vector<int> posted;
    ConnectionViewSettings viewSettings() const override { return settings; }
    void storeViewSettings(const ConnectionViewSettings& s) override { stored.push_back(s); }
    void postCommand(int id) override { posted.push_back(id); }
};

class ConfigDialogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(state.listener.StartInboundListener(0), InboundListener::StartResult::Listening);
        state.settings.InboundPort = state.listener.listeningPort();
    }
    ProgramState state;
};

} // namespace

TEST_F(ConfigDialogTest, PortInUseKeepsEverythingAndAFreePortIsStoredWithTheRest)
{
    const int oldPort = state.settings.InboundPort;
    const Settings before = state.settings;
    OtherListener other;
    ConfigDialog d(nullptr, state.context);
    d.show();
    auto* port = child<QLineEdit>(d, "1002");
    EXPECT_EQ(port->text(), QString::number(oldPort));
    child<QComboBox>(d, "1051")->setCurrentIndex(2); // 3 fps
    port->setText(QString::number(other.port));
    pressOk(d);

    EXPECT_TRUE(d.isVisible());
    ASSERT_EQ(state.messages.shown.size(), 1u);
    EXPECT_EQ(state.messages.shown[0].text, "Unable to create inbound socket; port may be in use");
    EXPECT_EQ(state.messages.shown[0].caption, "Error");
    EXPECT_EQ(state.messages.shown[0].icon, MessageIcon::Error);
    EXPECT_EQ(state.settings, before); // nothing stored, InboundPort included
    EXPECT_EQ(state.saves, 0);
    EXPECT_EQ(state.listener.listeningPort(), oldPort); // an impossible port: the listener's own suite

    // A free port: the listener moves and everything is stored, then saved.
    const int freePort = freeLoopbackPort();
    const std::string scripts = (state.dir / "My Scripts").string();
    port->setText(QString::number(freePort));
    child<QComboBox>(d, "1052")->setCurrentIndex(3);  // 4x
    child<QCheckBox>(d, "1040")->setChecked(true);
    child<QComboBox>(d, "1054")->setCurrentIndex(2);
    child<QCheckBox>(d, "1041")->setChecked(true);
    child<QCheckBox>(d, "1042")->setChecked(true);
    child<QCheckBox>(d, "1043")->setChecked(false);
    child<QCheckBox>(d, "1044")->setChecked(false);
    child<QRadioButton>(d, "1072")->click();
    child<QComboBox>(d, "1055")->setCurrentIndex(1);
    child<QRadioButton>(d, "1074")->click();
    child<QLineEdit>(d, "1001")->setText(QString::fromStdString(scripts));
    state.saveFailure = "cannot write the settings file: disk full"; // reported, the values kept
    pressOk(d);

    ASSERT_FALSE(d.isVisible());
    ASSERT_EQ(state.messages.shown.size(), 2u);
    EXPECT_EQ(state.messages.shown[1].text, state.saveFailure);
    EXPECT_EQ(state.messages.shown[1].caption, "Error");
    EXPECT_EQ(state.listener.listeningPort(), freePort);
    const Settings& s = state.savedSettings;
    EXPECT_EQ(s.InboundPort, freePort);
    EXPECT_EQ(s.Refresh, 3);
    EXPECT_EQ(s.Scale, 4);
    EXPECT_EQ(s.Skin, 1);
    EXPECT_EQ(s.CurrentSkin, 2);
    EXPECT_EQ(s.ColorMode, 1);
    EXPECT_EQ(s.QueueEvents, 1);
    EXPECT_EQ(s.ShowMouse, 0);
    EXPECT_EQ(s.AcceptInbound, 0);
    EXPECT_EQ(s.Capture, 2);
    EXPECT_EQ(s.ClickFormat, 1);
    EXPECT_EQ(s.Recording_Method, 1);
    EXPECT_EQ(s.ScriptDir, scripts);
    EXPECT_EQ(state.settings, s); // kept though the save failed
}

TEST_F(ConfigDialogTest, BrowsePutsTheChosenFolderIntoTheBoxAndCancelNothingAndWithoutSkinsOnlyNone)
{
    std::filesystem::create_directories(state.dir / "RECORDED_DATA");
    std::filesystem::create_directories(state.dir / "elsewhere");
    state.settings.ScriptDir = (state.dir / "RECORDED_DATA").string();
    state.skins.clear();
    state.settings.CurrentSkin = 3;
    state.settings.Skin = 1;
    ConfigDialog d(nullptr, state.context);
    d.show();
    // Without skins only "None" is shown and nothing can be chosen.
    auto* list = child<QComboBox>(d, "1054");
    EXPECT_EQ(list->count(), 1);
    EXPECT_EQ(list->currentText(), "None");
    EXPECT_FALSE(list->isEnabled());
    EXPECT_FALSE(child<QCheckBox>(d, "1040")->isEnabled());
    QString seenStart;
    QTimer::singleShot(0, [&] {
        auto* sel = qobject_cast<SelectDirectoryDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(sel, nullptr);
        seenStart = QString::fromStdString(sel->folder());
        sel->showFolder(state.dir.path().string());
        QList<QTreeWidgetItem*> rows = sel->list()->findItems("elsewhere", Qt::MatchExactly);
        ASSERT_EQ(rows.size(), 1);
        QTest::mouseClick(sel->list()->viewport(), Qt::LeftButton, {}, sel->list()->visualItemRect(rows[0]).center());
        QTimer::singleShot(0, [sel] { sel->findChild<QPushButton*>("1")->click(); });
    });
    child<QPushButton>(d, "1030")->click();
    EXPECT_EQ(seenStart.toStdString(), state.settings.ScriptDir);
    EXPECT_EQ(child<QLineEdit>(d, "1001")->text().toStdString(), (state.dir / "elsewhere").string());

    QTimer::singleShot(0, [&] {
        auto* sel = qobject_cast<SelectDirectoryDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(sel, nullptr);
        sel->showFolder(state.dir.path().string());
        sel->findChild<QPushButton*>("2")->click();
    });
    child<QPushButton>(d, "1030")->click(); // Cancel leaves the box as it was
    EXPECT_EQ(child<QLineEdit>(d, "1001")->text().toStdString(), (state.dir / "elsewhere").string());
    pressOk(d);
    EXPECT_EQ(state.settings.CurrentSkin, 0);
}

// A window's Configure changes that connection only: its scale refits the window and
// the profile keeps its own (view_ui DeviceWindowTest). The toggles it posts:
TEST(ConnectionConfigure, LowColourAndSkinChangesPostTheirToggles)
{
    std::vector<std::string> skins{"One", "Two", "Three"};
    auto run = [&](ConnectionViewSettings start, auto change, const char* button = "1") {
        FakeConnection conn;
        conn.settings = start;
        ConfigDialog d(nullptr, conn, skins);
        d.show();
        change(d);
        child<QPushButton>(d, button)->click();
        return conn;
    };
    ConnectionViewSettings shown;
    shown.skinShown = true;
    shown.skinIndex = 1;

    // Nothing changed: stored as it was, nothing posted.
    FakeConnection same = run(shown, [](ConfigDialog&) {});
    EXPECT_TRUE(same.posted.empty());
    EXPECT_EQ(same.stored.at(0), shown);

    // Another skin while one is shown: off and on again with the new index.
    FakeConnection other = run(shown, [](ConfigDialog& d) { child<QComboBox>(d, "1054")->setCurrentIndex(3); });
    EXPECT_EQ(other.posted, (std::vector<int>{40007, 40007}));
    EXPECT_EQ(other.stored.at(0).skinIndex, 3);

    // Showing a skin: one toggle; hiding it: one toggle.
    ConnectionViewSettings hidden;
    FakeConnection on = run(hidden, [](ConfigDialog& d) {
        child<QCheckBox>(d, "1040")->setChecked(true);
        child<QComboBox>(d, "1054")->setCurrentIndex(2);
    });
    EXPECT_EQ(on.posted, std::vector<int>{40007});
    EXPECT_EQ(on.stored.at(0).skinIndex, 2);
    FakeConnection off = run(shown, [](ConfigDialog& d) { child<QCheckBox>(d, "1040")->setChecked(false); });
    EXPECT_EQ(off.posted, std::vector<int>{40007});

    // A skin chosen while none is shown and "Show Skin" stays off: nothing to do.
    FakeConnection idle = run(hidden, [](ConfigDialog& d) { child<QComboBox>(d, "1054")->setCurrentIndex(2); });
    EXPECT_TRUE(idle.posted.empty());
    EXPECT_EQ(idle.stored.at(0).skinIndex, 0);

    // Low colour is toggled by its command, never stored directly.
    FakeConnection low = run(hidden, [](ConfigDialog& d) {
        child<QCheckBox>(d, "1041")->setChecked(true);
        child<QCheckBox>(d, "1042")->setChecked(true);
        child<QComboBox>(d, "1051")->setCurrentIndex(17);
    });
    EXPECT_EQ(low.posted, std::vector<int>{40012});
    EXPECT_FALSE(low.stored.at(0).lowColor);
    EXPECT_TRUE(low.stored.at(0).queueEvents);
    EXPECT_EQ(low.stored.at(0).refreshRate, 18);

    // Cancel: nothing stored, nothing posted.
    FakeConnection cancelled =
        run(shown, [](ConfigDialog& d) { child<QComboBox>(d, "1052")->setCurrentIndex(3); }, "2");
    EXPECT_TRUE(cancelled.stored.empty());
    EXPECT_TRUE(cancelled.posted.empty());
}
