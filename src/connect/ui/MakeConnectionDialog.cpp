#include "connect/ui/MakeConnectionDialog.h"

#include <algorithm>

#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "platform/ui/CenterDialog.h"
#include "connect/ActiveSyncAdapter.h"
#include "connect/ConnectMessages.h"
#include "connect/InstallLink.h"
#include "connect/Dialer.h"

namespace sorvane {

MakeConnectionDialog::MakeConnectionDialog(ConnectContext& context, int profileIndex, QWidget* parent)
    : QDialog(parent)
    , context_(context)
    , profileIndex_(profileIndex)
{
    setObjectName(QStringLiteral("MAKECONNECTION"));
    setWindowTitle(QStringLiteral("Connecting"));

    auto* layout = new QVBoxLayout(this);
    auto* note = new QLabel(QStringLiteral("Trying to connect to the device. Make sure the device agent is running "
                                           "on the device and the link is ready."),
                            this);
    note->setWordWrap(true);
    layout->addWidget(note);
    progress_ = new QLabel(this);
    progress_->setObjectName(QStringLiteral("1014"));
    layout->addWidget(progress_);
    gatewayNote_ = new QLabel(this);
    gatewayNote_->setObjectName(QStringLiteral("gatewayNote"));
    gatewayNote_->setWordWrap(true);
    gatewayNote_->setTextFormat(Qt::PlainText);
    gatewayNote_->hide();
    layout->addWidget(gatewayNote_);
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
    timer_->stop();
    task_.cancel();
}

bool MakeConnectionDialog::prepare()
{
    const Profile* p = context_.profiles.get(profileIndex_);
    if (!p)
        return false;
    profile_ = *p;
    ssh_ = ProfileSshRoute(context_, profileIndex_);
    if (!Links::valid(context_.links.allocSlot())) {
        context_.messages.show(MessageRequest{"Every connection slot is in use. Close a device window and connect "
                                              "again.",
                                              "Connect", MessageIcon::Stop, MessageButtons::Ok});
        return false;
    }
    CenterDialog(*this);
    if (LinkKind(profile_.linkKind) == LinkKind::ActiveSync) {
        std::optional<MessageRequest> refusal =
            context_.activeSync
                ? activeSyncRefusal(*context_.activeSync, profile_.linkKind)
                : MessageRequest{"ActiveSync is not currently running", "Connect", MessageIcon::Stop,
                                 MessageButtons::Ok};
        if (refusal) {
            context_.messages.show(*refusal);
            return false;
        }
    }
    const std::string_view name = profile_.nameView();
    progress_->setText(
        QStringLiteral("Connecting to %1...").arg(QString::fromUtf8(name.data(), qsizetype(name.size()))));
    timer_->start(std::max(1, context_.attemptPeriodMs));
    // The first attempt is made as soon as the dialog runs, not a period later: a
    // device that is ready should not keep the user waiting.
    QTimer::singleShot(0, this, &MakeConnectionDialog::tick);
    return true;
}

QString MakeConnectionDialog::progressText() const { return progress_->text(); }

QString MakeConnectionDialog::gatewayNote() const { return gatewayNote_->isHidden() ? QString() : gatewayNote_->text(); }

void MakeConnectionDialog::tick()
{
    if (task_.running())
        return;
    const auto kind = LinkKind(profile_.linkKind);
    if (kind == LinkKind::Usb || kind == LinkKind::Proxy || profile_.linkKind > uint32_t(LinkKind::Proxy))
        return;
    ++attempts_;
    const Dialer dialer = ProgramDialer(context_);
    const LinkConfig& config = dialer.config();
    // Each ActiveSync attempt takes the next candidate address; the program keeps the
    // turn, so attempts in later dialogs go on from where this one stopped.
    TargetAddress& turn = context_.links.target;
    const unsigned next = turn.activeSyncNext;
    if (kind == LinkKind::ActiveSync && !config.activeSyncCandidates.empty())
        turn.activeSyncNext = unsigned((next % config.activeSyncCandidates.size() + 1) %
                                       config.activeSyncCandidates.size());

    PasswordPrompt* prompt = &context_.passwordPrompt;
    DialTarget target(profile_);
    target.activeSyncNext = next;
    target.ssh = ssh_;
    dialled_ = target;
    task_.run<DialOutcome>([dialer, target, prompt](CancelToken& token) { return dialer.dial(target, &token, prompt); },
                           [this](DialOutcome outcome) { attemptDone(std::move(outcome)); });
}

void MakeConnectionDialog::gatewayFailed(const SshReport& report)
{
    using namespace connect_text;
    const std::string reason =
        SshFailureText(dialled_.ssh->gateway, report, ProgramDialer(context_).config().ssh.knownHostsFile);
    switch (report.failure) {
    case SshFailure::None: return;
    case SshFailure::Unreachable:
    case SshFailure::NotSsh:
    case SshFailure::ChannelRefused:
    case SshFailure::TimedOut:
        // The gateway or the device behind it may come up yet: the attempts go on.
        gatewayNote_->setText(QString::fromStdString(Sentence(reason)));
        gatewayNote_->show();
        return;
    case SshFailure::Cancelled: break;
    case SshFailure::HostKeyChanged:
        context_.messages.show(MessageRequest{Sentence(reason), kConnectCaption, MessageIcon::Stop, MessageButtons::Ok});
        break;
    case SshFailure::HostKeyUnknown:
    case SshFailure::AuthRefused:
        context_.messages.show(
            MessageRequest{Sentence(reason), kConnectCaption, MessageIcon::Error, MessageButtons::Ok});
        break;
    }
    // Asking again every few seconds would not change the answer.
    reject();
}

void MakeConnectionDialog::attemptDone(DialOutcome outcome)
{
    if (!outcome.passed()) {
        if (dialled_.ssh && outcome.ssh.failure != SshFailure::None)
            gatewayFailed(outcome.ssh);
        else
            gatewayNote_->hide();
        emit attemptEnded(false); // the next tick tries again, unless the dialog ended
        return;
    }
    gatewayNote_->hide();
    timer_->stop();
    PendingLink& link = *outcome.link;
    // The reconnections go the way this attempt went (through its gateway).
    const std::optional<int> slot = InstallLink(context_, link, profileIndex_, viewStartFor(profile_),
                                                ProgramDialer(context_).relinker(dialled_, link));
    emit attemptEnded(slot.has_value());
    if (!slot) {
        // Every slot went live meanwhile, or the device's display cannot be shown.
        timer_->start();
        return;
    }
    slot_ = *slot;
    accept();
}

void MakeConnectionDialog::reject()
{
    timer_->stop();
    // The attempt in hand ends at once: its transport is shut down and its link closed.
    task_.cancel();
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
