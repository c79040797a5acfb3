#pragma once
// The fleet commands (FleetService) over the program's devices, given by slot: a
// scenario played on each at once (ShellScenarios::play, one run and one results log
// per device), a still capture of each into one folder, the same PC files sent to each
// with the progress of every device in one dialog, and a soft reset of each after one
// confirmation. Every file made from a device is named by its label (FleetLabels), one
// component inside the chosen folder. A device that is gone, reconnecting or fails is
// listed once at the end; the others are unharmed. Nothing here waits for a device:
// captures copy the shown picture, transfers run as jobs on each device's own
// connection thread, a reset is a message handed to each device's sender.
//
// Thread: user-interface thread.

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <QDialog>
#include <QPointer>

#include "app/FleetService.h"
#include "files/FileTransfer.h"
#include "platform/UiPorts.h"
#include "view/Job.h"

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTimer;
class QTreeWidget;

namespace sorvane {

class Program;
class ShellScenarios;
class TransferState;

// The file-name labels of the slots `picked`, in order: UniqueDeviceLabels over every live device
// (so a device's label does not depend on which others are chosen with it). A slot
// without a device gets a label too ("unnamed", made distinct).
std::vector<std::string> FleetLabels(Program& program, const std::vector<int>& picked);

// "Send Files to Devices": the PC files (Add Files..., Remove) and the device folder,
// then Send posts one transfer job to each device and shows, per device, a bar and what
// became of it; Cancel (or closing) cancels every transfer that is still going; the
// failures are listed under the list once all have ended.
class FleetSendDialog final : public QDialog {
    Q_OBJECT
public:
    struct Target {
        int slot = -1;
        uint64_t serial = 0; // the device chosen, not a later one in its slot
        std::string label;
    };
    FleetSendDialog(QWidget* parent, Program& program, std::vector<Target> targets, MessageBoxPort& messages,
                    FileDialogPort& files, std::string deviceFolder);
    ~FleetSendDialog() override;

    // Every transfer has ended (or none could start).
    bool finished() const { return started_ && running_ == 0; }
    // The device folder typed (kept for the next dialog).
    std::string deviceFolder() const;
    // Starts sending: false (with the reason shown) when the files or the folder cannot be.
    bool send();

protected:
    void reject() override; // Cancel, Escape, the close box

private:
    struct Row;
    void addFiles();
    void refresh();
    void ended(size_t row, JobResult<TransferReport> result);
    void showSummary();

    Program& program_;
    MessageBoxPort& messages_;
    FileDialogPort& files_;
    std::vector<Row> rows_;
    std::vector<std::string> paths_;
    QListWidget* fileList_ = nullptr;
    QLineEdit* folder_ = nullptr;
    QTreeWidget* devices_ = nullptr;
    QLabel* summary_ = nullptr;
    QPushButton* add_ = nullptr;
    QPushButton* remove_ = nullptr;
    QPushButton* send_ = nullptr;
    QPushButton* close_ = nullptr;
    QTimer* timer_ = nullptr;
    bool started_ = false;
    int running_ = 0;
};

class ShellFleet final : public FleetService {
public:
    struct Context {
        Program& program;
        MessageBoxPort& messages;
        FileDialogPort& files;
        ShellScenarios& scenarios;
        std::filesystem::path captureDir; // the folder Capture All first proposes
    };
    explicit ShellFleet(Context context);
    ~ShellFleet() override;

    void runScenario(QWidget* parent, const std::vector<int>& picked) override;
    void captureAll(QWidget* parent, const std::vector<int>& picked) override;
    void sendFiles(QWidget* parent, const std::vector<int>& picked) override;
    void softResetAll(QWidget* parent, const std::vector<int>& picked) override;

    // The send dialog open now, or nullptr.
    FleetSendDialog* sendDialog() const { return send_.data(); }

private:
    Context c_;
    std::string captureDir_;
    std::string deviceFolder_ = "\\My Documents";
    QPointer<FleetSendDialog> send_;
};

} // namespace sorvane
