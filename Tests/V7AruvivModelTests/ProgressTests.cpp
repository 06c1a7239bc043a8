#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <thread>

#include "V7Aruviv/Models/RawSysExProgressClock.h"
#include "V7Aruviv/Models/RawSysExWireEstimate.h"
#include "V7Aruviv/Models/TransferProgressPlan.h"
#include "V7Aruviv/Support/TransferProgressEstimator.h"
#include "ModelTestSupport.h"

namespace k7 {
namespace {

TEST(RawSysExWireEstimate, TwoMessagesAtOneTimesSpeed) {
    const RawSysExWireEstimate alone({100, 50}, TurboSpeed::x1, 0.0167, false);
    EXPECT_EQ(alone.totalBytes, 150);
    ASSERT_EQ(alone.messageStartTimes.size(), 2u);
    EXPECT_DOUBLE_EQ(alone.messageStartTimes[0], 0);
    EXPECT_NEAR(alone.messageStartTimes[1], 0.0487, 1e-12);
    EXPECT_NEAR(alone.messageEndTimes[0], 0.032, 1e-12);
    EXPECT_NEAR(alone.messageEndTimes[1], 0.0647, 1e-12);
    EXPECT_EQ(alone.precedingMessageBytes, (std::vector<int64_t>{0, 100}));
    EXPECT_NEAR(alone.modeledDuration, 0.0647, 1e-12);

    const RawSysExWireEstimate followed({100, 50}, TurboSpeed::x1, 0.0167, true);
    EXPECT_NEAR(followed.modeledDuration, 0.0647 + 0.0167, 1e-12);
}

TEST(RawSysExWireEstimate, NormalisesCountsAndDelay) {
    const struct {
        const char* name;
        std::vector<int64_t> counts;
        double delay;
        std::vector<int64_t> expectedCounts;
        double expectedDuration;
    } cases[] = {
        {"empty list", {}, 0.5, {1}, 1.0 / 62500},
        {"zero and negative counts", {0, -4, 2}, 0, {1, 1, 2}, 4.0 / 62500},
        {"negative delay", {62500, 62500}, -1, {62500, 62500}, 2},
        {"NaN delay", {62500, 62500}, std::nan(""), {62500, 62500}, 2},
    };
    for (const auto& c : cases) {
        const RawSysExWireEstimate estimate(c.counts, TurboSpeed::x20, c.delay, false);
        EXPECT_EQ(estimate.messageByteCounts, c.expectedCounts) << c.name;
        EXPECT_DOUBLE_EQ(estimate.modeledDuration, c.expectedDuration) << c.name;
        EXPECT_GE(estimate.interMessageDelay, 0) << c.name;
    }
}

TEST(RawSysExProgressClock, AMessageNeverCompletesByTimeAlone) {
    RawSysExProgressClock clock(150, 3125);
    EXPECT_EQ(clock.completedBytes(5), 0);
    clock.beginMessage(100, 1.0);
    const struct {
        double at;
        int64_t expected;
    } readings[] = {{0.5, 0}, {1.0, 0}, {1.0 + 10.0 / 3125, 10}, {1.0 + 0.0319, 99}, {11, 99}, {1e300, 99}};
    for (const auto& r : readings) EXPECT_EQ(clock.completedBytes(r.at), r.expected) << r.at;
    clock.finishMessage();
    EXPECT_EQ(clock.completedBytes(11), 100);

    clock.beginMessage(50, 20);
    EXPECT_EQ(clock.completedBytes(20.001), 103);
    clock.finishMessage();
    EXPECT_EQ(clock.completedBytes(30), 150);
}

TEST(RawSysExProgressClock, NeverReportsMoreThanTheTotal) {
    RawSysExProgressClock clock(120, 3125);
    clock.beginMessage(100, 0);
    clock.finishMessage();
    clock.beginMessage(std::numeric_limits<int64_t>::max(), 0);
    EXPECT_EQ(clock.completedBytes(1e9), 120);
    clock.finishMessage();
    EXPECT_EQ(clock.completedBytes(0), 120);
    clock.beginMessage(1, 0);
    EXPECT_EQ(clock.completedBytes(5), 120);
}

TEST(RawSysExProgressClock, ReadsAndWritesFromTwoThreads) {
    RawSysExProgressClock clock(1000 * 10, 1e9);
    std::thread writer([&] {
        for (int i = 0; i < 1000; ++i) {
            clock.beginMessage(10, i);
            clock.finishMessage();
        }
    });
    int64_t previous = 0;
    for (int i = 0; i < 1000; ++i) {
        const int64_t now = clock.completedBytes(1e6);
        EXPECT_GE(now, previous);
        previous = now;
    }
    writer.join();
    EXPECT_EQ(clock.completedBytes(0), 10000);
}

using test::uuid;

TEST(TransferProgressPlan, RefusesUnusableSpecifications) {
    const int64_t big = std::numeric_limits<int64_t>::max() / 2 + 1;
    const struct {
        const char* name;
        std::vector<TransferProgressPlan::Specification> specifications;
    } cases[] = {
        {"no specifications", {}},
        {"item without units", {{uuid(1), {10}}, {uuid(2), {}}}},
        {"zero-byte unit", {{uuid(1), {10, 0}}}},
        {"negative unit", {{uuid(1), {-5}}}},
        {"item sum overflows", {{uuid(1), {big, big}}}},
        {"grand total overflows", {{uuid(1), {big}}, {uuid(2), {big}}}},
    };
    for (const auto& c : cases) EXPECT_FALSE(TransferProgressPlan::make(c.specifications)) << c.name;
}

TEST(TransferProgressPlan, WeighsItemsByWireBytes) {
    const auto plan = TransferProgressPlan::make({{uuid(1), {100, 300}}, {uuid(2), {600}}});
    ASSERT_TRUE(plan);
    EXPECT_EQ(plan->totalWireBytes, 1000);
    ASSERT_EQ(plan->items.size(), 2u);
    EXPECT_EQ(plan->items[1], (TransferProgressPlan::Item{uuid(2), {600}, 400, 600}));

    using S = TransferProgressPlan::Snapshot;
    const struct {
        std::size_t item, unit;
        int64_t completed;
        std::optional<S> expected;
    } cases[] = {
        {0, 0, 0, S{0, 0, 0}},
        {0, 1, 150, S{250.0 / 400, 0.25, 250}},
        {0, 1, 5000, S{1, 0.4, 400}},  // more than the unit counts the unit and no more
        {0, 1, -7, S{0.25, 0.1, 100}},
        {1, 0, 300, S{0.5, 0.7, 700}},
        {0, 2, 0, std::nullopt},
        {2, 0, 0, std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(plan->snapshot(c.item, c.unit, c.completed), c.expected) << c.item << "/" << c.unit;
    }
    EXPECT_EQ(plan->completedItemSnapshot(0), (S{1, 0.4, 400}));
    EXPECT_EQ(plan->completedItemSnapshot(1), (S{1, 1, 1000}));
    EXPECT_FALSE(plan->completedItemSnapshot(2));
}

TEST(TransferProgressEstimator, GivesNoRateUntilTwoSecondsSpan) {
    TransferProgressEstimator estimator;
    EXPECT_EQ(estimator.update(0, 10000, 100), TransferProgressEstimate{});
    EXPECT_EQ(estimator.update(1000, 10000, 101), TransferProgressEstimate{});
    EXPECT_EQ(estimator.update(1500, 10000, 101.5), TransferProgressEstimate{});
    const auto estimate = estimator.update(2000, 10000, 102);
    ASSERT_TRUE(estimate.bytesPerSecond);
    EXPECT_DOUBLE_EQ(*estimate.bytesPerSecond, 1000);
    EXPECT_DOUBLE_EQ(*estimate.secondsRemaining, 8);

    // Later observations are smoothed: 10% of the new window rate.
    const auto next = estimator.update(5000, 10000, 103);  // window rate 5000 / 3
    EXPECT_DOUBLE_EQ(*next.bytesPerSecond, 0.1 * (5000.0 / 3) + 0.9 * 1000);
}

TEST(TransferProgressEstimator, CompletionGivesARateAndZeroRemainingAtOnce) {
    TransferProgressEstimator estimator;
    estimator.update(0, 500, 0);
    const auto done = estimator.update(500, 500, 0.5);
    ASSERT_TRUE(done.bytesPerSecond);
    EXPECT_DOUBLE_EQ(*done.bytesPerSecond, 1000);
    EXPECT_EQ(done.secondsRemaining, 0.0);
}

TEST(TransferProgressEstimator, ObservationsAreThrottledAndNeverGoBackwards) {
    TransferProgressEstimator estimator;
    estimator.update(0, 1000, 10);
    estimator.update(100, 1000, 10.05);  // under 0.1 s: not an observation
    EXPECT_EQ(estimator.samples().size(), 1u);
    EXPECT_EQ(estimator.highestCompletedBytes(), 100);
    estimator.update(50, 1000, 10.2);
    EXPECT_EQ(estimator.highestCompletedBytes(), 100);
    EXPECT_EQ(estimator.samples().back(), (TransferProgressEstimator::Sample{10.2, 100}));
    // A time that goes backwards is taken as the last sample's time.
    estimator.update(1000, 1000, 3);
    EXPECT_EQ(estimator.samples().back(), (TransferProgressEstimator::Sample{10.2, 1000}));
}

TEST(TransferProgressEstimator, KeepsAWindowOfAboutEightSeconds) {
    TransferProgressEstimator estimator;
    for (int second = 0; second <= 20; ++second) estimator.update(second * 100.0, 1e6, second);
    ASSERT_GE(estimator.samples().size(), 3u);
    EXPECT_LE(estimator.samples().back().time - estimator.samples()[1].time, 8);
    EXPECT_GE(estimator.samples().back().time - estimator.samples().front().time, 8);
    EXPECT_DOUBLE_EQ(*estimator.currentBytesPerSecond(), 100);
}

TEST(TransferProgressEstimator, StalledTransferLosesItsRate) {
    TransferProgressEstimator estimator;
    estimator.update(0, 1000, 0);
    estimator.update(0, 1000, 3);
    EXPECT_FALSE(estimator.currentBytesPerSecond());
    EXPECT_EQ(estimator.update(0, 1000, 4), TransferProgressEstimate{});
}

}  // namespace
}  // namespace k7
