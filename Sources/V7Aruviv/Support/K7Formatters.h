#pragma once

#include <cstdint>
#include <string>

namespace k7 {

// The shared texts of byte counts, totals, transfer rates and remaining time.
class K7Formatters {
public:
    // Decimal units: "Zero KB", "1 byte", "N bytes" up to 999, then KB without a fraction, MB
    // with one digit, GB with two, rounded half up, trailing zeros dropped ("1.5 MB", "2.34 GB").
    static std::string bytes(int64_t byteCount);
    // "Total: 3 messages, 1.23 KB".
    static std::string itemTotals(int64_t messageCount, int64_t byteCount);
    // The rate rounded to whole bytes, as `bytes`, then "/s". NaN and negative rates show as zero.
    static std::string transferRate(double bytesPerSecond);
    // "ETA 59s", "ETA 1:00", "ETA 1:00:00"; seconds are rounded up, negative ones count as 0.
    static std::string estimatedTimeRemaining(double seconds);

private:
    // Like `bytes`, with up to two fraction digits in every unit above bytes.
    static std::string totalBytes(int64_t byteCount);
};

}  // namespace k7
