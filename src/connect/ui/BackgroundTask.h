#pragma once
// One blocking connect job at a time, run off the user-interface thread while its
// dialog stays modal and responsive.
//
// run() starts the job on a thread of its own with a fresh CancelToken; when the job
// returns, `done` is called with its result on the user-interface thread (a queued
// call on `receiver`, dropped if the receiver has gone). cancel() cancels the job in
// hand (its link is shut down and a question it asks the user is withdrawn, so it
// returns quickly) without waiting for it: a job may be waiting for this very thread
// (a password prompt), so the thread is collected later, when the next job starts
// or the task is destroyed, by which time a cancelled job no longer waits for anyone.
//
// Thread: user-interface thread for every member; the job runs on the worker thread
// and must touch nothing the user-interface thread uses.

#include <functional>
#include <memory>
#include <pthread.h>
#include <thread>
#include <utility>
#include <vector>

#include <QMetaObject>
#include <QObject>
#include <QPointer>

#include "connect/CancelToken.h"

namespace sorvane {

class BackgroundTask {
public:
    explicit BackgroundTask(QObject* receiver) : receiver_(receiver) {}
    ~BackgroundTask()
    {
        cancel();
        collect();
    }
    BackgroundTask(const BackgroundTask&) = delete;
    BackgroundTask& operator=(const BackgroundTask&) = delete;

    bool running() const { return thread_.joinable(); }

    // Starts job; the previous one must have ended (its done() was called).
    template <class Result>
    void run(std::function<Result(CancelToken&)> job, std::function<void(Result)> done)
    {
        cancel();
        collect();
        token_ = std::make_shared<CancelToken>();
        auto token = token_;
        QPointer<QObject> receiver = receiver_;
        thread_ = std::thread([this, token, receiver, job = std::move(job), done = std::move(done)]() mutable {
            pthread_setname_np(pthread_self(), "connect-attempt");
            auto result = std::make_shared<Result>(job(*token));
            if (!receiver)
                return;
            QMetaObject::invokeMethod(
                receiver.data(),
                [this, token, result, done = std::move(done)] {
                    // The worker has handed over its result; let it end before the
                    // next job may start.
                    if (token_ == token && thread_.joinable())
                        thread_.join();
                    if (!token->cancelled())
                        done(std::move(*result));
                },
                Qt::QueuedConnection);
        });
    }

    // Cancels the job in hand (its result is then dropped); does not wait for it.
    void cancel()
    {
        if (token_)
            token_->cancel();
        if (thread_.joinable())
            retired_.push_back(std::move(thread_));
    }

private:
    void collect()
    {
        for (std::thread& t : retired_)
            t.join();
        retired_.clear();
    }

    QObject* receiver_;
    std::shared_ptr<CancelToken> token_;
    std::thread thread_;
    std::vector<std::thread> retired_; // cancelled jobs' threads, collected later
};

} // namespace sorvane
