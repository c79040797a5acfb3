#pragma once
// The main window ("KWXCONNECTIONS"): the Connections list (the saved profiles)
// and the Scripts list (the scenarios) side by side, their buttons, the menus,
// the "CONTEXT3" popup of the Connections list, and the accelerator keys, which
// reach this window whichever of the program's windows has the focus.
//
// Every command arrives at runCommand(id), whatever its source. A command whose
// service is not there (ShellServices) is disabled everywhere and does nothing.
// The accelerator keys come from the command table (view/CommandTable.h): this
// window acts on its own (Help Index, Default Settings, Play/Pause, Disconnect); the
// device window's (capture, toggle skin, recording, low colour, paste) are handed to
// the device window that is the active window, if any.
//
// Thread: user-interface thread. The profile table, the UI ports, the connection
// windows and the services are borrowed and must outlive the window.

#include <map>
#include <vector>

#include <QMainWindow>
#include <QPointer>

#include "app/ShellServices.h"
#include "platform/UiPorts.h"

class QAction;
class QLabel;
class QMenu;
class QPushButton;
class QTreeWidget;

namespace sorvane {

class ConnectionWindows;
class HelpWindow;

class MainWindow final : public QMainWindow {
    Q_OBJECT
public:
    MainWindow(ProfileTableAccess& profiles, UiPorts ports, ConnectionWindows& connections,
               ShellServices services, QString helpIndex, QWidget* parent = nullptr);
    ~MainWindow() override;

    // Hands in the services of the subsystems (they may arrive after the window is
    // made); the commands they serve come alive.
    void setServices(ShellServices services);

    // Carries out command `id` as the menus, buttons and keys do.
    void runCommand(int id);
    bool isCommandEnabled(int id) const;

    // Rebuilds the Connections list from the profile table and selects item
    // `select` (-1: none).
    void refreshConnectionList(int select);
    // Rebuilds the Scripts list from the scenario table and selects item `select`.
    void refreshScenarioList(int select);

    // Rows of the Connections list that are selected, in list order.
    std::vector<int> selectedProfiles() const;

    // Restores, raises and activates the window (a second start asked for it).
    void bringForward();

    QTreeWidget* connectionsList() const { return connections_; }
    QTreeWidget* scriptsList() const { return scripts_; }
    // The menu bar's Connection menu (the shell adds its program-wide settings to it).
    QMenu* connectionMenu() const { return connectionMenu_; }
    QMenu* contextMenu() const { return context_; }
    HelpWindow* helpWindow() const;

    // Shows the CONTEXT3 popup for a right click at `globalPos`, centred
    // horizontally on it.
    void showContextMenu(const QPoint& globalPos);

signals:
    // The window was closed: the program's event loop ends with code 0.
    void closed();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildLists(QWidget* central);
    void buildButtons(QWidget* central);
    void buildMenus();
    void buildAccelerators();
    QAction* commandAction(const QString& text, int id, QObject* owner);
    QPushButton* commandButton(const QString& text, int id, int x, int width, QWidget* parent);
    void applyEnabledStates();
    void refreshConnectionStatus();

    void deleteConnection();
    void newConnection();
    void editConnection();
    void cloneConnection();
    void connectSelected();
    void disconnectSelected();
    void scenarioCommand(int id);
    void showHelpIndex();
    void focusConnections();
    int firstSelectedScenario() const;

    ProfileTableAccess& profiles_;
    UiPorts ports_;
    ConnectionWindows& windows_;
    ShellServices services_;
    QString helpIndex_;
    QPointer<HelpWindow> help_;

    QTreeWidget* connections_ = nullptr;
    QLabel* connectionsHint_ = nullptr; // over the empty Connections list
    QTreeWidget* scripts_ = nullptr;
    QMenu* context_ = nullptr;
    QMenu* connectionMenu_ = nullptr;
    std::multimap<int, QAction*> actions_;
    std::multimap<int, QPushButton*> buttons_;
};

} // namespace sorvane
