// The main window: its lists, buttons, menus, popup, keys and the profile
// commands, driven as a user would through the widgets.

#include <thread>

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

#include "AppTests.h"
#include "support/ScriptedUiPorts.h"
#include "view/CommandIds.h"
#include "app/ConnectionWindows.h"
#include "app/MainWindow.h"
#include "app/Shell.h"
#include "app/ShellServices.h"

namespace sorvane::test {

namespace {

Profile makeProfile(const char* name, LinkKind kind, uint32_t port)
{
    Profile p;
    p.setName(name);
    p.linkKind = uint32_t(kind);
    p.port = port;
    p.scale = 1;
    p.refreshRate = 10;
    p.reserved[3] = 0x5A; // carried along by clones
    return p;
}

class RecordingDialogs final : public ProfileDialogService {
public:
    explicit RecordingDialogs(ProfileTable& table) : table_(table) {}
    std::optional<int> newConnection() override
    {
        ++newCalls;
        if (!table_.AddProfile(makeProfile("New Connection", LinkKind::Wan, 0)))
            return std::nullopt;
        return table_.ConnTypes() - 1;
    }
    std::optional<int> editConnection(int index) override
    {
        edited.push_back(index);
        return index;
    }
    void defaultSettings() override { ++defaultCalls; }
    int newCalls = 0;
    int defaultCalls = 0;
    std::vector<int> edited;

private:
    ProfileTable& table_;
};

class RecordingConnect final : public ConnectService {
public:
    void connectProfile(int index) override { connected.push_back(index); }
    std::vector<int> connected;
};

class FixedScenarios final : public ScenarioService {
public:
    std::vector<ScenarioRow> scenarios() const override { return rows; }
    void command(int id, int selected) override { commands.emplace_back(id, selected); }
    std::vector<ScenarioRow> rows;
    std::vector<std::pair<int, int>> commands;
};

// A stand-in device window that records the commands handed to it.
class FakeDeviceWindow final : public QWidget, public CommandTarget {
public:
    FakeDeviceWindow() { setAttribute(Qt::WA_DeleteOnClose); }
    void command(int id) override
    {
        commands.push_back(id);
        if (id == cmd::DisconnectDevice) // as the device window ends its device
            close();
    }
    std::vector<int> commands;
};

QStringList rowTexts(const QTreeWidget* list, int row)
{
    QStringList texts;
    for (int c = 0; c < list->columnCount(); ++c)
        texts << list->topLevelItem(row)->text(c);
    return texts;
}

QMenu* menuTitled(QMainWindow& w, const QString& title)
{
    for (QAction* a : w.menuBar()->actions()) {
        if (a->text() == title)
            return a->menu();
    }
    return nullptr;
}

void selectRows(QTreeWidget* list, std::initializer_list<int> rows)
{
    list->clearSelection();
    for (int r : rows)
        list->topLevelItem(r)->setSelected(true);
}

// The program's own profile table behind the main window; saving is the start-up
// tests' to check against the settings file.
struct Fixture {
    ProfileTable rows;
    SettingsProfiles table{rows, [] {}};
    ScriptedUiPorts ui;
    ConnectionWindows windows;
    RecordingDialogs dialogs{rows};
    RecordingConnect connector;
    FixedScenarios scenarios;
    std::unique_ptr<MainWindow> window;

    void open(bool withServices)
    {
        ShellServices services;
        if (withServices) {
            services.profileDialogs = &dialogs;
            services.connect = &connector;
            services.scenarios = &scenarios;
        }
        window = std::make_unique<MainWindow>(table, ui.ports(), windows, services, QString());
    }
};

} // namespace

class MainWindowTest : public QObject {
    Q_OBJECT
private slots:
    void profileCommandsAndTheirRefusals();
    void waitingCommandsAreDisabledEverywhere();
    void disconnectAndWindowMenuActOnDeviceWindows();
    void keysReachMainWindowOrActiveDeviceWindowAndAnEmptyListSaysWhatToDo();
};

void MainWindowTest::profileCommandsAndTheirRefusals()
{
    Fixture f;
    f.rows.AddProfile(makeProfile("A", LinkKind::Serial, 2));
    f.rows.AddProfile(makeProfile("B", LinkKind::Proxy, 1900));
    f.rows.AddProfile(makeProfile("C", LinkKind::Wan, 7));
    f.open(true);
    QTreeWidget* list = f.window->connectionsList();
    QCOMPARE(list->topLevelItemCount(), 3);
    QCOMPARE(rowTexts(list, 0), QStringList({"A", "Serial (COM) Port", "2", "Idle"}));
    QCOMPARE(rowTexts(list, 1), QStringList({"B", "Proxy Server", "1900", "Idle"}));
    QCOMPARE(f.window->selectedProfiles(), std::vector<int>{0}); // start-up selects the first item
    // Clone without a selection asks for one; Edit and Delete without a selection beep.
    selectRows(list, {});
    f.window->runCommand(cmd::CloneConnection);
    QCOMPARE(f.ui.messages.shown.size(), size_t(1));
    QCOMPARE(f.ui.messages.shown[0].text, std::string("Please select a single connection to clone"));
    f.window->runCommand(cmd::DeleteConnection);
    f.window->runCommand(cmd::EditConnection);
    QCOMPARE(f.ui.beep.count, 2);
    QCOMPARE(f.table.profileCount(), 3);
    QVERIFY(f.dialogs.edited.empty());

    // Clone copies all 136 bytes, reserved ones included.
    selectRows(list, {0});
    f.window->runCommand(cmd::CloneConnection);
    QCOMPARE(f.table.profileCount(), 4);
    QVERIFY(f.table.profile(3) == f.table.profile(0));
    QCOMPARE(f.window->selectedProfiles(), std::vector<int>{3}); // the list shows the new row
    selectRows(list, {2});
    f.window->runCommand(cmd::EditConnection);
    QCOMPARE(f.dialogs.edited, std::vector<int>{2});

    // Delete removes the first selected row; "In Use" stays with its profile.
    auto* fromC = new FakeDeviceWindow;
    f.windows.add(3, 2, fromC, fromC);
    selectRows(list, {1, 3});
    QTest::mouseClick(f.window->findChild<QPushButton*>("40025"), Qt::LeftButton);
    QCOMPARE(f.table.profileCount(), 3);
    QCOMPARE(rowTexts(list, 1), QStringList({"C", "WAN / Internet", "N/A", "In Use"}));
    QCOMPARE(list->topLevelItem(2)->text(3), QStringLiteral("Idle"));
    QCOMPARE(f.window->selectedProfiles(), std::vector<int>{0});
    delete fromC;

    // Connect runs for each selected row in list order, whatever order they were selected in.
    selectRows(list, {2, 0});
    QTest::mouseClick(f.window->findChild<QPushButton*>("40026"), Qt::LeftButton);
    QCOMPARE(f.connector.connected, std::vector<int>({0, 2}));
    f.window->runCommand(cmd::SelectAll);
    QCOMPARE(f.window->selectedProfiles(), std::vector<int>({0, 1, 2}));
    f.window->runCommand(cmd::DeselectAll);
    QVERIFY(f.window->selectedProfiles().empty());

    // A full table: New and Clone beep and ask no dialog.
    while (f.rows.AddProfile(f.table.profile(0))) {
    }
    f.window->runCommand(cmd::NewConnection);
    f.window->runCommand(cmd::CloneConnection);
    QCOMPARE(f.ui.beep.count, 4);
    QCOMPARE(f.dialogs.newCalls, 0);
}

void MainWindowTest::waitingCommandsAreDisabledEverywhere()
{
    Fixture f;
    f.rows.AddProfile(makeProfile("A", LinkKind::Wan, 0));
    f.open(false);
    auto enabledOf = [&](QMenu* m, const QString& text) {
        for (QAction* a : m->actions()) {
            if (a->text() == text)
                return a->isEnabled();
        }
        qFatal("no menu item %s", qPrintable(text));
    };
    // Without the services behind them (start-up), what needs them is disabled in the
    // menus, the popup and the buttons alike; what needs none is not.
    QVERIFY(!enabledOf(menuTitled(*f.window, "&File"), "&Connect"));
    QVERIFY(!enabledOf(f.window->contextMenu(), "Connect..."));
    QVERIFY(!f.window->findChild<QPushButton*>("40026")->isEnabled());
    QVERIFY(enabledOf(f.window->contextMenu(), "Disconnect"));

    // Double click and Enter are refused the same way: nothing happens.
    QTreeWidget* list = f.window->connectionsList();
    emit list->itemActivated(list->topLevelItem(0), 0);
    QCOMPARE(f.ui.beep.count, 0);

    // Services handed in later bring the items to life.
    ShellServices later;
    later.connect = &f.connector;
    f.window->setServices(later);
    QVERIFY(enabledOf(menuTitled(*f.window, "&File"), "&Connect"));
    QVERIFY(f.window->findChild<QPushButton*>("40026")->isEnabled());
    emit list->itemActivated(list->topLevelItem(0), 0);
    QCOMPARE(f.connector.connected, std::vector<int>{0});
    QVERIFY(!enabledOf(menuTitled(*f.window, "&File"), "&Start ActiveSync"));
}

void MainWindowTest::disconnectAndWindowMenuActOnDeviceWindows()
{
    Fixture f;
    f.rows.AddProfile(makeProfile("A", LinkKind::Wan, 0));
    f.rows.AddProfile(makeProfile("B", LinkKind::Wan, 0));
    f.open(false);
    QPointer<FakeDeviceWindow> fromA1 = new FakeDeviceWindow;
    QPointer<FakeDeviceWindow> fromB = new FakeDeviceWindow;
    QPointer<FakeDeviceWindow> fromA2 = new FakeDeviceWindow;
    f.windows.add(0, 0, fromA1, fromA1);
    f.windows.add(1, 1, fromB, fromB);
    f.windows.add(7, 0, fromA2, fromA2);
    for (QWidget* w : {fromA1.data(), fromB.data(), fromA2.data()})
        w->show();

    f.window->runCommand(cmd::MinimizeAll);
    QVERIFY(fromB->isMinimized());
    f.window->runCommand(cmd::RestoreAll);
    QVERIFY(!fromB->isMinimized());

    selectRows(f.window->connectionsList(), {0});
    f.window->runCommand(cmd::Disconnect);
    QTRY_VERIFY(fromA1.isNull() && fromA2.isNull());
    QVERIFY(!fromB.isNull());
    QCOMPARE(f.window->connectionsList()->topLevelItem(0)->text(3), QStringLiteral("Idle"));
    QCOMPARE(f.window->connectionsList()->topLevelItem(1)->text(3), QStringLiteral("In Use"));

    QPointer<FakeDeviceWindow> last = new FakeDeviceWindow;
    f.windows.add(32, 1, last, last);
    f.window->runCommand(cmd::CloseAll);
    QTRY_VERIFY(last.isNull());
}

void MainWindowTest::keysReachMainWindowOrActiveDeviceWindowAndAnEmptyListSaysWhatToDo()
{
    Fixture f;
    f.rows.AddProfile(makeProfile("A", LinkKind::Wan, 0));
    f.open(true);
    f.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(f.window.get()));
    auto* device = new FakeDeviceWindow;
    f.windows.add(2, 0, device, device);
    device->show();
    QVERIFY(QTest::qWaitForWindowExposed(device));
    QApplication::setActiveWindow(device);
    QTRY_COMPARE(QApplication::activeWindow(), device);

    // F4 (capture) goes to the device window that has the focus; F6 (Default
    // Settings) to the main window; Shift+F2 to nobody.
    QTest::keyClick(device, Qt::Key_F4);
    QTest::keyClick(device, Qt::Key_F6);
    QTest::keyClick(device, Qt::Key_F2, Qt::ShiftModifier);
    QCOMPARE(device->commands, std::vector<int>{cmd::CaptureScreendump});
    QCOMPARE(f.dialogs.defaultCalls, 1);

    // F8 plays the selected scenario from whatever window; so does a double click on it.
    f.scenarios.rows = {{"Login", false, false}, {"Soak", true, false}, {"Menus", true, true},
                        {"Smoke", false, false, true, true}};
    f.window->refreshScenarioList(2);
    QCOMPARE(f.window->scriptsList()->topLevelItem(3)->text(1), QStringLiteral("Failed"));
    QTest::keyClick(device, Qt::Key_F8);
    QTreeWidget* scripts = f.window->scriptsList();
    emit scripts->itemActivated(scripts->topLevelItem(2), 0);
    QCOMPARE(f.scenarios.commands, (std::vector<std::pair<int, int>>{{cmd::PlayPause, 2}, {cmd::PlayPause, 2}}));

    // F12 disconnects the selected profile's device window.
    QPointer<FakeDeviceWindow> guard = device;
    QTest::keyClick(device, Qt::Key_F12);
    QTRY_VERIFY(guard.isNull());

    // With the main window active, F4 has nobody to go to.
    QApplication::setActiveWindow(f.window.get());
    QTRY_COMPARE(QApplication::activeWindow(), f.window.get());
    QTest::keyClick(f.window.get(), Qt::Key_F4);
    QCOMPARE(f.ui.beep.count, 0);

    // An empty connection list says what to do.
    auto* hint = f.window->connectionsList()->findChild<QLabel*>("emptyHint");
    QVERIFY(hint && !hint->isVisible());
    QTest::mouseClick(f.window->findChild<QPushButton*>("40025"), Qt::LeftButton); // Delete
    QCOMPARE(f.table.profileCount(), 0);
    QCOMPARE(hint->text(), QStringLiteral("No connections yet: choose New to add one, or run the demo"));
    QVERIFY(hint->isVisible());
    QTest::mouseClick(f.window->findChild<QPushButton*>("40041"), Qt::LeftButton); // New
    QCOMPARE(f.table.profileCount(), 1);
    QVERIFY(!hint->isVisible());
}

QObject* makeMainWindowTest() { return new MainWindowTest; }

} // namespace sorvane::test

#include "MainWindowTest.moc"
