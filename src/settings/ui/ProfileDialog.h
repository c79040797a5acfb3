#pragma once
// The New/Edit Connection dialog ("NEWCONNECTION"): edits one saved connection.
//
// Entry point for the main window (commands 40041 New and 40080 Edit):
//
//   std::optional<int> RunProfileDialog(QWidget* parent, ProfileDialogMode mode, int profileIndex,
//                                       SettingsDialogContext& context);
//
// New: profileIndex is ignored; with 33 profiles already there it beeps and returns
// nullopt without showing the dialog. Edit: profileIndex must be in use (else a beep
// and nullopt). On OK the profile is appended (New) or rewritten in place (Edit),
// context.refreshConnectionList(index) is called, then context.saveSettings(); the
// index of the stored profile is returned. Cancel returns nullopt and changes nothing.
//
// Controls carry their ids as object names: name 1001, port 1002, link kind 1050,
// scale 1051, skin 1052, refresh 1053, one-click format 1055, address 1120, colour
// swatch 1030, "Change" 1031, check boxes 1041-1045, radio buttons 1070-1074, OK "1",
// Cancel "2".
//
// "Through SSH" (group "sshGroup", checkable, off unless the profile has a gateway):
// the gateway as user@host[:port] ("sshGateway"), the key file to offer ("sshKeyFile")
// and "Browse..." ("sshBrowse", a file dialog in ~/.ssh). Enabled for WAN and proxy
// profiles only. OK with the group on refuses a gateway that does not read (its reason,
// the focus in the field); the profile keeps the gateway, or loses it with the group
// off or another link kind (ProfileTable::sshGateway).
//
// Thread: user-interface thread; the dialog is modal.

#include <optional>

#include <QDialog>

#include "settings/ui/DialogLists.h"
#include "settings/ui/SettingsDialogContext.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLineEdit;
class QPushButton;

namespace sorvane {

class ColorSwatch;
class IpAddressEdit;

enum class ProfileDialogMode { New, Edit };

class ProfileDialog final : public QDialog {
    Q_OBJECT
public:
    // profileIndex: the profile to edit, or -1 for a new one (it must be in use when not -1).
    ProfileDialog(QWidget* parent, SettingsDialogContext& context, int profileIndex);

    // The OK sequence: validate, store, refresh the list, save, close.
    void accept() override;

    // The slot of the stored profile once the dialog was accepted, else -1.
    int storedIndex() const { return storedIndex_; }

private:
    void build();
    void loadNew();
    void loadExisting(const Profile& p);
    void linkKindChosen(int kind);
    void enableForLinkKind(int kind);
    void changeColor();
    void refuse(const std::string& text, QWidget* focus);
    void browseKeyFile();
    // The gateway the fields give a profile of link kind `kind`; false (the user told
    // why) when they give none that can be stored. Unset with the group off, or for a
    // kind that does not go through gateways.
    bool sshGatewayFromFields(int kind, std::optional<SshGateway>& out);

    SettingsDialogContext& context_;
    const int profileIndex_;
    int storedIndex_ = -1;
    int linkKind_ = 0;

    QLineEdit* name_ = nullptr;
    QComboBox* linkKindBox_ = nullptr;
    IpAddressEdit* address_ = nullptr;
    QLineEdit* port_ = nullptr;
    QComboBox* refresh_ = nullptr;
    QComboBox* skin_ = nullptr;
    QComboBox* scale_ = nullptr;
    QComboBox* clickFormat_ = nullptr;
    RadioGroup capture_;
    RadioGroup recording_;
    QCheckBox* showMouse_ = nullptr;
    bool showMouseWanted_ = false; // the tick "Show Mouse Cursor" gets back with video
    ColorSwatch* swatch_ = nullptr;
    QPushButton* change_ = nullptr;
    QCheckBox* openMaximized_ = nullptr;
    QCheckBox* autoConnect_ = nullptr;
    QCheckBox* lowColor_ = nullptr;
    QCheckBox* queueEvents_ = nullptr;
    QGroupBox* ssh_ = nullptr;
    QLineEdit* sshGateway_ = nullptr;
    QLineEdit* sshKeyFile_ = nullptr;
    QPushButton* sshBrowse_ = nullptr;
};

std::optional<int> RunProfileDialog(QWidget* parent, ProfileDialogMode mode, int profileIndex,
                                    SettingsDialogContext& context);

} // namespace sorvane
