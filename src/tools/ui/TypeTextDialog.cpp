#include "tools/ui/TypeTextDialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QVBoxLayout>

#include "platform/ui/CenterDialog.h"
#include "tools/TypeText.h"

namespace sorvane {

QString TypeOnDevice(DeviceToolsPort& port, const QString& text, bool viaClipboard)
{
    const QByteArray utf8 = text.toUtf8();
    const TypedText typed = TypeTextPackets(std::string_view(utf8.constData(), size_t(utf8.size())), viaClipboard);
    if (!typed.missing.empty())
        return QString::fromStdString(typed.missing);
    if (!typed.packets.empty()) {
        port.sendInputMessage(TypedTextMessage(typed));
        port.keysTyped(typed.packets);
    }
    return {};
}

TypeTextDialog::TypeTextDialog(DeviceToolsPort& port, QWidget* parent, TypeTextChoice* choice)
    : QDialog(parent), port_(port), choice_(choice)
{
    setObjectName(QStringLiteral("TYPETEXT"));
    setWindowTitle(QStringLiteral("Type Text"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(tr("Text to type on the device:"), this));
    editor_ = new QPlainTextEdit(this);
    editor_->setTabChangesFocus(true);
    editor_->setMinimumSize(320, 100);
    layout->addWidget(editor_);
    note_ = new QLabel(this);
    note_->setObjectName(QStringLiteral("missing"));
    note_->setWordWrap(true);
    note_->hide();
    layout->addWidget(note_);
    viaClipboard_ = new QCheckBox(tr("Use the device clipboard for characters without a key"), this);
    viaClipboard_->setObjectName(QStringLiteral("viaClipboard"));
    viaClipboard_->setChecked(choice_ && choice_->viaClipboard);
    layout->addWidget(viaClipboard_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &TypeTextDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

void TypeTextDialog::accept()
{
    if (port_.reconnecting()) {
        note_->setText(QString::fromStdString(ReconnectingRefusal("Nothing was typed")));
        note_->show();
        return;
    }
    const bool via = viaClipboard_->isChecked();
    const QString missing = TypeOnDevice(port_, editor_->toPlainText(), via);
    if (missing.isEmpty()) {
        if (choice_ && choice_->viaClipboard != via) {
            choice_->viaClipboard = via;
            if (choice_->remember)
                choice_->remember(via);
        }
        QDialog::accept();
        return;
    }
    note_->setText(via ? tr("Windows-1252 has none of these characters, so nothing was sent: %1").arg(missing)
                       : tr("No key of the device's keyboard types these characters, so nothing was sent: %1")
                             .arg(missing));
    note_->show();
}

void TypeTextDialog::showEvent(QShowEvent* event)
{
    CenterDialog(*this);
    QDialog::showEvent(event);
}

} // namespace sorvane
