#include "connect/ui/MakeConnectionDialog.h"

#include <algorithm>

#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "app/CenterDialog.h"
#include "connect/ActiveSyncAdapter.h"

namespace sorvane {

MakeConnectionDialog::MakeConnectionDialog(ConnectContext& context, int profileIndex, QWidget* parent)
    : QDialog(parent)
    , context_(context)
    , profileIndex_(profileIndex)
    , attempt_(context)
{
    setObjectName(QStringLiteral("MAKECONNECTION"));
    setWindowTitle(QStringLiteral("Connecting"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    auto* layout = new QVBoxLayout(this);
    auto* note = new QLabel(QStringLiteral("Trying to connect to the device. Make sure the device agent is running "
                                           "on the device and the link is ready."),
                            this);
    note->setWordWrap(true);
    layout->addWidget(note);
    progress_ = new QLabel(this);
    progress_->setObjectName(QStringLiteral("1014"));
    layout->addWidget(progress_);
    cancel_ = new QPushButton(QStringLiteral("Cancel"), this);
    cancel_->setObjectName(QStringLiteral("2"));
    cancel_->setAutoDefault(false);
    connect(cancel_, &QPushButton::clicked, this, &MakeConnectionDialog::reject);
    auto* row = new QHBoxLayout;
    row->addStretch();
    row->addWidget(cancel_);
    row->addStretch();
    layout->addLayout(row);
    setFixedWidth(300);

    timer_ = new QTimer(this);
    connect(timer_, &QTimer::timeout, this, &MakeConnectionDialog::tick);
}

MakeConnectionDialog::~MakeConnectionDialog()
{
    // The attempt's destructor cancels and joins; a passed attempt whose window never
    // opened gives its slot back there.
    timer_->stop();
}

bool MakeConnectionDialog::prepare()
{
    const Profile* p = context_.profiles.get(profileIndex_);
    if (!p)
        return false;
    profile_ = *p;
    slot_ = context_.links.allocSlot();
    LinkSlot* s = context_.links.find(slot_);
    if (!s) {
        context_.messages.show(MessageRequest{"Every connection slot is in use. Close a device window and connect "
                                              "again.",
                                              "Connect", MessageIcon::Stop, MessageButtons::Ok});
        slot_ = -1;
        return false;
    }
    s->linkKind = profile_.linkKind;
    s->port = profile_.port;
    // The address too, so the in-use check of a later Connect sees which WAN address
    // this connection uses.
    s->ipAddress = profile_.ipAddress;
    ViewRecord& v = context_.views[slot_];
    v.scale = std::clamp(profile_.scale, 1, 4);
    v.screen.lowColor = profile_.lowColor ? 1 : 0;
    CenterDialog(*this);

    if (LinkKind(profile_.linkKind) == LinkKind::ActiveSync &&
        !(context_.activeSync && context_.activeSync->isRunning())) {
        context_.messages.show(
            MessageRequest{"ActiveSync is not currently running", "Connect", MessageIcon::Stop, MessageButtons::Ok});
        return false;
    }
    const std::string_view name = profile_.nameView();
    progress_->setText(QStringLiteral("Connecting to %1...").arg(QString::fromUtf8(name.data(), qsizetype(name.size()))));
    timer_->start(std::max(1, context_.attemptPeriodMs));
    return true;
}

QString MakeConnectionDialog::progressText() const { return progress_->text(); }

void MakeConnectionDialog::tick()
{
    if (cancelled_ || attempt_.running())
        return;
    const auto kind = LinkKind(profile_.linkKind);
    if (kind == LinkKind::Usb || kind == LinkKind::Proxy)
        return;
    attempt_.join();
    ++attempts_;
    attempt_.start(profile_, slot_, context_.linkConfig(), [this] {
        QMetaObject::invokeMethod(this, &MakeConnectionDialog::attemptFinished, Qt::QueuedConnection);
    });
}

void MakeConnectionDialog::attemptFinished()
{
    if (attempt_.running())
        return;
    attempt_.join();
    const AttemptOutcome outcome = attempt_.outcome();
    if (cancelled_) {
        attempt_.abandon();
        emit attemptEnded(outcome);
        QDialog::reject();
        return;
    }
    emit attemptEnded(outcome);
    if (outcome != AttemptOutcome::Passed)
        return; // the next tick tries again
    timer_->stop();
    if (context_.openDeviceWindow) {
        attempt_.handOver();
        context_.openDeviceWindow(profileIndex_, slot_);
    } else {
        attempt_.abandon();
    }
    accept();
}

void MakeConnectionDialog::reject()
{
    timer_->stop();
    cancelled_ = true;
    if (attempt_.running()) {
        // Closes once the attempt has come back (attemptFinished), which the shut
        // down transport makes quick.
        cancel_->setEnabled(false);
        attempt_.cancel();
        return;
    }
    QDialog::reject();
}

void RunMakeConnectionDialog(QWidget* parent, ConnectContext& context, int profileIndex)
{
    MakeConnectionDialog dialog(context, profileIndex, parent);
    if (!dialog.prepare())
        return;
    dialog.exec();
}

} // namespace sorvane
