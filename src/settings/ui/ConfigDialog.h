#pragma once
// The "CONFIG" dialog in its two uses.
//
// Default Settings (main window command 40008) edits the program-wide Settings:
//
//   bool RunDefaultSettingsDialog(QWidget* parent, SettingsDialogContext& context);
//
// On OK, when the inbound port changed, the listener is moved first
// (context.moveInboundPort); when that fails the message "Unable to create inbound
// socket; port may be in use" (caption "Error") is shown, the focus goes to the port
// box, the dialog stays open and nothing is stored, the old port staying in force.
// Otherwise every value is stored, InboundPort becomes the new port, ScriptDir the
// script directory box, and context.saveSettings() runs. "Browse" opens the Select
// Directory dialog on the script directory box's text. Returns true when stored.
//
// Configure (device window command 40008) edits the live settings of one
// connection, never its profile:
//
//   bool RunConnectionConfigDialog(QWidget* parent, ConnectionSettingsPort& connection,
//                                  const std::vector<std::string>& skinNames);
//
// On OK it stores capture mode, recording method, one-click format, scale, refresh
// rate, queue events, show cursor and the skin choice through the port, and posts to
// the device window: 40069 (fit the window to the picture) when the scale changed;
// 40012 (toggle low colour) when "16-color mode" differs from the connection's low
// colour mode; 40007 (toggle skin) once when "Show Skin" differs from whether a skin
// is shown, or twice when a skin is shown and another one is chosen. The inbound,
// port, script directory and Browse controls are shown disabled. Returns true on OK.
//
// Controls carry their ids as object names: refresh 1051, scale 1052, skin list
// 1054, one-click format 1055, "Show Skin" 1040, "16-color mode" 1041, "Queue
// events" 1042, "Show Cursor" 1043, "Accept inbound" 1044, port box 1002, script
// directory 1001, "Browse" 1030, radio buttons 1070-1074, OK "1", Cancel "2".
//
// Thread: user-interface thread; the dialog is modal.

#include <string>
#include <vector>

#include <QDialog>

#include "settings/ui/DialogLists.h"
#include "settings/ui/SettingsDialogContext.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;

namespace sorvane {

class ConfigDialog final : public QDialog {
    Q_OBJECT
public:
    // Default Settings.
    ConfigDialog(QWidget* parent, SettingsDialogContext& context);
    // Configure of one connection.
    ConfigDialog(QWidget* parent, ConnectionSettingsPort& connection, const std::vector<std::string>& skinNames);

    void accept() override;

private:
    void build(const std::vector<std::string>& skinNames);
    void loadDefaults();
    void loadConnection();
    bool acceptDefaults();
    void acceptConnection();
    void browse();
    bool skinsAvailable() const;

    SettingsDialogContext* context_ = nullptr;
    ConnectionSettingsPort* connection_ = nullptr;
    ConnectionViewSettings opened_; // the connection's settings when the dialog opened

    QComboBox* refresh_ = nullptr;
    QComboBox* scale_ = nullptr;
    QCheckBox* showSkin_ = nullptr;
    QComboBox* skin_ = nullptr;
    QCheckBox* lowColor_ = nullptr;
    QCheckBox* queueEvents_ = nullptr;
    QCheckBox* acceptInbound_ = nullptr;
    QLineEdit* port_ = nullptr;
    RadioGroup capture_;
    QComboBox* clickFormat_ = nullptr;
    RadioGroup recording_;
    QCheckBox* showCursor_ = nullptr;
    QLineEdit* scriptDir_ = nullptr;
    QPushButton* browse_ = nullptr;
};

bool RunDefaultSettingsDialog(QWidget* parent, SettingsDialogContext& context);
bool RunConnectionConfigDialog(QWidget* parent, ConnectionSettingsPort& connection,
                               const std::vector<std::string>& skinNames);

} // namespace sorvane
