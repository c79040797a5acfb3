#include "files/ui/TransferDialog.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "platform/ui/CenterDialog.h"

namespace sorvane {

TransferDialog::TransferDialog(QWidget* parent, bool sending, std::shared_ptr<TransferState> state)
    : QDialog(parent), state_(std::move(state)), start_(std::chrono::steady_clock::now())
{
    setObjectName(QStringLiteral("File Xfer Status"));
    setWindowTitle(QStringLiteral("File Xfer Status"));

    auto* title = new QLabel(sending ? QStringLiteral("Sending Files") : QStringLiteral("Receiving Files"), this);
    title->setObjectName(QStringLiteral("1018"));
    QFont bold = title->font();
    bold.setBold(true);
    title->setFont(bold);
    file_ = new QLineEdit(this);
    file_->setObjectName(QStringLiteral("1001"));
    file_->setReadOnly(true);
    auto label = [this](const char* id) {
        auto* l = new QLabel(this);
        l->setObjectName(QString::fromLatin1(id));
        return l;
    };
    files_ = label("1014");
    bytes_ = label("1015");
    total_ = label("1016");
    rate_ = label("1017");
    fileBar_ = new QProgressBar(this);
    fileBar_->setObjectName(QStringLiteral("1003"));
    totalBar_ = new QProgressBar(this);
    totalBar_->setObjectName(QStringLiteral("1004"));
    for (QProgressBar* b : {fileBar_, totalBar_}) {
        b->setRange(0, 100);
        b->setTextVisible(false);
    }
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    cancel->setObjectName(QStringLiteral("2"));
    connect(cancel, &QPushButton::clicked, this, &TransferDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(title);
    layout->addWidget(file_);
    auto* row = new QHBoxLayout;
    row->addWidget(files_);
    row->addStretch(1);
    row->addWidget(bytes_);
    layout->addLayout(row);
    layout->addWidget(fileBar_);
    layout->addWidget(totalBar_);
    layout->addWidget(total_);
    layout->addWidget(rate_);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(cancel);
    layout->addLayout(buttons);
    showFileName(QString::fromStdString(state_->fileName()));
    refresh();
    resize(340, sizeHint().height());

    timer_ = new QTimer(this);
    connect(timer_, &QTimer::timeout, this, &TransferDialog::refresh);
    timer_->start(kRefreshMs);
    CenterDialog(*this);
    // A transfer cancelled before the dialog opened ends it at once.
    if (state_->isCancelled())
        QMetaObject::invokeMethod(this, &TransferDialog::close, Qt::QueuedConnection);
}

void TransferDialog::showFileName(const QString& name) { file_->setText(name); }

void TransferDialog::refresh()
{
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start_);
    const TransferState::Snapshot s = state_->snapshot();
    const TransferTexts t = DescribeTransfer(s, uint64_t(ms.count()));
    files_->setText(QString::fromStdString(t.files));
    bytes_->setText(QString::fromStdString(t.bytes));
    fileBar_->setValue(t.fileBar);
    totalBar_->setValue(t.totalBar);
    total_->setText(QString::fromStdString(t.total));
    rate_->setText(QString::fromStdString(t.rate));
}

void TransferDialog::finishTransfer()
{
    timer_->stop();
    done(QDialog::Accepted);
}

void TransferDialog::reject()
{
    state_->cancel();
    timer_->stop();
    QDialog::reject();
}

} // namespace sorvane
