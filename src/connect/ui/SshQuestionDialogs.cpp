#include "connect/ui/SshQuestionDialogs.h"

#include <chrono>
#include <condition_variable>
#include <memory>

#include <QAbstractButton>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QThread>
#include <QVBoxLayout>

#include "platform/Utf8Text.h"
#include "platform/ui/CenterDialog.h"

namespace sorvane {

namespace {

QString fromUtf8(const std::string& s) { return QString::fromUtf8(s.data(), qsizetype(s.size())); }

// "host:port", with brackets around an IPv6 address.
std::string hostAndPort(const SshHostKey& key)
{
    const bool v6 = key.host.find(':') != std::string::npos;
    return (v6 ? "[" + key.host + "]" : key.host) + ":" + std::to_string(key.port);
}

// A question asked from a worker thread, answered on the user-interface thread.
template <class Answer> struct Pending {
    std::mutex mutex;
    std::condition_variable answered;
    bool done = false;
    bool withdrawn = false;
    QPointer<QDialog> dialog; // while shown
    Answer answer;
};

// Runs `run` (which makes the dialog, calls `showing(dialog)` before running it, and
// reads the answer) on the user-interface thread and waits for its answer while
// `cancelled` is false. Once it is true the question is withdrawn: a dialog not yet
// shown is never shown, one shown is closed, and `none` is returned at once.
template <class Answer, class Run>
Answer askOnUiThread(const std::function<bool()>& cancelled, Answer none, Run run)
{
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || QThread::currentThread() == app->thread())
        return cancelled && cancelled() ? none : run([](QDialog&) { return true; });

    auto pending = std::make_shared<Pending<Answer>>();
    pending->answer = none;
    QMetaObject::invokeMethod(
        app,
        [pending, run, none]() mutable {
            Answer answer = run([&pending](QDialog& dialog) {
                std::lock_guard lock(pending->mutex);
                if (pending->withdrawn)
                    return false;
                pending->dialog = &dialog;
                return true;
            });
            {
                std::lock_guard lock(pending->mutex);
                pending->dialog = nullptr;
                pending->answer = pending->withdrawn ? std::move(none) : std::move(answer);
                pending->done = true;
            }
            pending->answered.notify_all();
        },
        Qt::QueuedConnection);

    std::unique_lock lock(pending->mutex);
    while (!pending->done) {
        if (cancelled && cancelled()) {
            pending->withdrawn = true;
            if (pending->dialog)
                QMetaObject::invokeMethod(
                    app,
                    [pending] {
                        std::lock_guard lock(pending->mutex);
                        if (pending->dialog)
                            pending->dialog->reject();
                    },
                    Qt::QueuedConnection);
            return none;
        }
        pending->answered.wait_for(lock, std::chrono::milliseconds(20));
    }
    return std::move(pending->answer);
}

} // namespace

SshHostKeyBox::SshHostKeyBox(const SshHostKey& key, QWidget* owner) : QMessageBox(owner)
{
    setObjectName(QStringLiteral("SSHHOSTKEY"));
    setWindowTitle(QStringLiteral("SSH Host Key"));
    setIcon(QMessageBox::Warning);
    setTextFormat(Qt::PlainText);
    // What the gateway sent is shown escaped; the fingerprint can be selected and copied.
    setText(fromUtf8("The SSH gateway " + hostAndPort(key) + " is not in your known hosts.\n\nIts " +
                     EscapeText(key.type) + " host key has the fingerprint\n" + EscapeText(key.fingerprint)));
    setInformativeText(QStringLiteral("Connect only if this is the fingerprint the gateway's administrator gives "
                                      "you. \"Always trust\" adds the key to your known hosts."));
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    once_ = addButton(QStringLiteral("Connect once"), QMessageBox::AcceptRole);
    once_->setObjectName(QStringLiteral("connectOnce"));
    always_ = addButton(QStringLiteral("Always trust"), QMessageBox::AcceptRole);
    always_->setObjectName(QStringLiteral("alwaysTrust"));
    QPushButton* cancel = addButton(QStringLiteral("Cancel"), QMessageBox::RejectRole);
    cancel->setObjectName(QStringLiteral("cancel"));
    setDefaultButton(cancel);
    setEscapeButton(cancel);
}

HostKeyAnswer SshHostKeyBox::answer() const
{
    const QAbstractButton* clicked = clickedButton();
    if (clicked && clicked == once_)
        return HostKeyAnswer::ConnectOnce;
    if (clicked && clicked == always_)
        return HostKeyAnswer::AlwaysTrust;
    return HostKeyAnswer::Cancel;
}

SshSecretDialog::SshSecretDialog(SshSecretKind kind, const std::string& prompt, QWidget* owner) : QDialog(owner)
{
    setObjectName(QStringLiteral("SSHSECRET"));
    setWindowTitle(kind == SshSecretKind::Passphrase ? QStringLiteral("SSH Key Passphrase")
                                                     : QStringLiteral("SSH Password"));
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    auto* text = new QLabel(this);
    text->setObjectName(QStringLiteral("prompt"));
    text->setTextFormat(Qt::PlainText);
    text->setWordWrap(true);
    text->setText(fromUtf8(EscapeText(prompt))); // the gateway may have written it
    edit_ = new QLineEdit(this);
    edit_->setObjectName(QStringLiteral("secret"));
    edit_->setEchoMode(QLineEdit::Password);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("IDOK"));
    buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("IDCANCEL"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(text);
    layout->addWidget(edit_);
    layout->addWidget(buttons);
    resize(380, sizeHint().height());
    CenterDialog(*this);
    edit_->setFocus();
}

std::optional<std::string> SshSecretDialog::takeAnswer()
{
    std::optional<std::string> typed;
    if (result() == QDialog::Accepted)
        typed = edit_->text().toStdString();
    edit_->clear();
    return typed;
}

bool DialogSshQuestions::takeTurn(std::unique_lock<std::timed_mutex>& turn, const std::function<bool()>& cancelled)
{
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || QThread::currentThread() == app->thread())
        return true; // the user-interface thread never waits for a worker's question
    turn = std::unique_lock(turn_, std::defer_lock);
    while (!turn.try_lock_for(std::chrono::milliseconds(20)))
        if (cancelled && cancelled())
            return false;
    return !(cancelled && cancelled());
}

HostKeyAnswer DialogSshQuestions::unknownHostKey(const SshHostKey& key, const std::function<bool()>& cancelled)
{
    std::unique_lock<std::timed_mutex> turn;
    if (!takeTurn(turn, cancelled))
        return HostKeyAnswer::Cancel;
    QPointer<QWidget> owner = owner_;
    return askOnUiThread(cancelled, HostKeyAnswer::Cancel, [key, owner](const auto& showing) {
        SshHostKeyBox box(key, owner.data());
        if (!showing(box))
            return HostKeyAnswer::Cancel;
        box.exec();
        return box.answer();
    });
}

std::optional<std::string> DialogSshQuestions::askSecret(SshSecretKind kind, const std::string& prompt,
                                                         const std::function<bool()>& cancelled)
{
    std::unique_lock<std::timed_mutex> turn;
    if (!takeTurn(turn, cancelled))
        return std::nullopt;
    QPointer<QWidget> owner = owner_;
    return askOnUiThread(cancelled, std::optional<std::string>(), [kind, prompt, owner](const auto& showing) {
        SshSecretDialog dialog(kind, prompt, owner.data());
        if (!showing(dialog))
            return std::optional<std::string>();
        dialog.exec();
        return dialog.takeAnswer();
    });
}

} // namespace sorvane
