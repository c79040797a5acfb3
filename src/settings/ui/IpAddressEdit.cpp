#include "settings/ui/IpAddressEdit.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpressionValidator>

namespace sorvane {

namespace {

int fieldValue(const QLineEdit& f)
{
    bool ok = false;
    int v = f.text().toInt(&ok);
    return ok ? std::min(v, 255) : 0;
}

} // namespace

IpAddressEdit::IpAddressEdit(QWidget* parent) : QFrame(parent)
{
    setFrameShape(QFrame::StyledPanel);
    setFrameShadow(QFrame::Sunken);
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Base);
    setFocusPolicy(Qt::StrongFocus);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(2, 1, 2, 1);
    layout->setSpacing(0);
    auto* validator = new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,3}")), this);
    for (size_t i = 0; i < fields_.size(); ++i) {
        auto* f = new QLineEdit(this);
        f->setObjectName(QStringLiteral("field%1").arg(i));
        f->setFrame(false);
        f->setMaxLength(3);
        f->setValidator(validator);
        f->setAlignment(Qt::AlignCenter);
        f->setFixedWidth(f->fontMetrics().horizontalAdvance(QStringLiteral("0000")));
        f->installEventFilter(this);
        fields_[i] = f;
        layout->addWidget(f);
        if (i + 1 < fields_.size())
            layout->addWidget(new QLabel(QStringLiteral("."), this));
        connect(f, &QLineEdit::textEdited, this, [this, i](const QString& text) {
            if (text.size() == 3 && i + 1 < fields_.size()) {
                fields_[i + 1]->setFocus();
                fields_[i + 1]->selectAll();
            }
        });
        connect(f, &QLineEdit::editingFinished, this, [f] {
            if (!f->text().isEmpty() && f->text().toInt() > 255)
                f->setText(QStringLiteral("255"));
        });
    }
    layout->addStretch(1);
    setFocusProxy(fields_[0]);
}

uint32_t IpAddressEdit::address() const
{
    uint32_t a = 0;
    for (QLineEdit* f : fields_)
        a = (a << 8) | uint32_t(fieldValue(*f));
    return a;
}

void IpAddressEdit::setAddress(uint32_t address)
{
    for (size_t i = 0; i < fields_.size(); ++i)
        fields_[i]->setText(QString::number((address >> (24 - 8 * i)) & 0xFF));
}

void IpAddressEdit::clear()
{
    for (QLineEdit* f : fields_)
        f->clear();
}

bool IpAddressEdit::isBlank() const
{
    for (QLineEdit* f : fields_)
        if (!f->text().isEmpty())
            return false;
    return true;
}

bool IpAddressEdit::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        for (size_t i = 0; i < fields_.size(); ++i) {
            if (watched != fields_[i])
                continue;
            if (key->text() == QLatin1String(".") && i + 1 < fields_.size()) {
                if (!fields_[i]->text().isEmpty()) {
                    fields_[i + 1]->setFocus();
                    fields_[i + 1]->selectAll();
                }
                return true;
            }
            if (key->key() == Qt::Key_Backspace && fields_[i]->cursorPosition() == 0 && i > 0) {
                fields_[i - 1]->setFocus();
                fields_[i - 1]->end(false);
                return false;
            }
        }
    }
    return QFrame::eventFilter(watched, event);
}

void IpAddressEdit::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::EnabledChange)
        setBackgroundRole(isEnabled() ? QPalette::Base : QPalette::Window);
    QFrame::changeEvent(event);
}

} // namespace sorvane
