#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <thread>

#include "ModelTestSupport.h"
#include "V7Aruviv/Models/RawSysExProgressClock.h"
#include "V7Aruviv/Models/RawSysExWireEstimate.h"
#include "V7Aruviv/Models/TransferProgressPlan.h"
#include "V7Aruviv/Support/K7Formatters.h"
#include "V7Aruviv/Support/TransferProgressEstimator.h"

namespace k7 {
namespace {

TEST(RawSysExWireEstimate, TwoMessagesAtOneTimesSpeed) {
    const RawSysExWireEstimate alone({100, 50}, TurboSpeed::x1, 0.0167, false);
    EXPECT_EQ(alone.totalBytes, 150);
    EXPECT_EQ(alone.precedingMessageBytes, (std::vector<int64_t>{0, 100}));
    ASSERT_EQ(alone.messageStartTimes.size(), 2u);
    EXPECT_DOUBLE_EQ(alone.messageStartTimes[0], 0);
    EXPECT_NEAR(alone.messageStartTimes[1], 0.0487, 1e-12);
    EXPECT_NEAR(alone.messageEndTimes[0], 0.032, 1e-12);
    EXPECT_NEAR(alone.modeledDuration, 0.0647, 1e-12);
    EXPECT_NEAR(RawSysExWireEstimate({100, 50}, TurboSpeed::x1, 0.0167, true).modeledDuration, 0.0647 + 0.0167, 1e-12);
}

TEST(RawSysExWireEstimate, NormalisesCountsAndDelay) {
    const struct {
        std::vector<int64_t> counts;
        double delay;
        std::vector<int64_t> expectedCounts;
        double expectedDuration;
    } cases[] = {
        {{}, 0.5, {1}, 1.0 / 62500},
        {{0, -4, 2}, 0, {1, 1, 2}, 4.0 / 62500},
        {{62500, 62500}, -1, {62500, 62500}, 2},
        {{62500, 62500}, std::nan(""), {62500, 62500}, 2},
    };
    for (const auto& c : cases) {
        const RawSysExWireEstimate estimate(c.counts, TurboSpeed::x20, c.delay, false);
        EXPECT_EQ(estimate.messageByteCounts, c.expectedCounts) << c.delay;
        EXPECT_DOUBLE_EQ(estimate.modeledDuration, c.expectedDuration) << c.delay;
    }
}

TEST(RawSysExProgressClock, AMessageNeverCompletesByTimeAlone) {
    RawSysExProgressClock clock(150, 3125);
    EXPECT_EQ(clock.completedBytes(5), 0);
    clock.beginMessage(100, 1.0);
    const struct {
        double at;
        int64_t expected;
    } readings[] = {{0.5, 0}, {1.0 + 10.0 / 3125, 10}, {1.0 + 0.0319, 99}, {11, 99}, {1e300, 99}};
    for (const auto& r : readings) EXPECT_EQ(clock.completedBytes(r.at), r.expected) << r.at;
    clock.finishMessage();
    EXPECT_EQ(clock.completedBytes(11), 100);
    clock.beginMessage(50, 20);
    EXPECT_EQ(clock.completedBytes(20.001), 103);
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

TEST(TransferProgressPlan, RefusesUnusableItemUnits) {
    const int64_t big = std::numeric_limits<int64_t>::max() / 2 + 1;
    const std::vector<TransferProgressPlan::ItemUnits> cases[] = {
        {},
        {{uuid(1), {10}}, {uuid(2), {}}},
        {{uuid(1), {10, 0}}},
        {{uuid(1), {-5}}},
        {{uuid(1), {big, big}}},            // the item's sum overflows
        {{uuid(1), {big}}, {uuid(2), {big}}},  // the grand total overflows
    };
    for (const auto& itemUnits : cases) EXPECT_FALSE(TransferProgressPlan::make(itemUnits));
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
    EXPECT_FALSE(plan->completedItemSnapshot(2));
}

TEST(TransferProgressEstimator, GivesNoRateUntilTwoSecondsSpanThenSmooths) {
    TransferProgressEstimator estimator;
    EXPECT_EQ(estimator.update(0, 10000, 100), TransferProgressEstimate{});
    EXPECT_EQ(estimator.update(1500, 10000, 101.5), TransferProgressEstimate{});
    EXPECT_EQ(estimator.update(2000, 10000, 102), (TransferProgressEstimate{1000, 8}));
    // A window rate of 5000 / 3 moves the rate a tenth of the way.
    EXPECT_NEAR(*estimator.update(5000, 10000, 103).bytesPerSecond, 1066.667, 1e-3);
    // A stalled window loses its rate.
    for (double at = 104; at < 120; ++at) estimator.update(5000, 10000, at);
    EXPECT_EQ(estimator.update(5000, 10000, 120), TransferProgressEstimate{});

    // Completion gives a rate at once, however short the span.
    TransferProgressEstimator quick;
    quick.update(0, 500, 0);
    EXPECT_EQ(quick.update(500, 500, 0.5), (TransferProgressEstimate{1000, 0}));
}

TEST(TransferProgressEstimator, ObservationsAreThrottledAndNeverGoBackwards) {
    TransferProgressEstimator estimator;
    estimator.update(0, 1000, 10);
    estimator.update(100, 1000, 10.05);  // under 0.1 s: not an observation
    EXPECT_EQ(estimator.samples().size(), 1u);
    estimator.update(50, 1000, 10.2);
    EXPECT_EQ(estimator.samples().back(), (TransferProgressEstimator::Sample{10.2, 100}));
    // A time that goes backwards is taken as the last sample's time.
    estimator.update(1000, 1000, 3);
    EXPECT_EQ(estimator.samples().back(), (TransferProgressEstimator::Sample{10.2, 1000}));
}

// A NaN input must neither start the series (which would stall the rate for the whole transfer)
// nor reach the remaining time.
TEST(TransferProgressEstimator, NaNInputsAreIgnored) {
    const double nan = std::nan("");
    const struct {
        double firstAt, total;
    } cases[] = {{nan, 1000}, {0, nan}};
    for (const auto& c : cases) {
        TransferProgressEstimator estimator;
        estimator.update(0, c.total, c.firstAt);
        for (double at = 1; at <= 3; ++at) estimator.update(at * 100, c.total, at);
        const auto estimate = estimator.update(400, c.total, 4);
        ASSERT_TRUE(estimate.bytesPerSecond) << c.firstAt << "/" << c.total;
        EXPECT_FALSE(std::isnan(*estimate.bytesPerSecond) || std::isnan(*estimate.secondsRemaining));
    }
}

TEST(K7Formatters, ByteCounts) {
    const struct {
        int64_t count;
        const char* adaptive;
        const char* total;
    } cases[] = {
        {0, "Zero KB", "Zero KB"},
        {1, "1 byte", "1 byte"},
        {999, "999 bytes", "999 bytes"},
        {1000, "1 KB", "1 KB"},
        {1234, "1 KB", "1.23 KB"},
        {1500, "2 KB", "1.5 KB"},
        {1005, "1 KB", "1.01 KB"},
        // Rounding up into the next unit shows that unit, never "1000 KB".
        {999500, "1 MB", "999.5 KB"},
        {999995, "1 MB", "1 MB"},
        {1050000, "1.1 MB", "1.05 MB"},
        {999950000, "1 GB", "999.95 MB"},
        {2345000000, "2.35 GB", "2.35 GB"},
        {5000000000000, "5000 GB", "5000 GB"},
        {-1500, "-2 KB", "-1.5 KB"},
        {std::numeric_limits<int64_t>::min(), "-9223372036.85 GB", "-9223372036.85 GB"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(K7Formatters::bytes(c.count), c.adaptive) << c.count;
        EXPECT_EQ(K7Formatters::itemTotals(2, c.count), std::string("Total: 2 messages, ") + c.total) << c.count;
    }
    EXPECT_EQ(K7Formatters::itemTotals(1, 100), "Total: 1 message, 100 bytes");
    EXPECT_EQ(K7Formatters::itemTotals(0, 0), "Total: 0 messages, Zero KB");
}

TEST(K7Formatters, TransferRateSurvivesEveryDouble) {
    const double inf = std::numeric_limits<double>::infinity();
    const struct {
        double rate;
        const char* text;
    } cases[] = {{3125, "3 KB/s"},    {0.4, "Zero KB/s"},          {0.5, "1 byte/s"},
                 {-20, "Zero KB/s"},  {std::nan(""), "Zero KB/s"}, {-inf, "Zero KB/s"},
                 {inf, "9223372036.85 GB/s"}, {9.3e18, "9223372036.85 GB/s"}};
    for (const auto& c : cases) EXPECT_EQ(K7Formatters::transferRate(c.rate), c.text) << c.rate;
}

TEST(K7Formatters, EstimatedTimeRemainingRoundsUp) {
    const struct {
        double seconds;
        const char* text;
    } cases[] = {{59, "ETA 59s"},       {59.2, "ETA 1:00"},     {3599.5, "ETA 1:00:00"}, {-3, "ETA 0s"},
                 {0.01, "ETA 1s"},      {3599, "ETA 59:59"},    {3661, "ETA 1:01:01"},   {360000, "ETA 100:00:00"},
                 {std::nan(""), "ETA 0s"}};
    for (const auto& c : cases) EXPECT_EQ(K7Formatters::estimatedTimeRemaining(c.seconds), c.text) << c.seconds;
}

}  // namespace
}  // namespace k7
