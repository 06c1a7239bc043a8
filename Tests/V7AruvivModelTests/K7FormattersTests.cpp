#include "V7Aruviv/Support/K7Formatters.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace k7 {
namespace {

struct ByteCase {
    int64_t count;
    const char* adaptive;  // bytes()
    const char* total;     // the total in itemTotals
};

class K7FormattersByteCounts : public ::testing::TestWithParam<ByteCase> {};

TEST_P(K7FormattersByteCounts, UseDecimalUnitsRoundedHalfUp) {
    const auto& c = GetParam();
    EXPECT_EQ(K7Formatters::bytes(c.count), c.adaptive) << c.count;
    EXPECT_EQ(K7Formatters::itemTotals(2, c.count), std::string("Total: 2 messages, ") + c.total) << c.count;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, K7FormattersByteCounts,
    ::testing::Values(ByteCase{0, "Zero KB", "Zero KB"}, ByteCase{1, "1 byte", "1 byte"},
                      ByteCase{2, "2 bytes", "2 bytes"}, ByteCase{999, "999 bytes", "999 bytes"},
                      ByteCase{1000, "1 KB", "1 KB"}, ByteCase{1234, "1 KB", "1.23 KB"},
                      ByteCase{1499, "1 KB", "1.5 KB"}, ByteCase{1500, "2 KB", "1.5 KB"},
                      ByteCase{1005, "1 KB", "1.01 KB"}, ByteCase{7027, "7 KB", "7.03 KB"},
                      ByteCase{999499, "999 KB", "999.5 KB"},
                      // Rounding up into the next unit shows that unit, never "1000 KB".
                      ByteCase{999500, "1 MB", "999.5 KB"}, ByteCase{999995, "1 MB", "1 MB"},
                      ByteCase{1000000, "1 MB", "1 MB"}, ByteCase{1500000, "1.5 MB", "1.5 MB"},
                      ByteCase{1049999, "1 MB", "1.05 MB"}, ByteCase{1050000, "1.1 MB", "1.05 MB"},
                      ByteCase{16777216, "16.8 MB", "16.78 MB"}, ByteCase{999950000, "1 GB", "999.95 MB"},
                      ByteCase{2340000000, "2.34 GB", "2.34 GB"}, ByteCase{2345000000, "2.35 GB", "2.35 GB"},
                      ByteCase{5000000000000, "5000 GB", "5000 GB"}, ByteCase{-1500, "-2 KB", "-1.5 KB"},
                      ByteCase{std::numeric_limits<int64_t>::min(), "-9223372036.85 GB", "-9223372036.85 GB"},
                      ByteCase{std::numeric_limits<int64_t>::max(), "9223372036.85 GB", "9223372036.85 GB"}));

TEST(K7Formatters, ItemTotalsCountMessagesInTheSingularOnlyForOne) {
    EXPECT_EQ(K7Formatters::itemTotals(1, 100), "Total: 1 message, 100 bytes");
    EXPECT_EQ(K7Formatters::itemTotals(0, 0), "Total: 0 messages, Zero KB");
    EXPECT_EQ(K7Formatters::itemTotals(100000, 16777216), "Total: 100000 messages, 16.78 MB");
}

TEST(K7Formatters, TransferRateSurvivesEveryDouble) {
    const double inf = std::numeric_limits<double>::infinity();
    const struct {
        double rate;
        const char* text;
    } cases[] = {{3125, "3 KB/s"},
                 {62500, "63 KB/s"},
                 {0.4, "Zero KB/s"},
                 {0.5, "1 byte/s"},
                 {999.4, "999 bytes/s"},
                 {-20, "Zero KB/s"},
                 {std::nan(""), "Zero KB/s"},
                 {-inf, "Zero KB/s"},
                 {inf, "9223372036.85 GB/s"},
                 {9.3e18, "9223372036.85 GB/s"}};
    for (const auto& c : cases) EXPECT_EQ(K7Formatters::transferRate(c.rate), c.text) << c.rate;
}

TEST(K7Formatters, EstimatedTimeRemainingRoundsUp) {
    const struct {
        double seconds;
        const char* text;
    } cases[] = {{59, "ETA 59s"},         {59.2, "ETA 1:00"},       {3599.5, "ETA 1:00:00"}, {-3, "ETA 0s"},
                 {0, "ETA 0s"},           {0.01, "ETA 1s"},         {61, "ETA 1:01"},        {3599, "ETA 59:59"},
                 {3661, "ETA 1:01:01"},   {360000, "ETA 100:00:00"}, {std::nan(""), "ETA 0s"}};
    for (const auto& c : cases) EXPECT_EQ(K7Formatters::estimatedTimeRemaining(c.seconds), c.text) << c.seconds;
}

}  // namespace
}  // namespace k7
