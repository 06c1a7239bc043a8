#include "V7Aruviv/Stores/CancellationFlag.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <future>
#include <limits>
#include <thread>
#include <vector>

namespace k7 {
namespace {

using Clock = std::chrono::steady_clock;

TEST(CancellationFlag, NonPositiveWaitsOnlyReadTheFlag) {
    CancellationFlag flag;
    for (double seconds : {0.0, -1.0, std::nan(""), -std::numeric_limits<double>::infinity()}) {
        EXPECT_FALSE(flag.wait(seconds)) << seconds;
    }
    flag.cancel();
    for (double seconds : {0.0, -1.0, std::nan("")}) EXPECT_TRUE(flag.wait(seconds)) << seconds;
    // A cancelled flag answers any wait at once, however long.
    EXPECT_TRUE(flag.wait(std::numeric_limits<double>::infinity()));
    EXPECT_TRUE(flag.isCancelled());
}

TEST(CancellationFlag, CancelWakesEveryWaiterLongBeforeTheDeadline) {
    CancellationFlag flag;
    std::atomic<int> waiting{0};
    std::vector<std::future<bool>> waiters;
    for (int i = 0; i < 4; ++i) {
        waiters.push_back(std::async(std::launch::async, [&] {
            ++waiting;
            return flag.wait(600);
        }));
    }
    while (waiting.load() < 4) std::this_thread::yield();
    const auto start = Clock::now();
    flag.cancel();
    for (auto& waiter : waiters) EXPECT_TRUE(waiter.get());
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(60));
}

TEST(CancellationFlag, AnUncancelledWaitLastsTheWholeDuration) {
    CancellationFlag flag;
    // Other threads hammering the flag's reads must not end the wait early.
    std::atomic<bool> stop{false};
    std::thread reader([&] {
        while (!stop) (void)flag.isCancelled();
    });
    const auto start = Clock::now();
    EXPECT_FALSE(flag.wait(0.02));
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(20));
    stop = true;
    reader.join();
}

}  // namespace
}  // namespace k7
