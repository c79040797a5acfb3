#pragma once
// The question put to the user about a device that connected in from an address not
// allowed yet: a modal box "INBOUNDPROMPT" over the main window naming the address and
// then the device (its name escaped to one line), with "Allow once", "Always allow"
// and "Refuse" (the default, also what closing the box means).
//
// Thread: user-interface thread.

#include <QPointer>
#include <QWidget>

#include "connect/InboundConnections.h"

namespace sorvane {

class QtInboundPrompt final : public InboundAdmissionPrompt {
public:
    explicit QtInboundPrompt(QWidget* parent) : parent_(parent) {}
    InboundAnswer askAdmission(const std::string& deviceName, const std::string& address) override;

private:
    QPointer<QWidget> parent_;
};

} // namespace sorvane
