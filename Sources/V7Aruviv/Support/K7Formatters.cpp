#include "V7Aruviv/Support/K7Formatters.h"

#include <array>
#include <cmath>
#include <cstdio>
#include <string_view>

namespace k7 {

namespace {

struct Unit {
    std::string_view name;
    uint64_t divisor;
};
constexpr std::array<Unit, 3> units{Unit{"KB", 1000}, Unit{"MB", 1000000}, Unit{"GB", 1000000000}};
constexpr std::array<uint64_t, 3> powersOfTen{1, 10, 100};

// `fractionDigits[i]` digits in units[i]; a value that rounds up to 1000 of a unit moves to the next.
std::string formatByteCount(int64_t byteCount, const std::array<int, 3>& fractionDigits) {
    if (byteCount == 0) return "Zero KB";
    const std::string sign = byteCount < 0 ? "-" : "";
    // Magnitude without overflowing at the most negative value.
    const uint64_t magnitude = byteCount < 0 ? ~static_cast<uint64_t>(byteCount) + 1 : static_cast<uint64_t>(byteCount);
    if (magnitude < 1000) return sign + std::to_string(magnitude) + (magnitude == 1 ? " byte" : " bytes");

    std::size_t unit = magnitude < 1000000 ? 0 : magnitude < 1000000000 ? 1 : 2;
    for (;; ++unit) {
        const uint64_t divisor = units[unit].divisor;
        const uint64_t scale = powersOfTen[static_cast<std::size_t>(fractionDigits[unit])];
        uint64_t whole = magnitude / divisor;
        // The remainder is below one unit, so scaling it cannot overflow.
        uint64_t fraction = ((magnitude % divisor) * scale + divisor / 2) / divisor;
        if (fraction == scale) {
            ++whole;
            fraction = 0;
        }
        if (whole >= 1000 && unit + 1 < units.size()) continue;

        std::string text = sign + std::to_string(whole);
        if (fraction != 0) {
            std::string digits = std::to_string(fraction);
            digits.insert(0, static_cast<std::size_t>(fractionDigits[unit]) - digits.size(), '0');
            while (digits.back() == '0') digits.pop_back();
            text += "." + digits;
        }
        return text + " " + std::string(units[unit].name);
    }
}

}  // namespace

std::string K7Formatters::bytes(int64_t byteCount) { return formatByteCount(byteCount, {0, 1, 2}); }

std::string K7Formatters::totalBytes(int64_t byteCount) { return formatByteCount(byteCount, {2, 2, 2}); }

std::string K7Formatters::itemTotals(int64_t messageCount, int64_t byteCount) {
    return "Total: " + std::to_string(messageCount) + (messageCount == 1 ? " message" : " messages") + ", " +
           totalBytes(byteCount);
}

std::string K7Formatters::transferRate(double bytesPerSecond) {
    // The largest double below 2^63, so that the conversion to a 64-bit integer cannot overflow.
    constexpr double largest = 9223372036854774784.0;
    double rate = std::isnan(bytesPerSecond) || bytesPerSecond < 0 ? 0 : bytesPerSecond;
    if (rate > largest) rate = largest;
    return bytes(static_cast<int64_t>(std::llround(rate))) + "/s";
}

std::string K7Formatters::estimatedTimeRemaining(double seconds) {
    // Beyond any real transfer; keeps the integer conversion defined for huge or infinite input.
    constexpr double longest = 1e15;
    double rounded = std::isnan(seconds) ? 0 : std::ceil(seconds);
    if (rounded < 0) rounded = 0;
    if (rounded > longest) rounded = longest;
    const auto total = static_cast<long long>(rounded);
    char text[64];
    if (total <= 59) {
        std::snprintf(text, sizeof text, "ETA %llds", total);
    } else if (total <= 3599) {
        std::snprintf(text, sizeof text, "ETA %lld:%02lld", total / 60, total % 60);
    } else {
        std::snprintf(text, sizeof text, "ETA %lld:%02lld:%02lld", total / 3600, total / 60 % 60, total % 60);
    }
    return text;
}

}  // namespace k7
