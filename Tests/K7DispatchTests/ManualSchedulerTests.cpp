#include "K7Dispatch/ManualScheduler.h"

#include <gtest/gtest.h>

#include <thread>
#include <utility>
#include <vector>

using namespace std::chrono_literals;

namespace k7 {
namespace {

using Seen = std::vector<std::pair<int, Scheduler::Duration>>;

struct ManualSchedulerTest : ::testing::Test {
    ManualScheduler scheduler;
    Seen seen;
    Scheduler::TimePoint start = scheduler.now();

    Task record(int id) {
        return [this, id] { seen.emplace_back(id, scheduler.now() - start); };
    }
};

TEST_F(ManualSchedulerTest, AdvanceRunsTasksInDeadlineOrderAtTheirDeadlines) {
    scheduler.postAfter(30ms, record(3));
    scheduler.postAfter(10ms, record(1));
    scheduler.postAfter(10ms, record(2));  // same deadline: submission order
    scheduler.postAfter(50ms, record(4));
    EXPECT_TRUE(seen.empty()) << "nothing runs until pumped";
    EXPECT_EQ(scheduler.pendingTaskCount(), 4u);
    EXPECT_EQ(scheduler.advance(40ms), 3u);
    EXPECT_EQ(seen, (Seen{{1, 10ms}, {2, 10ms}, {3, 30ms}}));
    EXPECT_EQ(scheduler.now() - start, 40ms);
    scheduler.advance(10ms);
    EXPECT_EQ(seen.back(), std::make_pair(4, Scheduler::Duration(50ms)));
    scheduler.postAfter(1h, record(5));
    scheduler.postAfter(2h, record(6));
    EXPECT_EQ(scheduler.runAll(), 2u) << "runAll reaches far deadlines";
    EXPECT_EQ(scheduler.now() - start, 2h + 50ms);
}

TEST_F(ManualSchedulerTest, TasksPostedByTasksRunInTheSamePumpWhenDue) {
    scheduler.post([this] {
        seen.emplace_back(1, scheduler.now() - start);
        scheduler.post(record(2));
        scheduler.postAfter(5ms, record(3));
    });
    EXPECT_EQ(scheduler.runUntilIdle(), 2u);
    EXPECT_EQ(seen, (Seen{{1, 0ms}, {2, 0ms}}));
    EXPECT_EQ(scheduler.now(), start);  // runUntilIdle never moves time
    EXPECT_TRUE(scheduler.advanceToNextDeadline());
    EXPECT_EQ(seen.back(), std::make_pair(3, Scheduler::Duration(5ms)));
    EXPECT_FALSE(scheduler.advanceToNextDeadline());
}

// Also when an earlier task at the same deadline cancels it.
TEST_F(ManualSchedulerTest, CancelledTimersNeitherRunNorMoveTheClock) {
    auto handle = scheduler.postAfter(10ms, record(1));
    TimerHandle later;
    scheduler.postAfter(20ms, [&] { later.cancel(); });
    later = scheduler.postAfter(20ms, record(3));
    scheduler.postAfter(20ms, record(2));
    handle.cancel();
    EXPECT_TRUE(handle.isCancelled());
    EXPECT_TRUE(scheduler.advanceToNextDeadline());
    EXPECT_EQ(seen, (Seen{{2, 20ms}}));
}

TEST_F(ManualSchedulerTest, AcceptsTasksFromOtherThreads) {
    std::thread poster([this] {
        for (int i = 0; i < 100; ++i) scheduler.post(record(i));
    });
    poster.join();
    EXPECT_EQ(scheduler.runUntilIdle(), 100u);
    for (int i = 0; i < 100; ++i) EXPECT_EQ(seen[static_cast<std::size_t>(i)].first, i);
}

}  // namespace
}  // namespace k7
