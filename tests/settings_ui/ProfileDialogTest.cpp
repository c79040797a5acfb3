#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

#include "DialogTestSupport.h"
#include "settings/ui/ColorSwatch.h"
#include "settings/ui/IpAddressEdit.h"
#include "settings/ui/ProfileDialog.h"

using namespace sorvane;
using namespace sorvane::test;

namespace {

Profile comProfile(uint32_t port)
{
    Profile p;
    p.setName("Handheld on COM");
    p.linkKind = uint32_t(LinkKind::Serial);
    p.port = port;
    p.scale = 2;
    p.refreshRate = 5;
    p.reserved = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    return p;
}

class ProfileDialogTest : public ::testing::Test {
protected:
    ProgramState state;
};

} // namespace

TEST_F(ProfileDialogTest, EditShowsTheStoredPortChoosingComSetsOneAndAFailedSaveIsReported)
{
    ASSERT_TRUE(state.profiles.AddProfile(comProfile(3)));
    ProfileDialog d(nullptr, state.context, 0);
    d.show();
    EXPECT_EQ(d.windowTitle(), "Edit Connection");
    auto* port = child<QLineEdit>(d, "1002");
    auto* kind = child<QComboBox>(d, "1050");
    auto* address = child<IpAddressEdit>(d, "1120");
    EXPECT_EQ(port->text(), "3");
    EXPECT_EQ(kind->currentText(), "Serial (COM) Port");
    EXPECT_TRUE(port->isEnabled());
    EXPECT_FALSE(address->isEnabled());
    EXPECT_EQ(child<QComboBox>(d, "1051")->currentText(), "2X");
    EXPECT_EQ(child<QComboBox>(d, "1053")->currentText(), "5 fps");

    chooseByKeys(*kind, int(LinkKind::Wan)); // passes USB and ActiveSync on the way
    EXPECT_EQ(port->text(), "3");
    EXPECT_FALSE(port->isEnabled());
    EXPECT_TRUE(address->isEnabled());
    chooseByKeys(*kind, int(LinkKind::Serial));
    EXPECT_EQ(port->text(), "1");
    chooseByKeys(*kind, int(LinkKind::Proxy));
    EXPECT_EQ(port->text(), "1900");
    EXPECT_TRUE(port->isEnabled());
    EXPECT_TRUE(address->isEnabled());
    chooseByKeys(*kind, int(LinkKind::Lan));
    EXPECT_FALSE(port->isEnabled());
    EXPECT_FALSE(address->isEnabled());

    // Edited in place: the list is refreshed on it, the reserved bytes travel along; a
    // failing save is reported and the edit kept.
    chooseByKeys(*kind, int(LinkKind::Serial));
    port->setText("7");
    state.saveFailure = "cannot write the settings file: disk full";
    pressOk(d);
    EXPECT_FALSE(d.isVisible());
    ASSERT_EQ(state.messages.shown.size(), 1u);
    EXPECT_EQ(state.messages.shown[0].text, state.saveFailure);
    EXPECT_EQ(state.messages.shown[0].caption, "New/Edit Connection");
    EXPECT_EQ(state.messages.shown[0].icon, MessageIcon::Error);
    ASSERT_EQ(state.profiles.ConnTypes(), 1);
    EXPECT_EQ(state.profiles.get(0)->port, 7u);
    EXPECT_EQ(state.profiles.get(0)->reserved, comProfile(3).reserved);
    EXPECT_EQ(state.refreshed, std::vector<int>{0});
}

TEST_F(ProfileDialogTest, PortLimitsOfComAndProxy)
{
    auto attempt = [&](LinkKind k, const char* portText) {
        ProfileDialog d(nullptr, state.context, -1);
        d.show();
        chooseByKeys(*child<QComboBox>(d, "1050"), int(k));
        child<QLineEdit>(d, "1002")->setText(QString::fromLatin1(portText));
        const size_t before = state.messages.shown.size();
        pressOk(d);
        const bool stored = !d.isVisible();
        EXPECT_EQ(state.messages.shown.size(), before + (stored ? 0 : 1));
        return stored;
    };
    auto last = [&] { return state.messages.shown.empty() ? MessageRequest{} : state.messages.shown.back(); };
    EXPECT_FALSE(attempt(LinkKind::Proxy, "999"));
    EXPECT_EQ(last().text, "Please specify a valid Proxy port (1000-65536)");
    EXPECT_EQ(last().caption, "New/Edit Connection");
    EXPECT_EQ(last().icon, MessageIcon::Error);
    EXPECT_FALSE(attempt(LinkKind::Proxy, "65537"));
    EXPECT_FALSE(attempt(LinkKind::Proxy, ""));
    EXPECT_TRUE(attempt(LinkKind::Proxy, "1000"));
    EXPECT_TRUE(attempt(LinkKind::Proxy, "65536"));

    EXPECT_FALSE(attempt(LinkKind::Serial, "0"));
    EXPECT_EQ(last().text, "Please specify a valid COM port (1-9)");
    EXPECT_FALSE(attempt(LinkKind::Serial, "10"));
    EXPECT_TRUE(attempt(LinkKind::Serial, "9"));
    // Other kinds do not look at the port.
    EXPECT_TRUE(attempt(LinkKind::Wan, "0"));

    ASSERT_EQ(state.profiles.ConnTypes(), 4);
    EXPECT_EQ(state.profiles.get(0)->port, 1000u);
    EXPECT_EQ(state.profiles.get(1)->port, 65536u);
    EXPECT_EQ(state.refreshed, (std::vector<int>{0, 1, 2, 3}));
}

TEST_F(ProfileDialogTest, NameIsRequiredAndKeepsSixtyThreeBytes)
{
    ProfileDialog d(nullptr, state.context, -1);
    d.show();
    d.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&d));
    auto* name = child<QLineEdit>(d, "1001");
    EXPECT_EQ(name->text(), "New Connection");
    QTest::keyClicks(QApplication::focusWidget(), "Pocket"); // typing replaces it
    EXPECT_EQ(name->text(), "Pocket");
    name->clear();
    pressOk(d);
    EXPECT_TRUE(d.isVisible());
    ASSERT_EQ(state.messages.shown.size(), 1u);
    EXPECT_EQ(state.messages.shown[0].text, "A name is required");
    EXPECT_EQ(state.profiles.ConnTypes(), 0);
    EXPECT_EQ(state.saves, 0);

    const std::string full(63, 'n');
    QTest::keyClicks(name, QString::fromStdString(full + "xyz")); // the box takes 63
    EXPECT_EQ(name->text().toStdString(), full);
    pressOk(d);
    ASSERT_EQ(state.profiles.ConnTypes(), 1);
    EXPECT_EQ(state.profiles.get(0)->nameView(), full);

    // Characters of two bytes: the box stops where the record would overflow.
    ProfileDialog d2(nullptr, state.context, -1);
    auto* name2 = child<QLineEdit>(d2, "1001");
    name2->clear();
    for (int i = 0; i < 40; ++i)
        QTest::sendKeyEvent(QTest::Click, name2, Qt::Key_Eacute, QString(QChar(0xE9)), Qt::NoModifier);
    EXPECT_EQ(name2->text(), QString(31, QChar(0xE9)));
}

TEST_F(ProfileDialogTest, NewProfileDefaultsAndAviEnablesShowMouseCursor)
{
    state.settings.Recording_Method = 0;
    state.settings.ShowMouse = 1;
    state.settings.Capture = 2;
    state.settings.ClickFormat = 3;
    state.settings.Scale = 3;
    state.settings.Refresh = 18;
    state.settings.CurrentSkin = 2;
    ProfileDialog d(nullptr, state.context, -1);
    d.show();
    EXPECT_EQ(d.windowTitle(), "New Connection");
    auto* showMouse = child<QCheckBox>(d, "1045");
    EXPECT_FALSE(showMouse->isEnabled());
    EXPECT_TRUE(child<QRadioButton>(d, "1073")->isChecked());
    EXPECT_TRUE(child<QRadioButton>(d, "1072")->isChecked());
    EXPECT_EQ(child<QComboBox>(d, "1055")->currentText(), "JPEG");
    EXPECT_EQ(child<QComboBox>(d, "1051")->currentText(), "3X");
    EXPECT_EQ(child<QComboBox>(d, "1053")->currentText(), "18 fps");
    EXPECT_EQ(child<QComboBox>(d, "1052")->currentText(), "Handheld");
    EXPECT_EQ(child<QComboBox>(d, "1050")->currentIndex(), 0);
    for (const char* id : {"1041", "1042", "1043", "1044"})
        EXPECT_FALSE(child<QCheckBox>(d, id)->isChecked()) << id;

    child<QRadioButton>(d, "1074")->click();
    EXPECT_TRUE(showMouse->isEnabled());
    EXPECT_TRUE(showMouse->isChecked()); // from ShowMouse
    // Script events: no cursor to show, so the box is off and unticked.
    child<QRadioButton>(d, "1073")->click();
    EXPECT_FALSE(showMouse->isEnabled());
    EXPECT_FALSE(showMouse->isChecked());
    child<QRadioButton>(d, "1074")->click();
    EXPECT_TRUE(showMouse->isEnabled());
    EXPECT_TRUE(showMouse->isChecked()); // back with video
    showMouse->click();
    pressOk(d);
    ASSERT_EQ(state.profiles.ConnTypes(), 1);
    EXPECT_EQ(state.profiles.get(0)->recordingMethod, 1);
    EXPECT_EQ(state.profiles.get(0)->showMouseCursor, 0);
}

TEST_F(ProfileDialogTest, EverythingIsStoredBeforeTheSave)
{
    ProfileDialog d(nullptr, state.context, -1);
    d.show();
    child<QLineEdit>(d, "1001")->setText("Proxy handheld");
    chooseByKeys(*child<QComboBox>(d, "1050"), int(LinkKind::Proxy));
    child<QLineEdit>(d, "1002")->setText("4242");
    auto* address = child<IpAddressEdit>(d, "1120");
    QTest::keyClicks(address->field(0), "127");
    QTest::keyClicks(address->field(1), "0");
    QTest::keyClicks(address->field(2), "0");
    QTest::keyClicks(address->field(3), "999");
    EXPECT_EQ(address->address() & 0xFF, 255u); // a field above 255 counts as 255
    address->field(3)->clear();
    QTest::keyClicks(address->field(3), "9");
    child<QComboBox>(d, "1053")->setCurrentIndex(11);
    child<QComboBox>(d, "1052")->setCurrentIndex(1);
    child<QComboBox>(d, "1051")->setCurrentIndex(3);
    child<QRadioButton>(d, "1071")->click();
    child<QComboBox>(d, "1055")->setCurrentIndex(2);
    child<QRadioButton>(d, "1074")->click();
    for (const char* id : {"1041", "1042", "1043", "1044", "1045"})
        child<QCheckBox>(d, id)->setChecked(true);
    // The chosen colour shows; a cancelled choice keeps it; custom colours last the run.
    state.colors.answers = {0x00102030u, std::nullopt};
    auto* swatch = child<ColorSwatch>(d, "1030");
    child<QPushButton>(d, "1031")->click();
    EXPECT_EQ(swatch->grab().toImage().pixelColor(swatch->width() / 2, swatch->height() / 2),
              QColor(0x30, 0x20, 0x10));
    child<QPushButton>(d, "1031")->click();
    EXPECT_EQ(state.colors.initials, (std::vector<uint32_t>{0u, 0x00102030u}));
    EXPECT_EQ(state.customColors[0], 0x00102030u);
    pressOk(d);
    ASSERT_FALSE(d.isVisible());
    ASSERT_EQ(state.savedProfiles.ConnTypes(), 1);
    const Profile& r = *state.savedProfiles.get(0);
    EXPECT_EQ(r.nameView(), "Proxy handheld");
    EXPECT_EQ(r.linkKind, 6u);
    EXPECT_EQ(r.port, 4242u);
    EXPECT_EQ(r.ipAddress, 0x7F000009u);
    EXPECT_EQ(r.refreshRate, 12);
    EXPECT_EQ(r.skinIndex, 1);
    EXPECT_EQ(r.scale, 4);
    EXPECT_EQ(r.captureMode, 1);
    EXPECT_EQ(r.clickFormat, 2);
    EXPECT_EQ(r.recordingMethod, 1);
    EXPECT_EQ(r.autoConnect, 1);
    EXPECT_EQ(r.lowColor, 1);
    EXPECT_EQ(r.queueEvents, 1);
    EXPECT_EQ(r.openMaximized, 1);
    EXPECT_EQ(r.showMouseCursor, 1);
    EXPECT_EQ(r.backgroundColor, 0x00102030u);
}

TEST_F(ProfileDialogTest, EntryPointRefusesAFullTableAndCancelChangesNothing)
{
    for (int i = 0; i < ProfileTable::kSlots; ++i)
        ASSERT_TRUE(state.profiles.AddProfile(comProfile(1)));
    EXPECT_EQ(RunProfileDialog(nullptr, ProfileDialogMode::New, -1, state.context), std::nullopt);
    EXPECT_EQ(state.beep.count, 1);
    EXPECT_EQ(RunProfileDialog(nullptr, ProfileDialogMode::Edit, 33, state.context), std::nullopt);
    EXPECT_EQ(state.beep.count, 2);

    auto answer = [](const char* name, const char* button) {
        QTimer::singleShot(0, [name, button] {
            auto* d = QApplication::activeModalWidget();
            ASSERT_NE(d, nullptr);
            d->findChild<QLineEdit*>("1001")->setText(name);
            d->findChild<QPushButton*>(button)->click();
        });
    };
    const ProfileTable before = state.profiles;
    answer("changed", "2"); // Cancel
    EXPECT_EQ(RunProfileDialog(nullptr, ProfileDialogMode::Edit, 5, state.context), std::nullopt);
    EXPECT_EQ(state.profiles, before);

    answer("renamed", "1"); // OK
    EXPECT_EQ(RunProfileDialog(nullptr, ProfileDialogMode::Edit, 5, state.context), 5);
    EXPECT_EQ(state.profiles.get(5)->nameView(), "renamed");
    EXPECT_EQ(state.refreshed, std::vector<int>{5});
}

TEST_F(ProfileDialogTest, ThroughSshForWanAndProxyOnly)
{
    {
        ProfileDialog fresh(nullptr, state.context, -1); // IrDA
        EXPECT_FALSE(child<QGroupBox>(fresh, "sshGroup")->isEnabled());
        EXPECT_FALSE(child<QGroupBox>(fresh, "sshGroup")->isChecked());
    }
    Profile wan = comProfile(0);
    wan.linkKind = uint32_t(LinkKind::Wan);
    ASSERT_TRUE(state.profiles.AddProfile(wan));
    ASSERT_TRUE(state.profiles.setSshGateway(0, SshGateway{"ann", "gate", 22, "/keys/old"}));
    ScriptedFileDialogs files;
    state.context.files = &files;

    ProfileDialog d(nullptr, state.context, 0);
    d.show();
    d.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&d));
    auto* group = child<QGroupBox>(d, "sshGroup");
    auto* gateway = child<QLineEdit>(d, "sshGateway");
    auto* kind = child<QComboBox>(d, "1050");
    EXPECT_TRUE(group->isEnabled() && group->isChecked());
    EXPECT_EQ(gateway->text(), "ann@gate");
    EXPECT_EQ(child<QLineEdit>(d, "sshKeyFile")->text(), "/keys/old");
    chooseByKeys(*kind, int(LinkKind::Lan));
    EXPECT_FALSE(group->isEnabled());
    chooseByKeys(*kind, int(LinkKind::Proxy));
    EXPECT_TRUE(group->isEnabled());

    files.answers.push_back("/home/ann/.ssh/id_gate");
    child<QPushButton>(d, "sshBrowse")->click();
    ASSERT_EQ(files.requests.size(), 1u);
    EXPECT_EQ(files.requests[0].initialDirectory, "/keys");
    EXPECT_EQ(child<QLineEdit>(d, "sshKeyFile")->text(), "/home/ann/.ssh/id_gate");

    gateway->setText("gate:2222");
    pressOk(d);
    EXPECT_TRUE(d.isVisible());
    ASSERT_EQ(state.messages.shown.size(), 1u);
    EXPECT_EQ(state.messages.shown[0].text, "Give the SSH gateway as user@host or user@host:port");
    EXPECT_EQ(QApplication::focusWidget(), gateway);
    EXPECT_EQ(state.saves, 0);
    gateway->setText(" bob@[::1]:2222 ");
    pressOk(d);
    EXPECT_FALSE(d.isVisible());
    const SshGateway stored{"bob", "::1", 2222, "/home/ann/.ssh/id_gate"};
    EXPECT_EQ(state.profiles.sshGateway(0), stored);
    EXPECT_EQ(state.savedProfiles.sshGateway(0), stored); // set before the save

    // The group off, or a kind without gateways, clears it.
    for (LinkKind k : {LinkKind::Proxy, LinkKind::Serial}) {
        ASSERT_TRUE(state.profiles.setSshGateway(0, stored));
        ProfileDialog again(nullptr, state.context, 0);
        again.show();
        chooseByKeys(*child<QComboBox>(again, "1050"), int(k)); // COM: port 1
        if (k == LinkKind::Proxy)
            child<QGroupBox>(again, "sshGroup")->setChecked(false);
        pressOk(again);
        EXPECT_FALSE(again.isVisible());
        EXPECT_EQ(state.profiles.sshGateway(0), std::nullopt);
    }
}
