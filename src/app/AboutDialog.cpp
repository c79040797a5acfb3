#include "app/AboutDialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/AppIcon.h"
#include "platform/ui/CenterDialog.h"

#include <SorvaneVersion.h>

namespace sorvane {

AboutDialog::AboutDialog(QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("ABOUT"));
    setWindowTitle(QStringLiteral("About Sorvane"));
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);

    auto* icon = new QLabel(this);
    icon->setPixmap(appIcon().pixmap(32, 32));
    auto* name = new QLabel(QStringLiteral("Sorvane Pro"), this);
    QFont bold = name->font();
    bold.setBold(true);
    name->setFont(bold);
    auto* version = new QLabel(QStringLiteral("Version 4.0"), this);
    auto* built = new QLabel(builtLine(), this);
    built->setObjectName(QStringLiteral("1018"));

    auto* text = new QVBoxLayout;
    text->addWidget(name);
    text->addWidget(version);
    text->addWidget(built);
    auto* top = new QHBoxLayout;
    top->addWidget(icon, 0, Qt::AlignTop);
    top->addSpacing(12);
    top->addLayout(text, 1);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("IDOK"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(buttons);
    setFixedSize(sizeHint().expandedTo(QSize(260, 0)));
}

QString AboutDialog::builtLine() { return QStringLiteral("Built: %1").arg(QLatin1String(SORVANE_BUILD_DATE)); }

void AboutDialog::showEvent(QShowEvent* event)
{
    CenterDialog(*this);
    QDialog::showEvent(event);
}

} // namespace sorvane
