#pragma once
// The New/Edit Scenario dialog ("NEWSCRIPT"): the name, the results log, the loop
// count and delay of the whole batch, the list of script files with the loop count and
// delay of each, and three check boxes.
//
// It works directly on the record it is given: Add, Remove, Up and Down change the
// record's file list at once, and so does moving the selection from one file to
// another (the file boxes go into the entry left). OK checks what was typed, stores the
// boxes into the record and accepts; Cancel leaves the text and check boxes unstored
// but does not undo the file list. The caller counts a new record into the table, saves
// and refreshes the list after OK.
//
// Script files are played from the script folder by their name alone, so a file added
// here must lie in that folder.
//
// Thread: user-interface thread. The record and the ports outlive the dialog.

#include <string>
#include <vector>

#include <QDialog>

#include "platform/UiPorts.h"
#include "scripts/Scenario.h"

class QCheckBox;
class QLineEdit;
class QListWidget;

namespace sorvane {

class ScenarioDialog final : public QDialog {
    Q_OBJECT
public:
    struct Ports {
        MessageBoxPort& messages;
        BeepPort& beep;
        FileDialogPort& files;
    };
    // otherNames: the names of the table's other scenarios (a name must not be taken).
    ScenarioDialog(Scenario& record, bool isNew, std::string scriptDir, std::vector<std::string> otherNames,
                   Ports ports, QWidget* parent = nullptr);

    void accept() override;

    // The buttons of the file list.
    void addFile();
    void removeFile();
    void moveFile(int by); // -1 Up, +1 Down
    void browseLog();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void fileSelected(int row);
    void storeFileBoxes();
    void selectRow(int row);
    bool refuse(const std::string& text);

    Scenario& record_;
    std::string scriptDir_;
    std::vector<std::string> otherNames_;
    Ports ports_;
    int shown_ = -1; // the entry the file boxes belong to
    QLineEdit* name_ = nullptr;
    QCheckBox* logResults_ = nullptr;
    QLineEdit* logFile_ = nullptr;
    QLineEdit* loopCount_ = nullptr;
    QLineEdit* loopDelay_ = nullptr;
    QListWidget* files_ = nullptr;
    QLineEdit* scriptLoopCount_ = nullptr;
    QLineEdit* scriptLoopDelay_ = nullptr;
    QCheckBox* suspend_ = nullptr;
    QCheckBox* reset_ = nullptr;
    QCheckBox* noVideo_ = nullptr;
};

} // namespace sorvane
