#pragma once
// What the three list dialogs of the connect flows share ("USBCONNECT",
// "LANCONNECT", "PROXYCONNECT"): a report list with full-row selection (object name
// "1020"), a status line ("status") with a progress bar ("progress") for the waits,
// and the buttons Connect ("1") and Cancel ("2"). A double click or Enter in the list
// acts like Connect. Blocking steps run in a BackgroundTask, so the dialog stays
// responsive and Cancel ends a wait at once. Every dialog ends with result 0.
//
// Thread: user-interface thread; the dialogs are modal.

#include <QDialog>
#include <QStringList>

#include "connect/ConnectContext.h"
#include "connect/ui/BackgroundTask.h"

class QLabel;
class QProgressBar;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace sorvane {

class DeviceListDialog : public QDialog {
    Q_OBJECT
public:
    DeviceListDialog(QWidget* parent, ConnectContext& ctx, int profileIndex, const char* objectName,
                     const QString& title);
    ~DeviceListDialog() override;

    // Cancel, Escape and the close box: the wait in hand is cancelled, the dialog ends.
    void reject() override;

    QTreeWidget& list() { return *list_; }

protected:
    // Connect (the button, a double click, Enter in the list).
    virtual void connectChosen() = 0;
    // Called once, when the dialog is first shown: the flow's opening steps.
    virtual void opened() {}

    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

    void setColumns(const QStringList& names, const QList<int>& widths);
    QTreeWidgetItem* addRow(const QStringList& texts, int tag);
    // The rows Connect works on, in list order: the selected ones.
    QList<QTreeWidgetItem*> selectedRows() const;
    static int tagOf(const QTreeWidgetItem* row);

    void setStatus(const QString& text);
    // Shows the progress bar at value of maximum (maximum 0: a busy indicator); hide with -1.
    void setProgress(int value, int maximum);
    // While busy, Connect is disabled (one attempt at a time).
    void setBusy(bool busy);
    // Message box through the context's UI port.
    void message(const char* text, const char* caption, MessageIcon icon);
    // Ends the dialog with 0 (EndDialog).
    void finish();

    const Profile* profile() const { return ctx_.profiles.get(profileIndex_); }
    // Rewrites the profile in the table (the flows remember ports and addresses).
    void updateProfile(const Profile& p) { ctx_.profiles.EditProfile(profileIndex_, p); }

    ConnectContext& ctx_;
    const int profileIndex_;
    BackgroundTask task_{this};

private:
    QTreeWidget* list_ = nullptr;
    QLabel* status_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QPushButton* connect_ = nullptr;
    QPushButton* cancel_ = nullptr;
    bool opened_ = false;
    bool finished_ = false;
    bool showing_ = false; // inside showEvent's call of opened()
};

// True when a connect dialog may open for the profile: it exists and a link slot is
// free. Otherwise the refusal is a beep.
bool mayOpenConnectDialog(ConnectContext& ctx, int profileIndex);

} // namespace sorvane
