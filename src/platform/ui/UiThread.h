#pragma once
// Handing a result from a worker thread to a window: OnUiThread(receiver, deliver)
// makes a function that may be called on any thread (a job's `done`, for instance
// JobPort::post<T>'s) and queues `deliver(result)` onto the user-interface thread, where
// it runs only if `receiver` still exists by then. The caller never waits.
//
//     connection.post<DeviceListing>(JobKind::ListDirectory, work, OnUiThread(this, show));
//
// Thread: made on the user-interface thread; called on any thread.

#include <memory>
#include <utility>

#include <QCoreApplication>
#include <QMetaObject>
#include <QObject>
#include <QPointer>

namespace sorvane {

template <class Deliver>
auto OnUiThread(QObject* receiver, Deliver deliver)
{
    auto shared = std::make_shared<Deliver>(std::move(deliver));
    return [target = QPointer<QObject>(receiver), shared](auto result) {
        QCoreApplication* app = QCoreApplication::instance();
        if (!app)
            return;
        auto held = std::make_shared<decltype(result)>(std::move(result));
        // Queued on the application, whose thread is the user-interface thread: the
        // receiver is looked at only there.
        QMetaObject::invokeMethod(
            app,
            [target, shared, held] {
                if (target)
                    (*shared)(std::move(*held));
            },
            Qt::QueuedConnection);
    };
}

} // namespace sorvane
