#include "app/InboundPrompt.h"

#include <QMessageBox>
#include <QPushButton>

#include "tools/DeviceText.h"

namespace sorvane {

InboundAnswer QtInboundPrompt::askAdmission(const std::string& deviceName, const std::string& address)
{
    QMessageBox box(parent_.data());
    box.setObjectName(QStringLiteral("INBOUNDPROMPT"));
    box.setWindowTitle(QStringLiteral("Inbound connection"));
    box.setIcon(QMessageBox::Question);
    // The name comes from the stranger: plain text, never markup, and escaped to one
    // line after the address, so that no line break or direction mark in it can hide the
    // address or show a false one.
    box.setTextFormat(Qt::PlainText);
    const std::string name = EscapeDeviceText(deviceName);
    box.setText(QStringLiteral("A device at %1 wants to connect to this computer. It calls itself \"%2\".")
                    .arg(QString::fromStdString(address), QString::fromUtf8(name.data(), qsizetype(name.size()))));
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
