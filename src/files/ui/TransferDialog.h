#pragma once
// The "File Xfer Status" dialog of one transfer: its title ("Sending Files" or
// "Receiving Files", 1018), the current file's name (1001), "%d of %d Files" (1014),
// "%d of %d Bytes" (1015), a bar for the file (1003) and one for the whole transfer
// (1004), "%d of %d Total Bytes" (1016), "%d Bps, %02d:%02d remaining" (1017) and
// Cancel. The numbers are read from the shared TransferState every 2000 ms; the file
// name as each file begins. Cancel sets the state's cancel flag and ends the dialog;
// the transfer stops before its next block. finishTransfer() ends it when the
// transfer is over.
//
// Thread: user-interface thread.

#include <chrono>
#include <memory>

#include <QDialog>

#include "files/ExplorerModel.h"

class QLabel;
class QLineEdit;
class QProgressBar;
class QTimer;

namespace sorvane {

class TransferDialog final : public QDialog {
    Q_OBJECT
public:
    static constexpr int kRefreshMs = 2000;

    TransferDialog(QWidget* parent, bool sending, std::shared_ptr<TransferState> state);

    // The transfer is over: closes the dialog (nothing happens once it has ended).
    void finishTransfer();
    // Shows a file's name (1001); safe to call from the user-interface thread only.
    void showFileName(const QString& name);
    void refresh();

protected:
    void reject() override; // Cancel, Escape, the close box

private:
    std::shared_ptr<TransferState> state_;
    std::chrono::steady_clock::time_point start_;
    QLineEdit* file_ = nullptr;
    QLabel* files_ = nullptr;
    QLabel* bytes_ = nullptr;
    QLabel* total_ = nullptr;
    QLabel* rate_ = nullptr;
    QProgressBar* fileBar_ = nullptr;
    QProgressBar* totalBar_ = nullptr;
    QTimer* timer_ = nullptr;
};

} // namespace sorvane
