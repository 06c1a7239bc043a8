#include "K7Dispatch/SerialQueue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <vector>

using namespace std::chrono_literals;

namespace k7 {
namespace {

void drain(SerialQueue& queue) {
    std::promise<void> done;
    queue.post([&] { done.set_value(); });
    done.get_future().wait();
}

TEST(SerialQueue, RunsPostedTasksInOrderOnItsOwnThread) {
    SerialQueue queue("org.v764.tests.order");
    std::vector<int> log;  // written by the worker only, read after a drain
    std::atomic<bool> allOnQueue{true};
    for (int i = 0; i < 1000; ++i) {
        queue.post([&, i] {
            if (!queue.isCurrent()) allOnQueue = false;
            log.push_back(i);
        });
    }
    drain(queue);
    std::vector<int> expected(1000);
    for (int i = 0; i < 1000; ++i) expected[static_cast<std::size_t>(i)] = i;
    EXPECT_EQ(log, expected);
    EXPECT_TRUE(allOnQueue);
    EXPECT_FALSE(queue.isCurrent());
}

TEST(SerialQueue, DelayedTasksRunByDeadlineThenSubmissionAndCancelledOnesNever) {
    SerialQueue queue("org.v764.tests.delayed");
    std::vector<int> log;
    // Hold the worker until every deadline has passed, so the order is the queue's, not the clock's.
    // The gate carries the time of the last post and the delays are far apart, since a slow
    // (instrumented) thread may take milliseconds between two posts.
    std::promise<Scheduler::TimePoint> gate;
    queue.post([lastPost = gate.get_future().share()] {
        const auto until = lastPost.get() + 50ms;
        while (Scheduler::Clock::now() < until) std::this_thread::yield();
    });
    queue.postAfter(50ms, [&] { log.push_back(3); });
    queue.postAfter(1ms, [&] { log.push_back(1); });
    auto cancelled = queue.postAfter(20ms, [&] { log.push_back(99); });
    queue.postAfter(1ms, [&] { log.push_back(2); });
    cancelled.cancel();
    gate.set_value(queue.now());
    std::promise<void> done;
    queue.postAfter(60ms, [&] { done.set_value(); });
    done.get_future().wait();
    EXPECT_EQ(log, (std::vector<int>{1, 2, 3}));
}

TEST(SerialQueue, DestructionByItsOwnTaskFinishesThatTaskAndDropsTheRest) {
    auto ran = std::make_shared<std::atomic<int>>(0);
    auto holder = std::make_shared<std::unique_ptr<SerialQueue>>(std::make_unique<SerialQueue>("org.v764.tests.self"));
    auto done = std::make_shared<std::promise<void>>();
    // Everything is queued behind a gate, so no post can race the queue's own destruction.
    std::promise<void> gate;
    SerialQueue& queue = **holder;
    queue.post([open = gate.get_future().share()] { open.wait(); });
    queue.post([holder, ran, done] {
        holder->reset();
        ++*ran;  // the running task still finishes
        done->set_value();
    });
    for (int i = 0; i < 10; ++i) queue.post([ran] { *ran += 100; });
    gate.set_value();
    ASSERT_EQ(done->get_future().wait_for(5s), std::future_status::ready);
    // Nothing queued behind it may run; give a wrongly surviving worker the chance to show it.
    std::this_thread::yield();
    EXPECT_EQ(*ran, 1);
}

TEST(SerialQueue, NoTaskRunsAfterDestructionReturns) {
    auto ran = std::make_shared<std::atomic<int>>(0);
    auto queue = std::make_unique<SerialQueue>("org.v764.tests.teardown");
    for (int i = 0; i < 10000; ++i) queue->post([ran] { ++*ran; });
    queue->postAfter(1h, [ran] { *ran += 1000000; });
    queue.reset();
    const int atDestruction = *ran;
    EXPECT_LT(atDestruction, 10001);
    std::this_thread::yield();
    EXPECT_EQ(*ran, atDestruction);
}

// The one test that reads the real clock: a delayed task waits at least its delay.
TEST(SerialQueue, DelayedTaskWaitsForItsDeadline) {
    SerialQueue queue("org.v764.tests.timing");
    const auto posted = queue.now();
    std::promise<Scheduler::TimePoint> ranAt;
    queue.postAfter(20ms, [&] { ranAt.set_value(Scheduler::Clock::now()); });
    const auto elapsed = ranAt.get_future().get() - posted;
    EXPECT_GE(elapsed, 20ms);
    EXPECT_LT(elapsed, 2s);
}

}  // namespace
}  // namespace k7
