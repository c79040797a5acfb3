#include "connect/ui/DeviceListDialog.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "platform/ui/CenterDialog.h"

namespace sorvane {

DeviceListDialog::DeviceListDialog(QWidget* parent, ConnectContext& ctx, int profileIndex, const char* objectName,
                                   const QString& title)
    : QDialog(parent), ctx_(ctx), profileIndex_(profileIndex)
{
    setObjectName(QString::fromLatin1(objectName));
    setWindowTitle(title);
    setModal(true);

    list_ = new QTreeWidget(this);
    list_->setObjectName(QStringLiteral("1020"));
    list_->setRootIsDecorated(false);
    list_->setItemsExpandable(false);
    list_->setAllColumnsShowFocus(true);
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list_->setUniformRowHeights(true);
    list_->header()->setStretchLastSection(false);
    list_->installEventFilter(this);
    connect(list_, &QTreeWidget::itemDoubleClicked, this, [this] {
        if (connect_->isEnabled())
            connectChosen();
    });

    status_ = new QLabel(this);
    status_->setObjectName(QStringLiteral("status"));
    progress_ = new QProgressBar(this);
    progress_->setObjectName(QStringLiteral("progress"));
    progress_->setTextVisible(false);
    progress_->hide();

    connect_ = new QPushButton(QStringLiteral("Connect"), this);
    connect_->setObjectName(QStringLiteral("1"));
    connect_->setDefault(true);
    cancel_ = new QPushButton(QStringLiteral("Cancel"), this);
    cancel_->setObjectName(QStringLiteral("2"));
    connect(connect_, &QPushButton::clicked, this, [this] { connectChosen(); });
    connect(cancel_, &QPushButton::clicked, this, &DeviceListDialog::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(connect_);
    buttons->addWidget(cancel_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(list_);
    layout->addWidget(status_);
    layout->addWidget(progress_);
    layout->addLayout(buttons);
    resize(360, 260);
}

DeviceListDialog::~DeviceListDialog() = default;

void DeviceListDialog::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (opened_)
        return;
    opened_ = true;
    CenterDialog(*this);
    showing_ = true;
    opened();
    showing_ = false;
}

bool DeviceListDialog::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == list_ && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            if (connect_->isEnabled())
                connectChosen();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void DeviceListDialog::reject()
{
    task_.cancel();
    finish();
}

void DeviceListDialog::finish()
{
    if (finished_)
        return;
    finished_ = true;
    task_.cancel();
    if (showing_) {
        // Finished while being shown (a bad proxy port): exec() has not entered its
        // event loop yet, and closing now would leave that loop running for ever.
        QMetaObject::invokeMethod(this, [this] { done(0); }, Qt::QueuedConnection);
        return;
    }
    done(0);
}

void DeviceListDialog::setColumns(const QStringList& names, const QList<int>& widths)
{
    list_->setColumnCount(int(names.size()));
    list_->setHeaderLabels(names);
    for (int i = 0; i < widths.size(); ++i)
        list_->setColumnWidth(i, widths[i]);
}

QTreeWidgetItem* DeviceListDialog::addRow(const QStringList& texts, int tag)
{
    auto* row = new QTreeWidgetItem(list_, texts);
    row->setData(0, Qt::UserRole, tag);
    return row;
}

QList<QTreeWidgetItem*> DeviceListDialog::selectedRows() const
{
    QList<QTreeWidgetItem*> rows;
    for (int i = 0; i < list_->topLevelItemCount(); ++i)
        if (list_->topLevelItem(i)->isSelected())
            rows.push_back(list_->topLevelItem(i));
    return rows;
}

int DeviceListDialog::tagOf(const QTreeWidgetItem* row) { return row->data(0, Qt::UserRole).toInt(); }

void DeviceListDialog::setStatus(const QString& text) { status_->setText(text); }

void DeviceListDialog::setProgress(int value, int maximum)
{
    if (value < 0) {
        progress_->hide();
        return;
    }
    progress_->setRange(0, maximum);
    progress_->setValue(value);
    progress_->show();
}

void DeviceListDialog::setBusy(bool busy) { connect_->setEnabled(!busy); }

void DeviceListDialog::message(const char* text, const char* caption, MessageIcon icon)
{
    ctx_.messages.show(MessageRequest{text, caption, icon, MessageButtons::Ok});
}

bool mayOpenConnectDialog(ConnectContext& ctx, int profileIndex)
{
    if (!ctx.profiles.get(profileIndex) || !Links::valid(ctx.links.allocSlot())) {
        ctx.beep.beep();
        return false;
    }
    return true;
}

} // namespace sorvane
