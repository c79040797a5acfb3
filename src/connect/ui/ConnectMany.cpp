#include "connect/ui/ConnectMany.h"

#include <algorithm>

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "connect/ActiveSyncAdapter.h"
#include "connect/InstallLink.h"
#include "connect/ProfileInUse.h"
#include "connect/ui/ConnectCommand.h"
#include "platform/Utf8Text.h"
#include "platform/ui/CenterDialog.h"

namespace sorvane {

namespace {

// What ProfileInUse calls the same link, between two profiles of one run.
bool sameLink(const Profile& a, const Profile& b)
{
    if (a.linkKind != b.linkKind)
        return false;
    switch (LinkKind(a.linkKind)) {
    case LinkKind::ActiveSync: return true;
    case LinkKind::Serial: return a.port == b.port;
    case LinkKind::Wan: return a.ipAddress == b.ipAddress;
    default: return false;
    }
}

QString qText(const std::string& s) { return QString::fromStdString(s); }

} // namespace

// The program's prompt as one attempt asks it: in turn with the others, its row
// showing that its password is being asked.
class ConnectManyDialog::RowPrompt final : public PasswordPrompt {
public:
    RowPrompt(TurnTakingPrompt& turns, ConnectManyDialog* dialog, size_t row)
        : turns_(turns), dialog_(dialog), row_(row)
    {
    }
    int askPassword(const PasswordTable& table, size_t record) override { return askPassword(table, record, {}); }
    int askPassword(const PasswordTable& table, size_t record, const std::function<bool()>& cancelled) override
    {
        QPointer<ConnectManyDialog> dialog = dialog_;
        const size_t row = row_;
        return turns_.ask(table, record, cancelled, [dialog, row] {
            QMetaObject::invokeMethod(
                dialog.data(),
                [dialog, row] {
                    if (dialog)
                        dialog->setState(row, State::Asking);
                },
                Qt::QueuedConnection);
        });
    }

private:
    TurnTakingPrompt& turns_;
    ConnectManyDialog* dialog_;
    size_t row_;
};

// The program's SSH questions as one attempt asks them: in turn with the passwords and
// the other attempts' questions, its row showing that the gateway asks.
class ConnectManyDialog::RowQuestions final : public SshQuestions {
public:
    RowQuestions(TurnTakingPrompt& turns, SshQuestions& inner, ConnectManyDialog* dialog, size_t row)
        : turns_(turns), inner_(inner), dialog_(dialog), row_(row)
    {
    }
    bool asksAboutHostKeys() const override { return inner_.asksAboutHostKeys(); }
    HostKeyAnswer unknownHostKey(const SshHostKey& key, const std::function<bool()>& cancelled) override
    {
        HostKeyAnswer answer = HostKeyAnswer::Cancel;
        turns_.inTurn(cancelled, onTurn(), [&] { answer = inner_.unknownHostKey(key, cancelled); });
        return answer;
    }
    std::optional<std::string> askSecret(SshSecretKind kind, const std::string& prompt,
                                         const std::function<bool()>& cancelled) override
    {
        std::optional<std::string> answer;
        turns_.inTurn(cancelled, onTurn(), [&] { answer = inner_.askSecret(kind, prompt, cancelled); });
        return answer;
    }

private:
    std::function<void()> onTurn() const
    {
        QPointer<ConnectManyDialog> dialog = dialog_;
        const size_t row = row_;
        return [dialog, row] {
            QMetaObject::invokeMethod(
                dialog.data(),
                [dialog, row] {
                    if (dialog)
                        dialog->setState(row, State::AskingGateway);
                },
                Qt::QueuedConnection);
        };
    }

    TurnTakingPrompt& turns_;
    SshQuestions& inner_;
    ConnectManyDialog* dialog_;
    size_t row_;
};

struct ConnectManyDialog::Row {
    int profileIndex = -1;
    Profile profile;
    std::string name; // escaped
    State state = State::Connecting;
    QTreeWidgetItem* item = nullptr;
    std::unique_ptr<RowPrompt> prompt;   // outlives the task's worker
    std::unique_ptr<RowQuestions> questions; // likewise
    std::unique_ptr<BackgroundTask> task; // joined first when the row goes
};

ConnectManyDialog::ConnectManyDialog(ConnectContext& ctx, std::vector<int> profileIndexes, ConnectManyOptions options,
                                     QWidget* parent)
    : QDialog(parent), ctx_(ctx), options_(std::move(options)), turns_(ctx.passwordPrompt)
{
    setObjectName(QStringLiteral("CONNECTMANY"));
    setWindowTitle(QStringLiteral("Connect"));
    setModal(true);
    if (!options_.fallback)
        options_.fallback = [](QWidget* owner, ConnectContext& c, int index) { ConnectProfile(owner, c, index); };

    heading_ = new QLabel(this);
    heading_->setObjectName(QStringLiteral("1014"));
    heading_->setWordWrap(true);
    list_ = new QTreeWidget(this);
    list_->setObjectName(QStringLiteral("1020"));
    list_->setRootIsDecorated(false);
    list_->setItemsExpandable(false);
    list_->setUniformRowHeights(true);
    list_->setSelectionMode(QAbstractItemView::NoSelection);
    list_->setFocusPolicy(Qt::NoFocus);
    list_->setHeaderLabels({QStringLiteral("Connection"), QStringLiteral("State")});
    list_->setColumnWidth(0, 150);
    list_->header()->setStretchLastSection(true);
    button_ = new QPushButton(QStringLiteral("Cancel"), this);
    button_->setObjectName(QStringLiteral("2"));
    connect(button_, &QPushButton::clicked, this, [this] { showingFailures_ ? accept() : reject(); });

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(button_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(heading_);
    layout->addWidget(list_);
    layout->addLayout(buttons);
    resize(460, 300);

    for (int index : profileIndexes) {
        const Profile* p = ctx_.profiles.get(index);
        if (!p)
            continue;
        auto row = std::make_unique<Row>();
        row->profileIndex = index;
        row->profile = *p;
        row->name = EscapeText(p->nameView());
        row->item = new QTreeWidgetItem(list_, {qText(row->name), QString()});
        rows_.push_back(std::move(row));
    }
    heading_->setText(QStringLiteral("Connecting %1 connection(s)...").arg(rows_.size()));
}

ConnectManyDialog::~ConnectManyDialog()
{
    for (auto& row : rows_)
        if (row->task)
            row->task->cancel();
    rows_.clear(); // joins the workers while the prompt they ask is still here
}

void ConnectManyDialog::start()
{
    if (started_)
        return;
    started_ = true;
    const Dialer dialer = ProgramDialer(ctx_);
    const LinkConfig& config = dialer.config();
    for (size_t i = 0; i < rows_.size(); ++i) {
        Row& row = *rows_[i];
        const Profile& p = row.profile;
        if (ProfileInUse(ctx_.links, p)) {
            setState(i, State::AlreadyConnected);
            continue;
        }
        bool repeated = false;
        for (size_t k = 0; k < i && !repeated; ++k)
            repeated = rows_[k]->state != State::Failed && sameLink(rows_[k]->profile, p);
        if (repeated) {
            fail(i, kSingleInstanceText);
            continue;
        }
        if (LinkKind(p.linkKind) == LinkKind::ActiveSync) {
            const std::optional<MessageRequest> refusal =
                ctx_.activeSync ? activeSyncRefusal(*ctx_.activeSync, p.linkKind)
                                : MessageRequest{"ActiveSync is not currently running", "Connect",
                                                 MessageIcon::Stop, MessageButtons::Ok};
            if (refusal) {
                fail(i, refusal->text);
                continue;
            }
        }
        RememberedRequest request;
        request.profile = p;
        request.remembered = std::string(ctx_.profiles.rememberedDevice(row.profileIndex));
        request.lanBroadcast = ctx_.platform.LanBroadcastAddress;
        request.lanPort = ctx_.platform.LanDiscoveryPort;
        request.lanTiming = options_.lanTiming;
        if (LinkKind(p.linkKind) == LinkKind::ActiveSync && !config.activeSyncCandidates.empty()) {
            // Each ActiveSync attempt takes the next candidate, as the timed dialog's do.
            TargetAddress& turn = ctx_.links.target;
            request.activeSyncNext = turn.activeSyncNext;
            turn.activeSyncNext =
                unsigned((turn.activeSyncNext % config.activeSyncCandidates.size() + 1) %
                         config.activeSyncCandidates.size());
        }
        request.ssh = ProfileSshRoute(ctx_, row.profileIndex);
        if (request.ssh && ctx_.sshQuestions) {
            row.questions = std::make_unique<RowQuestions>(turns_, *ctx_.sshQuestions, this, i);
            request.ssh->questions = row.questions.get();
        }
        row.prompt = std::make_unique<RowPrompt>(turns_, this, i);
        row.task = std::make_unique<BackgroundTask>(this);
        setState(i, State::Connecting);
        PasswordPrompt* prompt = row.prompt.get();
        row.task->run<RememberedResult>(
            [dialer, request, prompt](CancelToken& cancel) { return DialRemembered(dialer, request, cancel, prompt); },
            [this, i](RememberedResult result) { attemptDone(i, std::move(result)); });
    }
    if (attemptsRunning() == 0)
        QTimer::singleShot(0, this, &ConnectManyDialog::afterAttempts);
}

int ConnectManyDialog::attemptsRunning() const
{
    int n = 0;
    for (const auto& row : rows_)
        n += row->state == State::Connecting || row->state == State::Asking || row->state == State::AskingGateway;
    return n;
}

void ConnectManyDialog::setState(size_t row, State state, const std::string& reason)
{
    Row& r = *rows_[row];
    // A late "asking" note never overwrites an ended attempt.
    if ((state == State::Asking || state == State::AskingGateway) && r.state != State::Connecting &&
        r.state != State::Asking && r.state != State::AskingGateway)
        return;
    r.state = state;
    QString text;
    switch (state) {
    case State::Connecting: text = QStringLiteral("Connecting..."); break;
    case State::Asking: text = QStringLiteral("Asking for the password"); break;
    case State::AskingGateway: text = QStringLiteral("Asking for the SSH gateway"); break;
    case State::Connected: text = QStringLiteral("Connected"); break;
    case State::AlreadyConnected: text = QStringLiteral("Already connected"); break;
    case State::NotThere: text = QStringLiteral("Not found: its own dialog follows"); break;
    case State::Failed: text = QStringLiteral("Failed: ") + qText(reason); break;
    }
    r.item->setText(1, text);
    r.item->setToolTip(1, text);
}

void ConnectManyDialog::fail(size_t row, const std::string& reason)
{
    setState(row, State::Failed, reason);
    // Listed in profile order, whichever attempt ended first.
    auto at = std::find_if(failedRows_.begin(), failedRows_.end(), [row](size_t r) { return r > row; });
    failures_.insert(failures_.begin() + (at - failedRows_.begin()), ConnectFailure{rows_[row]->name, reason});
    failedRows_.insert(at, row);
}

void ConnectManyDialog::attemptDone(size_t i, RememberedResult result)
{
    Row& row = *rows_[i];
    switch (result.status) {
    case RememberedStatus::NotThere: setState(i, State::NotThere); break;
    case RememberedStatus::Failed: fail(i, result.reason); break;
    case RememberedStatus::Passed: {
        const Dialer dialer = ProgramDialer(ctx_);
        const std::optional<int> slot =
            InstallLink(ctx_, *result.link, row.profileIndex, viewStartFor(result.target.profile),
                        dialer.relinker(result.target, *result.link));
        if (!slot) {
            fail(i, Links::valid(ctx_.links.allocSlot()) ? "the device's display cannot be shown"
                                                         : "every connection slot is in use");
            break;
        }
        setState(i, State::Connected);
        // The profile remembers where its device was found, unless it changed meanwhile.
        const Profile* now = ctx_.profiles.get(row.profileIndex);
        if (now && now->linkKind == row.profile.linkKind && now->nameView() == row.profile.nameView()) {
            if (LinkKind(now->linkKind) == LinkKind::Lan) {
                Profile p = *now;
                p.ipAddress = result.target.profile.ipAddress;
                ctx_.profiles.EditProfile(row.profileIndex, p);
            }
            if (!result.device.empty())
                ctx_.profiles.setRememberedDevice(row.profileIndex, result.device);
        }
        break;
    }
    }
    const int left = attemptsRunning();
    heading_->setText(left > 0 ? QStringLiteral("Connecting: %1 of %2 connection(s) still trying...")
                                     .arg(left)
                                     .arg(rows_.size())
                               : QStringLiteral("Connecting..."));
    if (left == 0)
        QTimer::singleShot(0, this, &ConnectManyDialog::afterAttempts); // out of the worker's delivery
}

void ConnectManyDialog::afterAttempts()
{
    if (afterAttemptsDone_ || cancelled_)
        return;
    afterAttemptsDone_ = true;
    button_->setEnabled(false); // the dialogs that follow are modal; nothing is left to cancel
    for (size_t i = 0; i < rows_.size(); ++i) {
        Row& row = *rows_[i];
        if (row.state != State::NotThere)
            continue;
        const size_t before = ctx_.links.inUse().size();
        options_.fallback(this, ctx_, row.profileIndex);
        if (ctx_.links.inUse().size() > before)
            setState(i, State::Connected);
        else
            fail(i, "its device was not found, and none was connected in its dialog");
    }
    button_->setEnabled(true);
    if (failures_.empty()) {
        accept();
        emit ended();
        return;
    }
    showFailures();
    emit ended();
}

void ConnectManyDialog::showFailures()
{
    showingFailures_ = true;
    heading_->setText(QStringLiteral("%1 of %2 connection(s) could not be made:")
                          .arg(failures_.size())
                          .arg(rows_.size()));
    list_->clear();
    list_->setHeaderLabels({QStringLiteral("Connection"), QStringLiteral("Reason")});
    for (const ConnectFailure& f : failures_) {
        auto* item = new QTreeWidgetItem(list_, {qText(f.profile), qText(f.reason)});
        item->setToolTip(1, qText(f.reason));
    }
    button_->setText(QStringLiteral("Close"));
    button_->setDefault(true);
    button_->setFocus();

    // Wide enough for every reason in full and tall enough for every row, within the
    // screen; the list scrolls beyond that.
    list_->resizeColumnToContents(0);
    list_->resizeColumnToContents(1);
    const int frame = 2 * list_->frameWidth();
    const int rows = std::clamp(int(failures_.size()), 4, 16);
    const QSize listWants(list_->columnWidth(0) + list_->columnWidth(1) + frame + 24,
                          list_->header()->sizeHint().height() + rows * list_->sizeHintForRow(0) + frame + 4);
    const QSize around = size() - list_->size();
    QSize wanted(std::max(width(), around.width() + listWants.width()), around.height() + listWants.height());
    if (const QScreen* s = screen())
        wanted = wanted.boundedTo(s->availableGeometry().size() * 9 / 10);
    wanted = wanted.expandedTo(minimumSizeHint());
    resize(wanted);
    CenterDialog(*this);
}

void ConnectManyDialog::reject()
{
    if (showingFailures_) {
        accept(); // Escape and the close box end the list like Close
        return;
    }
    if (afterAttemptsDone_)
        return; // a dialog of its own is open over it
    cancelled_ = true;
    for (auto& row : rows_)
        if (row->task)
            row->task->cancel();
    QDialog::reject();
}

void RunConnectMany(QWidget* owner, ConnectContext& ctx, const std::vector<int>& profileIndexes,
                    ConnectManyOptions options)
{
    if (profileIndexes.empty()) {
        ctx.beep.beep(); // nothing to connect (no profile marked to connect at start)
        return;
    }
    ConnectManyDialog dialog(ctx, profileIndexes, std::move(options), owner);
    CenterDialog(dialog);
    dialog.start();
    dialog.exec();
}

void ConnectProfiles(QWidget* owner, ConnectContext& ctx, const std::vector<int>& profileIndexes)
{
    if (profileIndexes.size() == 1)
        ConnectProfile(owner, ctx, profileIndexes.front());
    else if (!profileIndexes.empty())
        RunConnectMany(owner, ctx, profileIndexes);
}

std::vector<int> AutoConnectIndexes(const ProfileTable& profiles)
{
    std::vector<int> out;
    for (int i = 0; i < profiles.ConnTypes(); ++i)
        if (profiles.get(i)->autoConnect && profiles.get(i)->linkKind <= uint32_t(LinkKind::Proxy))
            out.push_back(i);
    return out;
}

} // namespace sorvane
