#pragma once
// Posting a connection's job from a window: the job runs on the connection thread and
// `onUiThread` runs afterwards on the user-interface thread, as a queued call on
// `receiver` (dropped if the receiver has gone by then). The window never waits.
//
// Thread: user-interface thread.

#include <functional>
#include <memory>

#include <QCoreApplication>
#include <QMetaObject>
#include <QObject>
#include <QPointer>

#include "view/Connection.h"

namespace sorvane {

inline std::shared_ptr<Job> PostJob(QObject* receiver, Connection& connection, JobKind kind, JobWork work,
                                    std::function<void(const Job&)> onUiThread)
{
    QPointer<QObject> target(receiver);
    return connection.post(kind, std::move(work), [target, onUiThread = std::move(onUiThread)](const Job& job) {
        QCoreApplication* app = QCoreApplication::instance();
        if (!app || !onUiThread)
            return;
        std::shared_ptr<const Job> keep = job.shared_from_this();
        // Queued on the application, whose thread is the user-interface thread: the
        // receiver is looked at only there.
        QMetaObject::invokeMethod(
            app,
            [target, keep, onUiThread] {
                if (target)
                    onUiThread(*keep);
            },
            Qt::QueuedConnection);
    });
}

} // namespace sorvane
