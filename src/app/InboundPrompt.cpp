#include "app/InboundPrompt.h"

#include <QMessageBox>
#include <QPushButton>

namespace sorvane {

InboundAnswer QtInboundPrompt::askAdmission(const std::string& deviceName, const std::string& address)
{
    QMessageBox box(parent_.data());
    box.setObjectName(QStringLiteral("INBOUNDPROMPT"));
    box.setWindowTitle(QStringLiteral("Inbound connection"));
    box.setIcon(QMessageBox::Question);
    // The name comes from the device: shown as plain text, never as markup.
    box.setTextFormat(Qt::PlainText);
    box.setText(QStringLiteral("The device \"%1\" at %2 wants to connect to this computer.")
                    .arg(QString::fromLatin1(deviceName.data(), qsizetype(deviceName.size())),
                         QString::fromStdString(address)));
    QPushButton* once = box.addButton(QStringLiteral("Allow once"), QMessageBox::AcceptRole);
    QPushButton* always = box.addButton(QStringLiteral("Always allow"), QMessageBox::AcceptRole);
    QPushButton* refuse = box.addButton(QStringLiteral("Refuse"), QMessageBox::RejectRole);
    box.setDefaultButton(refuse);
    box.setEscapeButton(refuse);
    box.exec();
    if (box.clickedButton() == once)
        return InboundAnswer::AllowOnce;
    if (box.clickedButton() == always)
        return InboundAnswer::AlwaysAllow;
    return InboundAnswer::Refuse;
}

} // namespace sorvane
