#pragma once
// Makes a Qt test that raises an unexpected modal window fail at once instead of
// waiting out ctest's time-out: a window that stays modal for `limit` is reported to
// `fail` (the calling test fails) and rejected or closed, so the test goes on. Make
// one after the QApplication, e.g. in main:
//   ModalGuard guard([](const QString& m) { ADD_FAILURE() << m.toStdString(); });

#include <chrono>
#include <functional>

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QPointer>
#include <QTimer>

namespace sorvane::test {

class ModalGuard {
public:
    explicit ModalGuard(std::function<void(const QString&)> fail,
                        std::chrono::milliseconds limit = std::chrono::seconds(10))
        : fail_(std::move(fail)), limit_(limit.count())
    {
        timer_.setInterval(200);
        QObject::connect(&timer_, &QTimer::timeout, [this] { check(); });
        timer_.start();
    }

private:
    void check()
    {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal != seen_) {
            seen_ = modal;
            since_.start();
            return;
        }
        if (!modal || since_.elapsed() < limit_)
            return;
        fail_(QStringLiteral("a modal window was left open (%1, \"%2\"): nothing in the test answers it")
                  .arg(modal->objectName(), modal->windowTitle()));
        if (auto* dialog = qobject_cast<QDialog*>(modal))
            dialog->reject();
        else
            modal->close();
        since_.start();
    }

    std::function<void(const QString&)> fail_;
    qint64 limit_;
    QTimer timer_;
    QPointer<QWidget> seen_;
    QElapsedTimer since_;
};

} // namespace sorvane::test
