#include "link/ui/PasswordDialog.h"

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>

#include <QApplication>
#include <QCheckBox>
#include <QThread>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "platform/ui/CenterDialog.h"
#include "link/PasswordTable.h"
#include "platform/UiPorts.h"

namespace sorvane {

PasswordDialog::PasswordDialog(std::string expected, int32_t& hidePasswordSetting, MessageBoxPort& messages,
                               QWidget* owner)
    : QDialog(owner)
    , expected_(std::move(expected))
    , hidePassword_(hidePasswordSetting)
    , messages_(messages)
{
    setObjectName(QStringLiteral("PASSWORD"));
    setWindowTitle(QStringLiteral("Password Required"));
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);

    auto* text = new QLabel(
        QStringLiteral("The selected device requires a password; please enter it in the space below."), this);
    text->setWordWrap(true);

    edit_ = new QLineEdit(this);
    edit_->setObjectName(QStringLiteral("password"));
    edit_->setMaxLength(kMaxLength);
    edit_->setEchoMode(hidePassword_ ? QLineEdit::Password : QLineEdit::Normal);

    hide_ = new QCheckBox(QStringLiteral("Hide Password"), this);
    hide_->setObjectName(QStringLiteral("hidePassword"));
    hide_->setChecked(hidePassword_ != 0);
    connect(hide_, &QCheckBox::toggled, this, &PasswordDialog::onHideToggled);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("IDOK"));
    buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("IDCANCEL"));
    connect(buttons, &QDialogButtonBox::accepted, this, &PasswordDialog::onOk);
    connect(buttons, &QDialogButtonBox::rejected, this, &PasswordDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(text);
    layout->addWidget(edit_);
    layout->addWidget(hide_);
    layout->addWidget(buttons);
    resize(360, sizeHint().height());
}

int PasswordDialog::ask(std::string expected, int32_t& hidePasswordSetting, MessageBoxPort& messages,
                        QWidget* owner)
{
    PasswordDialog dialog(std::move(expected), hidePasswordSetting, messages, owner);
    return dialog.exec();
}

void PasswordDialog::reject() { done(kCancelled); }

void PasswordDialog::showEvent(QShowEvent* event)
{
    // Centred on the screen, not over the owner.
    CenterOnScreen(*this);
    edit_->setFocus();
    QDialog::showEvent(event);
}

void PasswordDialog::onHideToggled(bool hide)
{
    hidePassword_ = hide ? 1 : 0;
    edit_->setEchoMode(hide ? QLineEdit::Password : QLineEdit::Normal);
}

void PasswordDialog::onOk()
{
    // The device's password is held in the handheld's 8-bit character set; a
    // character outside Latin-1 can never match it.
    const QString typed = edit_->text().left(kMaxLength);
    bool representable = true;
    for (QChar c : typed)
        representable = representable && c.unicode() <= 0xFF;
    if (representable && passwordMatches(typed.toLatin1().toStdString(), expected_)) {
        done(kAccepted);
        return;
    }
    messages_.show(MessageRequest{"The password is incorrect", "Password", MessageIcon::Stop, MessageButtons::Ok});
    edit_->setFocus();
    edit_->selectAll();
}

} // namespace sorvane

namespace sorvane {

DialogPasswordPrompt::DialogPasswordPrompt(int32_t& hidePasswordSetting, MessageBoxPort& messages, QWidget* owner)
    : hidePassword_(hidePasswordSetting)
    , messages_(messages)
    , owner_(owner)
{
}

int DialogPasswordPrompt::askPassword(const PasswordTable& table, size_t record)
{
    return askPassword(table, record, {});
}

int DialogPasswordPrompt::askPassword(const PasswordTable& table, size_t record,
                                      const std::function<bool()>& cancelled)
{
    const std::string expected(table.password(record));
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || QThread::currentThread() == app->thread())
        return PasswordDialog::ask(expected, hidePassword_, messages_, owner_.data());

    // Another thread asks: the dialog runs on the user-interface thread while this one
    // waits for its answer, looking at `cancelled` meanwhile. It never blocks the
    // user-interface thread, and the user-interface thread never has to wait for it: a
    // cancelled attempt withdraws its question and returns at once.
    struct Request {
        std::mutex mutex;
        std::condition_variable answered;
        bool done = false;
        bool withdrawn = false;
        int result = PasswordDialog::kCancelled;
        PasswordDialog* dialog = nullptr; // while shown
    };
    auto request = std::make_shared<Request>();
    QPointer<QWidget> owner = owner_;
    int32_t& hide = hidePassword_;
    MessageBoxPort& messages = messages_;
    QMetaObject::invokeMethod(
        app,
        [request, expected, owner, &hide, &messages] {
            PasswordDialog dialog(expected, hide, messages, owner.data());
            {
                std::lock_guard lock(request->mutex);
                if (request->withdrawn)
                    return;
                request->dialog = &dialog;
            }
            const int result = dialog.exec();
            {
                std::lock_guard lock(request->mutex);
                request->dialog = nullptr;
                request->result = result;
                request->done = true;
            }
            request->answered.notify_all();
        },
        Qt::QueuedConnection);

    std::unique_lock lock(request->mutex);
    while (!request->done) {
        if (cancelled && cancelled()) {
            request->withdrawn = true;
            if (request->dialog) {
                QMetaObject::invokeMethod(
                    app,
                    [request] {
                        std::lock_guard lock(request->mutex);
                        if (request->dialog)
                            request->dialog->reject();
                    },
                    Qt::QueuedConnection);
            }
            return PasswordDialog::kCancelled;
        }
        request->answered.wait_for(lock, std::chrono::milliseconds(20));
    }
    return request->result;
}

} // namespace sorvane
