// A job's result handed over on another thread reaches its receiver on the
// user-interface thread, once, and only while the receiver is there.

#include <gtest/gtest.h>

#include <memory>
#include <thread>
#include <utility>
#include <vector>

#include <QCoreApplication>
#include <QThread>

#include "platform/ui/UiThread.h"
#include "view/Job.h"

using namespace sorvane;

TEST(OnUiThread, DeliversOnTheUiThreadAndDropsWhatAGoneReceiverWouldGet)
{
    auto kept = std::make_unique<QObject>(), gone = std::make_unique<QObject>();
    std::vector<std::pair<int, bool>> got; // the value, and whether it came on the UI thread
    auto to = [&](QObject* receiver) -> TypedJob<int>::Deliver {
        return OnUiThread(receiver, [&](JobResult<int> r) {
            got.emplace_back(r.value.value_or(-1), QThread::currentThread() == qApp->thread());
        });
    };
    TypedJob<int>::Deliver toKept = to(kept.get()), toGone = to(gone.get());
    std::thread([&] {
        toKept(JobResult<int>{JobStatus::Done, 1, {}});
        toGone(JobResult<int>{JobStatus::Done, 2, {}});
        toKept(JobResult<int>{JobStatus::Failed, std::nullopt, "no reply"});
    }).join();
    EXPECT_TRUE(got.empty()); // queued, never run on the caller's thread
    gone.reset();
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(got, (std::vector<std::pair<int, bool>>{{1, true}, {-1, true}}));
}
