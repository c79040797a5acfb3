#include "app/StatusWindow.h"

#include <QLabel>
#include <QPalette>
#include <QTimer>

#include "app/AppIcon.h"
#include "app/LinkCounters.h"

namespace sorvane {

StatusWindow::StatusWindow(int slot, const QString& deviceName, const LinkCounterSource& counters,
                           QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint)
    , slot_(slot)
    , counters_(counters)
{
    setObjectName(QStringLiteral("KWXSTATUS"));
    setWindowTitle(QStringLiteral("Status - %1").arg(deviceName));
    setWindowIcon(appIcon());
    setAttribute(Qt::WA_DeleteOnClose);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    setPalette(pal);
    setAutoFillBackground(true);

    static const char* const labels[] = {"Total Bytes Sent:", "Total Bytes Received:", "Total Key Presses:",
                                         "Total Mouse Clicks:"};
    for (int i = 0; i < 4; ++i) {
        auto* label = new QLabel(QString::fromLatin1(labels[i]), this);
        label->setGeometry(0, 20 * i, 175, 20);
        values_[size_t(i)] = new QLabel(this);
        values_[size_t(i)]->setObjectName(QString::number(i + 1));
        values_[size_t(i)]->setGeometry(175, 20 * i, 100, 20);
    }
    // The client area holds the four rows; the window is 276 x 112 with its frame.
    setFixedSize(276, 4 * 20 + 4);
    move(0, 0);

    timer_ = new QTimer(this);
    timer_->setObjectName(QStringLiteral("statusTimer"));
    timer_->setInterval(kRefreshMs);
    connect(timer_, &QTimer::timeout, this, &StatusWindow::refresh);
    timer_->start();
}

void StatusWindow::bringForward()
{
    setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    raise();
    activateWindow();
}

StatusWindow* StatusWindow::showFor(QPointer<StatusWindow>& window, int slot, const QString& deviceName,
                                    const LinkCounterSource& counters)
{
    if (window.isNull()) {
        window = new StatusWindow(slot, deviceName, counters);
        window->show();
    } else {
        window->bringForward();
    }
    return window.data();
}

void StatusWindow::refresh()
{
    const LinkCounterSnapshot c = counters_.counters(slot_);
    const uint32_t numbers[] = {c.bytesSent, c.bytesReceived, c.keyPresses, c.mouseClicks};
    for (size_t i = 0; i < 4; ++i)
        values_[i]->setText(QString::number(numbers[i]));
}

} // namespace sorvane
