#include "V7Aruviv/App/QtMainScheduler.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <thread>

namespace k7 {
namespace {

using namespace std::chrono_literals;

// Runs the event loop until `done` or a generous real-time limit.
bool spinUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = 5000ms) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > limit.count()) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

TEST(QtMainScheduler, PostedTasksRunLaterInOrder) {
    QtMainScheduler scheduler;
    std::vector<int> ran;
    for (int n = 0; n < 5; ++n) scheduler.post([&, n] { ran.push_back(n); });
    EXPECT_TRUE(ran.empty());
    ASSERT_TRUE(spinUntil([&] { return ran.size() == 5; }));
    EXPECT_EQ(ran, (std::vector<int>{0, 1, 2, 3, 4}));
}

TEST(QtMainScheduler, DelayedTasksRunByDeadlineNeverEarly) {
    QtMainScheduler scheduler;
    struct Run {
        int n;
        Scheduler::TimePoint at;
    };
    std::vector<Run> runs;
    const auto start = scheduler.now();
    const std::pair<int, std::chrono::milliseconds> delays[] = {{0, 30ms}, {1, 5ms}, {2, 0ms}, {3, 15ms}, {4, 15ms}};
    for (const auto& [n, delay] : delays) {
        scheduler.postAfter(delay, [&, n = n] { runs.push_back({n, scheduler.now()}); });
    }
    ASSERT_TRUE(spinUntil([&] { return runs.size() == 5; }));
    std::vector<int> order;
    for (const auto& run : runs) order.push_back(run.n);
    EXPECT_EQ(order, (std::vector<int>{2, 1, 3, 4, 0}));
    for (const auto& run : runs) {
        SCOPED_TRACE(run.n);
        EXPECT_GE(run.at - start, delays[run.n].second);
    }
}

TEST(QtMainScheduler, CancelledTimersNeverRun) {
    QtMainScheduler scheduler;
    bool cancelledRan = false;
    bool otherRan = false;
    const auto handle = scheduler.postAfter(5ms, [&] { cancelledRan = true; });
    scheduler.postAfter(20ms, [&] { otherRan = true; });
    handle.cancel();
    ASSERT_TRUE(spinUntil([&] { return otherRan; }));
    EXPECT_FALSE(cancelledRan);
}

TEST(QtMainScheduler, OtherThreadsPostToTheMainThread) {
    QtMainScheduler scheduler;
    const auto mainThread = std::this_thread::get_id();
    std::vector<std::thread::id> ranOn;
    std::thread worker([&] {
        scheduler.post([&] { ranOn.push_back(std::this_thread::get_id()); });
        scheduler.postAfter(10ms, [&] { ranOn.push_back(std::this_thread::get_id()); });
    });
    worker.join();
    ASSERT_TRUE(spinUntil([&] { return ranOn.size() == 2; }));
    EXPECT_EQ(ranOn, (std::vector<std::thread::id>{mainThread, mainThread}));
}

TEST(QtMainScheduler, NothingRunsAfterTheSchedulerIsGone) {
    bool ran = false;
    {
        QtMainScheduler scheduler;
        scheduler.post([&] { ran = true; });
        scheduler.postAfter(1ms, [&] { ran = true; });
    }
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 30) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    EXPECT_FALSE(ran);
}

}  // namespace
}  // namespace k7
