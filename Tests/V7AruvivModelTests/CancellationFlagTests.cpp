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
const double inf = std::numeric_limits<double>::infinity();

TEST(CancellationFlag, NonPositiveWaitsOnlyReadTheFlag) {
    CancellationFlag flag;
    for (double seconds : {0.0, -1.0, std::nan(""), -inf}) EXPECT_FALSE(flag.wait(seconds)) << seconds;
    flag.cancel();
    // A cancelled flag answers any wait at once, however long.
    for (double seconds : {0.0, -1.0, std::nan(""), inf}) EXPECT_TRUE(flag.wait(seconds)) << seconds;
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

// Other threads reading the flag must not end an uncancelled wait early.
TEST(CancellationFlag, AnUncancelledWaitLastsTheWholeDuration) {
    CancellationFlag flag;
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
